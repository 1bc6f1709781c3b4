// The variable-file reader and writer: any text reads without fault, and the text written
// from what was read reads back to the same variables. The one thing the record format cannot
// carry is a value ending in CR LF (only the last value of a text without a closing blank
// line has one): the blank line written after it swallows that line end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "site/variable.h"

namespace {

// Whether a line of `value` after its first starts like a record ("Name:"). The record
// format has no escape for such a line: read back, it starts a variable of its own (or,
// with nothing after its colon, takes the next record as its value).
bool HasInnerNameLine(const std::string& value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if ((value[i] == '\r' || value[i] == '\n') &&
        pix::StartsNameLine(std::string_view(value).substr(i + 1))) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  pix::VariableList first;
  first.ParseVarText(std::string_view(reinterpret_cast<const char*>(data), size));
  for (int i = 0; i < first.ItemCount(); ++i) {
    if (HasInnerNameLine(first.Item(i).value())) return 0;
  }
  const std::string written = first.FormatVarText();
  pix::VariableList second;
  second.ParseVarText(written);
  const std::string again = second.FormatVarText();
  pix::VariableList third;
  third.ParseVarText(again);
  Expect(third.FormatVarText() == again, "written text does not read back the same");

  // Variables with a value are written; each must come back with its name and value. The
  // order may change: a name line after a lone CR inside a value is read as a record of its
  // own wherever it stands, so such a record can come back earlier than it was.
  int with_value = 0;
  for (int i = 0; i < first.ItemCount(); ++i) {
    const pix::Variable& item = first.Item(i);
    if (item.value().empty()) continue;
    ++with_value;
    const pix::Variable* back = second.FindVar(item.name());
    Expect(back != nullptr && back->name() == item.name(), "a variable lost");
    const std::string closed = item.value() + "\r\n\r\n";
    Expect(back->value() == closed.substr(0, closed.find("\r\n\r\n")), "a value changed");
  }
  int read_back = 0;
  for (int i = 0; i < second.ItemCount(); ++i) read_back += !second.Item(i).value().empty();
  Expect(with_value == read_back, "a variable gained");
  return 0;
}
