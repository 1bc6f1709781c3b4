#include "site/pictureorder.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <numeric>
#include <string>

namespace pix {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "2024-06-01T14:03:22" as nanoseconds since 1970, read as UTC; nothing for other text.
bool ParseIsoDateTime(std::string_view text, std::int64_t& ns) {
  if (text.size() < 19) return false;
  const std::size_t digits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
  for (const std::size_t i : digits) {
    if (!IsDigit(text[i])) return false;
  }
  auto number = [&](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  std::tm date{};
  date.tm_year = number(0, 4) - 1900;
  date.tm_mon = number(5, 2) - 1;
  date.tm_mday = number(8, 2);
  date.tm_hour = number(11, 2);
  date.tm_min = number(14, 2);
  date.tm_sec = number(17, 2);
  // Dates taken carry no zone; reading them all as UTC keeps their order, which is all a
  // sort needs, and makes it the same on every machine.
  const std::time_t seconds = timegm(&date);
  ns = static_cast<std::int64_t>(seconds) * 1000000000;
  return true;
}

}  // namespace

int CompareNatural(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Leading zeros say nothing of a number's value; the longer run of what is left is
      // the larger number, and runs of one length compare digit by digit.
      std::size_t a_end = i;
      while (a_end < a.size() && IsDigit(a[a_end])) ++a_end;
      std::size_t b_end = j;
      while (b_end < b.size() && IsDigit(b[b_end])) ++b_end;
      std::size_t a_start = i;
      while (a_start + 1 < a_end && a[a_start] == '0') ++a_start;
      std::size_t b_start = j;
      while (b_start + 1 < b_end && b[b_start] == '0') ++b_start;
      const std::size_t a_length = a_end - a_start;
      const std::size_t b_length = b_end - b_start;
      if (a_length != b_length) return a_length < b_length ? -1 : 1;
      const int digits = a.substr(a_start, a_length).compare(b.substr(b_start, b_length));
      if (digits != 0) return digits;
      i = a_end;
      j = b_end;
      continue;
    }
    if (a[i] != b[j]) {
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    }
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return a.compare(b);
}

std::int64_t PictureSortTime(std::string_view iso_date_taken, std::int64_t file_time_ns) {
  std::int64_t ns = 0;
  return ParseIsoDateTime(iso_date_taken, ns) ? ns : file_time_ns;
}

std::vector<std::size_t> SortedPositions(const std::vector<SortablePicture>& pictures,
                                         const SortOrder& order) {
  std::vector<std::size_t> positions(pictures.size());
  std::iota(positions.begin(), positions.end(), std::size_t{0});
  switch (order.key) {
    case SortKey::kName:
      break;
    case SortKey::kNatural:
      std::stable_sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
        return CompareNatural(pictures[x].name, pictures[y].name) < 0;
      });
      break;
    case SortKey::kDate:
      std::stable_sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
        return pictures[x].time_ns < pictures[y].time_ns;
      });
      break;
  }
  if (order.reverse) std::reverse(positions.begin(), positions.end());
  return positions;
}

}  // namespace pix
