#include "files/pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pix {
namespace {

std::vector<std::string> Patterns(const PatternListItem& list) {
  std::vector<std::string> patterns;
  for (const PatternListItem* item = &list; item; item = item->next.get()) {
    patterns.push_back(item->item_pattern);
  }
  return patterns;
}

// "#" a digit, "@" an ASCII letter, "?" any character, "*" any run; segments between stars
// are retried further on.
TEST(PatternTest, WildcardsMatchTheirClassesAndStarsAnyRun) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  } cases[] = {
      {"samp0001.txt", "samp####.txt", true},
      {"samp01.txt", "samp####.txt", false},  // Too few digits.
      {"sampabcd.txt", "samp####.txt", false},
      {"samp00012.txt", "samp####.txt", false},
      {"imgb", "img@", true},
      {"imgB", "img@", true},
      {"img1", "img@", false},
      {"img\xe9", "img@", false},  // Only the ASCII letters are letters.
      {"img_", "img@", false},
      {"abc", "a?c", true},
      {"a.c", "a?c", true},
      {"ac", "a?c", false},  // "?" needs a character.
      {"abc", "abc", true},
      {"ABC", "abc", false},  // Case matters.
      {"#1", "##", false},    // "#" is a digit, never itself.
      {"", "", true},
      {"a", "", false},
      {"", "?", false},
      {"", "#", false},
      {"abc", "ab", false},  // The whole name must match...
      {"ab", "abc", false},  // ...and the name may not end inside the pattern.
      {"a.jpg.jpg", "*.jpg", true},
      {"a.jpg.gif", "*.jpg", false},
      {".jpg", "*.jpg", true},  // A star may match nothing.
      {"", "*", true},
      {"", "***", true},
      {"anything", "*", true},
      {"abc", "abc*", true},
      {"abcdef", "a*c*f", true},
      {"aXbYbZc", "a*b?c", true},  // The first "b" fits the segment but leaves no match.
      {"aXbYbZd", "a*b?c", false},
      {"mississippi", "*ss*ss*pi", true},
      {"mississippi", "m*iss*iss*ppi*i", false},
      {"ab", "*abc", false},
      {"xxabab", "*ab", true},
      {"[img0001.jpg]", "*[img####.*]*", true},  // How match pages test a name.
      {"[img0001a.jpg]", "*[img####.*]*", false},
      {"[dsc-12a.jpg]", "*[dsc-##@.*]*", true},
      {"[my img0001.jpg]", "*img####*", true},  // Without brackets: any part of the name.
      {"[my img0001.jpg]", "*[img####*", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchFileNamePattern(c.name, c.pattern), c.matches)
        << "\"" << c.name << "\" against \"" << c.pattern << "\"";
  }
}

TEST(PatternTest, LongNamesAgainstManyStarsFinishQuickly) {
  // A pattern that can only fail at its very end: matching must not try every way to
  // split the name between the stars.
  const std::string name(5000, 'a');
  EXPECT_FALSE(MatchFileNamePattern(name, "*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchFileNamePattern(name + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(PatternTest, PatternTextsSplitAtBlanksLineBreaksAndCommas) {
  EXPECT_EQ(Patterns(PatternListItem("a.jpg, b*.gif \r\n\t")),
            (std::vector<std::string>{"a.jpg", "b*.gif"}));
  EXPECT_EQ(Patterns(PatternListItem("  ,,\n[img####.*]\t[*.*]")),
            (std::vector<std::string>{"[img####.*]", "[*.*]"}));
  EXPECT_EQ(Patterns(PatternListItem("samp####.txt")), std::vector<std::string>{"samp####.txt"});
  // A text without patterns gives the one empty pattern, which no file name matches.
  const PatternListItem none(" ,\r\n");
  EXPECT_EQ(Patterns(none), std::vector<std::string>{""});
  EXPECT_FALSE(MatchesAnyPattern(none, "a.jpg"));
}

TEST(PatternTest, AnyPatternOfTheListMayMatch) {
  const PatternListItem list("*.gif,img####.jpg");
  EXPECT_TRUE(MatchesAnyPattern(list, "x.gif"));
  EXPECT_TRUE(MatchesAnyPattern(list, "img0042.jpg"));
  EXPECT_FALSE(MatchesAnyPattern(list, "img42.jpg"));
  EXPECT_FALSE(MatchesAnyPattern(list, "x.GIF"));
}

TEST(PatternTest, HugeListIsBuiltAndDestroyedWithoutRecursion) {
  std::string text;
  const int count = 300000;
  for (int i = 0; i < count; ++i) text += "p" + std::to_string(i) + ",";
  const PatternListItem list(text);
  EXPECT_EQ(Patterns(list).size(), static_cast<std::size_t>(count));
  EXPECT_TRUE(MatchesAnyPattern(list, "p" + std::to_string(count - 1)));
}

}  // namespace
}  // namespace pix
