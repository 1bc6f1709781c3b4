// The name-pattern matcher against a plain dynamic-programming matcher, and the pattern list
// reader over any text. The input up to its first NUL is the name, the rest the pattern.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "files/pattern.h"
#include "fuzz_support.h"

namespace {

bool OneMatches(char pattern, char c) {
  if (pattern == '?') return true;
  if (pattern == '#') return c >= '0' && c <= '9';
  if (pattern == '@') return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return pattern == c;
}

// matches[j]: whether the name so far matches the first j pattern characters.
bool ReferenceMatch(std::string_view name, std::string_view pattern) {
  std::vector<char> matches(pattern.size() + 1, 0);
  matches[0] = 1;
  for (std::size_t j = 1; j <= pattern.size() && pattern[j - 1] == '*'; ++j) matches[j] = 1;
  for (const char c : name) {
    std::vector<char> next(pattern.size() + 1, 0);
    for (std::size_t j = 1; j <= pattern.size(); ++j) {
      next[j] = pattern[j - 1] == '*' ? (next[j - 1] || matches[j])
                                      : (matches[j - 1] && OneMatches(pattern[j - 1], c));
    }
    matches.swap(next);
  }
  return matches[pattern.size()] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [name, pattern] = pix::fuzz::SplitAtNul(data, size);
  pix::fuzz::Expect(pix::MatchFileNamePattern(name, pattern) == ReferenceMatch(name, pattern),
                    "the matcher disagrees with the reference");
  const pix::PatternListItem list(pattern);
  pix::MatchesAnyPattern(list, name);
  return 0;
}
