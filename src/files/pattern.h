// The file-name pattern language: "*" matches any run of characters (none included), "?"
// any one character, "#" one decimal digit, "@" one letter A to Z or a to z, and every
// other character itself, with case. Match pages and the sample layout list use it;
// callers that want case not to matter pass lower-case names and patterns.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace pix {

/// True when the whole of `szName` matches `szPattern`. An empty pattern matches only an
/// empty name; a pattern of "*" alone matches every name.
bool MatchFileNamePattern(std::string_view szName, std::string_view szPattern);

/// One pattern of a list read from a text, owning the rest of the list.
struct TPatternListItem {
  /// Reads the patterns of `szText`, separated by runs of spaces, tabs, line breaks and
  /// commas. A text without any pattern gives one empty pattern, which matches no file.
  explicit TPatternListItem(std::string_view szText);
  /// Destroys the rest of the list too (without recursion, however long it is).
  ~TPatternListItem();
  TPatternListItem(const TPatternListItem&) = delete;
  TPatternListItem& operator=(const TPatternListItem&) = delete;

  std::string szItemPattern;
  std::unique_ptr<TPatternListItem> Next;

 private:
  struct OnePattern {};
  TPatternListItem(OnePattern, std::string_view pattern) : szItemPattern(pattern) {}
};

/// True when `szName` matches any pattern of the list, tried in list order.
bool MatchesAnyPattern(const TPatternListItem& list, std::string_view szName);

}  // namespace pix
