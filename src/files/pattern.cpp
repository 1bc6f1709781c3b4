#include "files/pattern.h"

namespace pix {
namespace {

bool IsPatternSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

// Whether one pattern character (other than "*") matches one name character.
bool CharacterMatches(char pattern, char name) {
  switch (pattern) {
    case '?':
      return true;
    case '#':
      return name >= '0' && name <= '9';
    case '@':
      return (name >= 'A' && name <= 'Z') || (name >= 'a' && name <= 'z');
    default:
      return pattern == name;
  }
}

// The next run of non-separators at or after `*cursor`, which moves past it; empty when
// only separators are left.
std::string_view NextToken(std::string_view text, std::size_t* cursor) {
  std::size_t start = *cursor;
  while (start < text.size() && IsPatternSeparator(text[start])) ++start;
  std::size_t end = start;
  while (end < text.size() && !IsPatternSeparator(text[end])) ++end;
  *cursor = end;
  return text.substr(start, end - start);
}

}  // namespace

bool MatchFileNamePattern(std::string_view szName, std::string_view szPattern) {
  // Each segment between runs of "*" is matched at the first place it fits. When a later
  // segment (or the end of the name) does not fit, the segment after the last "*" is tried
  // again one character further on; earlier segments never need to move, because a later
  // place for them could only leave less of the name for what follows.
  constexpr std::size_t kNoStar = std::string_view::npos;
  std::size_t name = 0;
  std::size_t pattern = 0;
  std::size_t afterStar = kNoStar;  // Pattern position of the segment after the last "*".
  std::size_t retryAt = 0;          // Name position where that segment was last tried.
  while (name < szName.size()) {
    if (pattern < szPattern.size() && szPattern[pattern] == '*') {
      while (pattern < szPattern.size() && szPattern[pattern] == '*') ++pattern;
      afterStar = pattern;
      retryAt = name;
    } else if (pattern < szPattern.size() && CharacterMatches(szPattern[pattern], szName[name])) {
      ++pattern;
      ++name;
    } else if (afterStar != kNoStar) {
      pattern = afterStar;
      name = ++retryAt;
    } else {
      return false;
    }
  }
  while (pattern < szPattern.size() && szPattern[pattern] == '*') ++pattern;
  return pattern == szPattern.size();
}

TPatternListItem::TPatternListItem(std::string_view szText) {
  std::size_t cursor = 0;
  szItemPattern = std::string(NextToken(szText, &cursor));
  TPatternListItem* last = this;
  for (std::string_view token = NextToken(szText, &cursor); !token.empty();
       token = NextToken(szText, &cursor)) {
    last->Next.reset(new TPatternListItem(OnePattern{}, token));
    last = last->Next.get();
  }
}

TPatternListItem::~TPatternListItem() {
  // Unlink the rest one item at a time, so that each destroyed item has no rest of its own.
  std::unique_ptr<TPatternListItem> rest = std::move(Next);
  while (rest) rest = std::move(rest->Next);
}

bool MatchesAnyPattern(const TPatternListItem& list, std::string_view szName) {
  for (const TPatternListItem* item = &list; item != nullptr; item = item->Next.get()) {
    if (MatchFileNamePattern(szName, item->szItemPattern)) return true;
  }
  return false;
}

}  // namespace pix
