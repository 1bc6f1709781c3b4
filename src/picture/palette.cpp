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

struct Box {
  std::size_t begin = 0;  // The cells [begin, end).
  std::size_t end = 0;
  BoxSums sums;
  double error = 0.0;
};

// Boxes are cut between levels of 8 values of a channel, as fine as the eye tells colours
// apart in a small picture; the colour of a box is still the exact mean of its pixels.
constexpr int kLevels = 32;
int LevelOf(std::uint8_t value) { return value >> 3; }
// A colour's levels in 15 bits: red, green, blue from the top.
int KeyOf(const std::uint8_t* p) {
  return (LevelOf(p[0]) << 10) | (LevelOf(p[1]) << 5) | LevelOf(p[2]);
}

// The pixels whose colours share one level in each channel form a cell: they always fall in
// one box, so the boxes are cut over cells, fewer than the pixels. A box is a range of the
// array of cells, which its cut reorders into two ranges. A cell is one row of eight
// numbers, so that adding or moving one takes a few vector instructions: the count of its
// pixels, their sums of red, green and blue, the sums of their squares, and last the cell's
// key (KeyOf), which a sum of cells leaves meaningless. `Sum` has 32 bits when every sum of
// the picture fits in them (up to 66 051 pixels: most inline images), else 64.
template <typename Sum>
struct Cell {
  Sum value[8] = {0, 0, 0, 0, 0, 0, 0, 0};

  void Add(const Cell& other) {
    for (int k = 0; k < 8; ++k) value[k] += other.value[k];
  }
  int Key() const { return static_cast<int>(value[7]); }
  int Level(int axis) const { return (Key() >> (10 - 5 * axis)) & (kLevels - 1); }
  BoxSums Sums() const {
    BoxSums sums;
    sums.count = value[0];
    for (int c = 0; c < 3; ++c) {
      sums.sum[c] = value[1 + c];
      sums.squares[c] = value[4 + c];
    }
    return sums;
  }
};

