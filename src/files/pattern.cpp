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

bool MatchFileNamePattern(std::string_view name, std::string_view pattern) {
  // Each segment between runs of "*" is matched at the first place it fits. When a later
  // segment (or the end of the name) does not fit, the segment after the last "*" is tried
  // again one character further on; earlier segments never need to move, because a later
  // place for them could only leave less of the name for what follows.
  constexpr std::size_t kNoStar = std::string_view::npos;
  std::size_t name_at = 0;
  std::size_t pattern_at = 0;
  std::size_t after_star = kNoStar;  // Pattern position of the segment after the last "*".
  std::size_t retry_at = 0;          // Name position where that segment was last tried.
  while (name_at < name.size()) {
    if (pattern_at < pattern.size() && pattern[pattern_at] == '*') {
      while (pattern_at < pattern.size() && pattern[pattern_at] == '*') ++pattern_at;
      after_star = pattern_at;
      retry_at = name_at;
    } else if (pattern_at < pattern.size() && CharacterMatches(pattern[pattern_at], name[name_at])) {
      ++pattern_at;
      ++name_at;
    } else if (after_star != kNoStar) {
      pattern_at = after_star;
      name_at = ++retry_at;
    } else {
      return false;
    }
  }
  while (pattern_at < pattern.size() && pattern[pattern_at] == '*') ++pattern_at;
  return pattern_at == pattern.size();
}

PatternListItem::PatternListItem(std::string_view text) {
  std::size_t cursor = 0;
  item_pattern = std::string(NextToken(text, &cursor));
  PatternListItem* last = this;
  for (std::string_view token = NextToken(text, &cursor); !token.empty();
       token = NextToken(text, &cursor)) {
    last->next.reset(new PatternListItem(OnePattern{}, token));
    last = last->next.get();
  }
}

PatternListItem::~PatternListItem() {
  // Unlink the rest one item at a time, so that each destroyed item has no rest of its own.
  std::unique_ptr<PatternListItem> rest = std::move(next);
  while (rest) rest = std::move(rest->next);
}

bool MatchesAnyPattern(const PatternListItem& list, std::string_view name) {
  for (const PatternListItem* item = &list; item != nullptr; item = item->next.get()) {
    if (MatchFileNamePattern(name, item->item_pattern)) return true;
  }
  return false;
}

}  // namespace pix
