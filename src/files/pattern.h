// The file-name pattern language: "*" matches any run of characters (none included), "?"
// any one character, "#" one decimal digit, "@" one letter A to Z or a to z, and every
// other character itself, with case. Match pages and the sample layout list use it;
// callers that want case not to matter pass lower-case names and patterns.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace pix {

/// True when the whole of `name` matches `pattern`. An empty pattern matches only an
/// empty name; a pattern of "*" alone matches every name.
bool MatchFileNamePattern(std::string_view name, std::string_view pattern);

/// One pattern of a list read from a text, owning the rest of the list.
struct PatternListItem {
  /// Reads the patterns of `text`, separated by runs of spaces, tabs, line breaks and
  /// commas. A text without any pattern gives one empty pattern, which matches no file.
  explicit PatternListItem(std::string_view text);
  /// Destroys the rest of the list too (without recursion, however long it is).
  ~PatternListItem();
  PatternListItem(const PatternListItem&) = delete;
  PatternListItem& operator=(const PatternListItem&) = delete;

  std::string item_pattern;
  std::unique_ptr<PatternListItem> next;

 private:
  struct OnePattern {};
  PatternListItem(OnePattern, std::string_view pattern) : item_pattern(pattern) {}
};

/// True when `name` matches any pattern of the list, tried in list order.
bool MatchesAnyPattern(const PatternListItem& list, std::string_view name);

}  // namespace pix
