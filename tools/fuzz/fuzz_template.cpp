// Template expansion over any variables and any template: the input up to its first NUL is
// a variable text, the rest the template. Runaway expansions must stop at the caps.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "fuzz_support.h"
#include "site/template.h"
#include "site/variable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  const auto [variables, templateText] = pix::fuzz::SplitAtNul(data, size);
  pix::VariableList array;
  array.ParseVarText(variables);
  std::ostringstream out;
  pix::ExpandTemplate(templateText, array, out);
  Expect(out.tellp() <= static_cast<std::streamoff>(pix::kMaxExpansionOutput),
         "an expansion larger than its cap");
  return 0;
}
