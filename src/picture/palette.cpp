#include "picture/palette.h"

#include <algorithm>
#include <cstddef>
#include <queue>
#include <utility>

namespace pix {

namespace {

// What a box of samples adds up to: enough to give its mean colour and its squared error,
// in all and per channel.
struct BoxSums {
  std::uint64_t count = 0;
  std::uint64_t sum[3] = {0, 0, 0};
  std::uint64_t squares[3] = {0, 0, 0};

  void Add(const BoxSums& other) {
    count += other.count;
    for (int c = 0; c < 3; ++c) {
      sum[c] += other.sum[c];
      squares[c] += other.squares[c];
    }
  }
  void Subtract(const BoxSums& other) {
    count -= other.count;
    for (int c = 0; c < 3; ++c) {
      sum[c] -= other.sum[c];
      squares[c] -= other.squares[c];
    }
  }
  double ChannelError(int c) const {
    if (count == 0) return 0.0;
    const double s = static_cast<double>(sum[c]);
    return static_cast<double>(squares[c]) - s * s / static_cast<double>(count);
  }
  double Error() const { return ChannelError(0) + ChannelError(1) + ChannelError(2); }
};

// The pixels whose colours share one level in each channel (see LevelOf): they always fall
// in one box, so the boxes are cut over cells, fewer than the pixels.
struct Cell {
  BoxSums sums;
  std::uint8_t level[3];
  std::uint16_t entry = 0;  // The palette entry of its box, once the boxes are settled.
};

struct Box {
  std::size_t begin = 0;  // The cells order[begin, end).
  std::size_t end = 0;
  BoxSums sums;
  double error = 0.0;
};

// Boxes are cut between levels of 8 values of a channel, as fine as the eye tells colours
// apart in a small picture; the colour of a box is still the exact mean of its pixels.
constexpr int kLevels = 32;
int LevelOf(std::uint8_t value) { return value >> 3; }

// The per-level sums of one channel's values inside a box, to find where to cut it.
class ChannelHistogram {
 public:
  // Fills the histogram of `axis` over the `count` cells that `order` names.
  void Fill(const std::vector<Cell>& cells, const std::uint16_t* order, std::size_t count,
            int axis) {
    low_ = kLevels - 1;
    high_ = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const Cell& cell = cells[order[i]];
      const int level = cell.level[axis];
      bins_[level].Add(cell.sums);
      low_ = std::min(low_, level);
      high_ = std::max(high_, level);
    }
  }

  // The level L that leaves the smallest squared error when the box is cut into the
  // samples at most L and those above, with the sums of the lower part; none when all the
  // samples have one level. The error of a part is its sum of squares less |sum|^2 / count,
  // and the sums of squares of the parts add up to the box's, so the best cut is the one
  // with the largest |sum|^2 / count added over both parts.
  bool BestCut(const BoxSums& whole, int* cut, BoxSums* lower) const {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {0, 0, 0};
    double best = -1.0;
    for (int level = low_; level < high_; ++level) {
      const BoxSums& bin = bins_[level];
      if (bin.count == 0) continue;
      count += bin.count;
      double below = 0.0;
      double above = 0.0;
      for (int c = 0; c < 3; ++c) {
        sum[c] += bin.sum[c];
        const double b = static_cast<double>(sum[c]);
        const double a = static_cast<double>(whole.sum[c] - sum[c]);
        below += b * b;
        above += a * a;
      }
      const double kept = below / static_cast<double>(count) +
                          above / static_cast<double>(whole.count - count);
      if (kept > best) {
        best = kept;
        *cut = level;
      }
    }
    if (best < 0.0) return false;
    *lower = BoxSums();
    for (int level = low_; level <= *cut; ++level) lower->Add(bins_[level]);
    return true;
  }

  // Empties the levels used, ready for the next box.
  void Clear() {
    for (int level = low_; level <= high_; ++level) bins_[level] = BoxSums();
  }

 private:
  BoxSums bins_[kLevels];
  int low_ = kLevels - 1;
  int high_ = 0;
};

// Gives each distinct colour its own entry when there are at most `max_colors`; false
// otherwise. Palette entries are in increasing order of their RGB value.
bool TryExactPalette(const std::uint8_t* rgb, std::size_t pixels, int max_colors,
                     IndexedPicture& picture) {
  // An open-addressing table of the colours seen, four times as large as the palette may
  // be; a photograph gives up after a few hundred pixels.
  constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
  const std::size_t slots = 1024;
  std::vector<std::uint32_t> keys(slots, kEmpty);
  std::vector<std::uint8_t> entry(slots, 0);
  std::vector<std::uint32_t> colors;
  const auto slot_of = [&](std::uint32_t key) {
    std::size_t slot = (key * 2654435761u) >> 22;
    while (keys[slot] != kEmpty && keys[slot] != key) slot = (slot + 1) & (slots - 1);
    return slot;
  };
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = rgb + i * 3;
    const std::uint32_t key = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    const std::size_t slot = slot_of(key);
    if (keys[slot] == kEmpty) {
      if (static_cast<int>(colors.size()) == max_colors) return false;
      keys[slot] = key;
      colors.push_back(key);
    }
  }
  std::sort(colors.begin(), colors.end());
  picture.palette.resize(colors.size());
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const std::uint32_t key = colors[i];
    picture.palette[i] = {static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 8),
                          static_cast<std::uint8_t>(key)};
    entry[slot_of(key)] = static_cast<std::uint8_t>(i);
  }
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = rgb + i * 3;
    const std::uint32_t key = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    picture.indices[i] = entry[slot_of(key)];
  }
  return true;
}

