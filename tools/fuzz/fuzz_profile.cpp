// The INI store over any settings file: reads never fail, and a value written (through a
// section, key and value taken from the input) reads back as written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/profile.h"
#include "files/utils.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  // The file text, then NUL, then "section\nkey\nvalue".
  const auto [fileText, request] = pix::fuzz::SplitAtNul(data, size);
  const std::filesystem::path file = pix::fuzz::WriteScratchFile("pixamond.ini", fileText);
  const std::size_t first_break = request.find('\n');
  const std::size_t second_break = request.find('\n', first_break + 1);
  if (first_break == std::string_view::npos || second_break == std::string_view::npos) {
    pix::GetProfileText(request, request, "", 256, file);
    pix::GetProfileInt(request, request, 7, file);
    return 0;
  }
  const std::string_view section = request.substr(0, first_break);
  const std::string_view key = request.substr(first_break + 1, second_break - first_break - 1);
  const std::string_view value = request.substr(second_break + 1);
  const std::string other_before = pix::GetProfileText("Other", "Kept", "-", 4096, file);
  if (!pix::WriteProfileText(section, key, value, file).ok()) return 0;
  // A value keeps what it says unless blanks or quotes at its ends are taken as layout.
  const bool plain =
      value.empty() || (value.front() != ' ' && value.front() != '\t' && value.front() != '"' &&
                        value.front() != '\'' && value.back() != ' ' && value.back() != '\t');
  if (plain && !pix::EqualsNoCase(section, "Other")) {
    Expect(pix::GetProfileText(section, key, "", 1 << 20, file) == value, "value not read back");
    Expect(pix::GetProfileText("Other", "Kept", "-", 4096, file) == other_before,
           "another value changed");
  }
  return 0;
}
