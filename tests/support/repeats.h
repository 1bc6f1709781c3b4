// How many times a test repeats a scenario that checks the same rules at another random
// moment each time (a run killed or interrupted at any point of its work). CI's sanitizer
// builds make every repetition several times slower after the release build has run the
// full count, and ask for a share of it: PIXAMOND_REPEAT_PERCENT=25 runs a quarter, at
// least one.
#pragma once

#include <algorithm>
#include <cstdlib>

namespace pix::test {

inline int Repeats(int full) {
  const char* text = std::getenv("PIXAMOND_REPEAT_PERCENT");
  if (text == nullptr || *text == '\0') return full;
  const long percent = std::clamp(std::strtol(text, nullptr, 10), 1L, 100L);
  return std::max(1, static_cast<int>(full * percent / 100));
}

}  // namespace pix::test