// The per-level sums of one channel's values inside a box, to find where to cut it.
template <typename Sum>
class ChannelHistogram {
 public:
  // Fills the histogram of `axis` over the cells [begin, end).
  void Fill(const Cell<Sum>* begin, const Cell<Sum>* end, int axis) {
    low_ = kLevels - 1;
    high_ = 0;
    for (const Cell<Sum>* cell = begin; cell != end; ++cell) {
      const int level = cell->Level(axis);
      bins_[level].Add(*cell);
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
      const Sum* bin = bins_[level].value;
      if (bin[0] == 0) continue;
      count += bin[0];
      double below = 0.0;
      double above = 0.0;
      for (int c = 0; c < 3; ++c) {
        sum[c] += bin[1 + c];
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
    Cell<Sum> part;
    for (int level = low_; level <= *cut; ++level) part.Add(bins_[level]);
    *lower = part.Sums();
    return true;
  }

  // Empties the levels used, ready for the next box.
  void Clear() {
    for (int level = low_; level <= high_; ++level) bins_[level] = Cell<Sum>();
  }

 private:
  Cell<Sum> bins_[kLevels];
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

template <typename Sum>
void MedianCut(const std::uint8_t* rgb, std::size_t pixels, int max_colors,
               IndexedPicture& picture) {
  // Each colour key's cell (its place in `cells`), and the cells; `spare` takes the upper
  // part of a box while it is cut. They are the thread's own and kept between pictures
  // (`cell_of` emptied of what each one used): fresh ones would cost a small picture more
  // than its cutting.
  constexpr std::uint16_t kNoCell = 0xFFFF;
  thread_local std::vector<std::uint16_t> cell_of(std::size_t{1} << 15, kNoCell);
  thread_local std::vector<Cell<Sum>> cells;
  thread_local std::vector<Cell<Sum>> spare;
  cells.clear();
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = rgb + i * 3;
    const int key = KeyOf(p);
    std::uint16_t& number = cell_of[static_cast<std::size_t>(key)];
    if (number == kNoCell) {
      number = static_cast<std::uint16_t>(cells.size());
      cells.emplace_back().value[7] = static_cast<Sum>(key);
    }
    Sum* sums = cells[number].value;
    ++sums[0];
    for (int c = 0; c < 3; ++c) {
      sums[1 + c] += p[c];
      sums[4 + c] += static_cast<Sum>(p[c]) * p[c];
    }
  }
  spare.resize(cells.size());
  Cell<Sum> all;
  for (const Cell<Sum>& cell : cells) all.Add(cell);
  Box first;
  first.end = cells.size();
  first.sums = all.Sums();
  first.error = first.sums.Error();
  std::vector<Box> boxes{first};
  boxes.reserve(static_cast<std::size_t>(max_colors));
  // The boxes that can still be cut, the costliest on top.
  std::priority_queue<std::pair<double, std::size_t>> queue;
  if (first.error > 0.0) queue.push({first.error, 0});
  ChannelHistogram<Sum> histogram;
  while (static_cast<int>(boxes.size()) < max_colors && !queue.empty()) {
    const std::size_t worst_index = queue.top().second;
    queue.pop();
    Box& worst = boxes[worst_index];
    int axis = 0;
    for (int c = 1; c < 3; ++c) {
      if (worst.sums.ChannelError(c) > worst.sums.ChannelError(axis)) axis = c;
    }
    Cell<Sum>* begin = cells.data() + worst.begin;
    Cell<Sum>* end = cells.data() + worst.end;
    BoxSums lower;
    histogram.Fill(begin, end, axis);
    int cut = 0;
    const bool can_cut = histogram.BestCut(worst.sums, &cut, &lower);
    histogram.Clear();
    if (!can_cut) continue;  // All its samples share a level on that side.
    // The lower part stays at the front of the box, the upper part goes to `spare` and then
    // after it. Choosing where a cell goes costs no branch, which would guess wrong for
    // about half the cells.
    Cell<Sum>* below = begin;
    Cell<Sum>* above = spare.data();
    for (const Cell<Sum>* cell = begin; cell != end; ++cell) {
      const Cell<Sum> moved = *cell;
      const bool low = moved.Level(axis) <= cut;
      *(low ? below : above) = moved;
      below += low;
      above += !low;
    }
    std::copy(spare.data(), above, below);
    const std::size_t middle = static_cast<std::size_t>(below - cells.data());
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
  // Each key's place in `cell_of` now takes the palette entry of its cell's box.
  picture.palette.resize(boxes.size());
  for (std::size_t b = 0; b < boxes.size(); ++b) {
    const Box& box = boxes[b];
    for (int c = 0; c < 3; ++c) {
      picture.palette[b][c] =
          static_cast<std::uint8_t>((box.sums.sum[c] + box.sums.count / 2) / box.sums.count);
    }
    for (std::size_t i = box.begin; i < box.end; ++i) {
      cell_of[static_cast<std::size_t>(cells[i].Key())] = static_cast<std::uint16_t>(b);
    }
  }
  for (std::size_t i = 0; i < pixels; ++i) {
    picture.indices[i] =
        static_cast<std::uint8_t>(cell_of[static_cast<std::size_t>(KeyOf(rgb + i * 3))]);
  }
  for (const Cell<Sum>& cell : cells) cell_of[static_cast<std::size_t>(cell.Key())] = kNoCell;
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
    // A channel's sum of squares fits in 32 bits for up to 66 051 pixels.
    constexpr std::size_t kNarrowPixels = 0xFFFFFFFFu / (255 * 255);
    if (pixels <= kNarrowPixels) {
      MedianCut<std::uint32_t>(rgb, pixels, max_colors, picture);
    } else {
      MedianCut<std::uint64_t>(rgb, pixels, max_colors, picture);
    }
  }
  return picture;
}

}  // namespace pix