void MedianCut(const std::uint8_t* rgb, std::size_t pixels, int max_colors,
               IndexedPicture& picture) {
  // Each pixel's cell, by its levels packed into 15 bits, and the cells. Both are the
  // thread's own and kept between pictures (emptied of what each one used): fresh ones
  // would cost a small picture more than its cutting.
  constexpr std::uint16_t kNoCell = 0xFFFF;
  thread_local std::vector<std::uint16_t> cell_of(std::size_t{1} << 15, kNoCell);
  thread_local std::vector<Cell> cells;
  cells.clear();
  // The boxes are cut by moving the numbers of their cells, not the cells.
  std::vector<std::uint16_t> order;
  const auto key_of = [](const std::uint8_t* p) {
    return (LevelOf(p[0]) << 10) | (LevelOf(p[1]) << 5) | LevelOf(p[2]);
  };
  Box first;
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = rgb + i * 3;
    std::uint16_t& number = cell_of[key_of(p)];
    if (number == kNoCell) {
      number = static_cast<std::uint16_t>(cells.size());
      Cell cell;
      for (int c = 0; c < 3; ++c) cell.level[c] = static_cast<std::uint8_t>(LevelOf(p[c]));
      cells.push_back(cell);
    }
    BoxSums& sums = cells[number].sums;
    ++sums.count;
    for (int c = 0; c < 3; ++c) {
      sums.sum[c] += p[c];
      sums.squares[c] += static_cast<std::uint64_t>(p[c]) * p[c];
    }
  }
  order.resize(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    first.sums.Add(cells[i].sums);
    order[i] = static_cast<std::uint16_t>(i);
  }
  first.end = cells.size();
  first.error = first.sums.Error();
  std::vector<Box> boxes{first};
  boxes.reserve(static_cast<std::size_t>(max_colors));
  // The boxes that can still be cut, the costliest on top.
  std::priority_queue<std::pair<double, std::size_t>> queue;
  if (first.error > 0.0) queue.push({first.error, 0});
  ChannelHistogram histogram;
  while (static_cast<int>(boxes.size()) < max_colors && !queue.empty()) {
    const std::size_t worst_index = queue.top().second;
    queue.pop();
    Box& worst = boxes[worst_index];
    int axis = 0;
    for (int c = 1; c < 3; ++c) {
      if (worst.sums.ChannelError(c) > worst.sums.ChannelError(axis)) axis = c;
    }
    std::uint16_t* begin = order.data() + worst.begin;
    std::uint16_t* end = order.data() + worst.end;
    BoxSums lower;
    histogram.Fill(cells, begin, worst.end - worst.begin, axis);
    int cut = 0;
    const bool can_cut = histogram.BestCut(worst.sums, &cut, &lower);
    histogram.Clear();
    if (!can_cut) continue;  // All its samples share a level on that side.
    const std::size_t middle = static_cast<std::size_t>(
        std::partition(begin, end,
                       [&](std::uint16_t cell) { return cells[cell].level[axis] <= cut; }) -
        order.data());
    Box upper;
    upper.begin = middle;
    upper.end = worst.end;
    upper.sums = worst.sums;
    upper.sums.Subtract(lower);
    upper.error = upper.sums.Error();
    worst.end = middle;
    worst.sums = lower;
    worst.error = lower.Error();
    if (worst.error > 0.0) queue.push({worst.error, worst_index});
    if (upper.error > 0.0) queue.push({upper.error, boxes.size()});
    boxes.push_back(upper);
  }
  picture.palette.resize(boxes.size());
  for (std::size_t b = 0; b < boxes.size(); ++b) {
    const Box& box = boxes[b];
    for (int c = 0; c < 3; ++c) {
      picture.palette[b][c] =
          static_cast<std::uint8_t>((box.sums.sum[c] + box.sums.count / 2) / box.sums.count);
    }
    for (std::size_t i = box.begin; i < box.end; ++i) {
      cells[order[i]].entry = static_cast<std::uint16_t>(b);
    }
  }
  for (std::size_t i = 0; i < pixels; ++i) {
    picture.indices[i] = static_cast<std::uint8_t>(cells[cell_of[key_of(rgb + i * 3)]].entry);
  }
  for (const Cell& cell : cells) {
    cell_of[(cell.level[0] << 10) | (cell.level[1] << 5) | cell.level[2]] = kNoCell;
  }
}

}  // namespace

IndexedPicture ReduceToPalette(const std::uint8_t* rgb, int width, int height, int max_colors) {
  IndexedPicture picture;
  if (width < 1 || height < 1) return picture;
  max_colors = std::clamp(max_colors, 2, 256);
  picture.width = width;
  picture.height = height;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  picture.indices.resize(pixels);
  if (!TryExactPalette(rgb, pixels, max_colors, picture)) {
    MedianCut(rgb, pixels, max_colors, picture);
  }
  return picture;
}

}  // namespace pix
