#pragma once

// The inner loops of the linear-light resampler (ResampleInLinearLight and the web images):
// a row of 8-bit sRGB pixels brought into linear light and narrowed, narrowed rows weighed
// together, and light coded back to sRGB bytes.
//
// Each loop comes in a portable form and, where the compiler and the processor allow, in a
// form for AVX2. The forms round every step alike (no fused multiply-add, every sum added
// in the same order), so which one runs never shows in an image: the same bytes on every
// processor. Tests hold the forms to that.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pix {

// The input pixels that make one output pixel along one direction, with their weights.
struct Coverage {
  int first = 0;
  std::vector<float> weights;  // Summing to 1.
};

// The weights of each output pixel of `out_size` made from `in_size` input pixels:
// Lanczos3 stretched over as many input pixels as one output pixel covers when reducing,
// and at its own width when enlarging. Input pixels past the edges repeat the edge pixel.
std::vector<Coverage> CoverageOf(int in_size, int out_size);

// The horizontal weights of a row, as the loops read them: each output pixel's coverage,
// and for each group of eight output pixels from the first on, the taps all eight have
// (the least of their counts) with the eight weights of each such tap side by side.
struct RowWeights {
  RowWeights(int in_width, int width);
  // The bytes it holds beyond its own size.
  std::size_t Bytes() const;

  struct Group {
    std::size_t taps = 0;
    std::size_t at = 0;  // Where its weights start in side_by_side.
  };
  std::vector<Coverage> across;
  std::vector<Group> groups;
  std::vector<float> side_by_side;
};

// sRGB's transfer curve: the light of each 8-bit value.
const std::array<float, 256>& LinearOf();

// Light coded back to the nearest 8-bit sRGB value; no light (or none that is a number)
// codes as 0, full light and more as 255.
std::uint8_t EncodeLight(float light);

// One form of the loops.
struct LightRowLoops {
  // Brings input row `in` (`in_width` RGB pixels) into linear light, in `light` (four
  // values a pixel, the fourth unused), and narrows it to `weights.across.size()` pixels of
  // three values at `out`, pixel x weighing the input pixels `weights.across[x]` covers.
  void (*narrow)(const std::uint8_t* in, int in_width, float* light, const RowWeights& weights,
                 float* out);
  // Sums `count` narrowed rows of `values` values each, from row `first` of the ring of
  // `ring_rows` rows at `ring` on, row k weighed by `weights[k]`, into `sum`.
  void (*weigh)(const float* ring, std::size_t ring_rows, std::size_t values, std::size_t first,
                const float* weights, std::size_t count, float* sum);
  // Codes `values` values of light at `light` as sRGB bytes at `out`, as EncodeLight does.
  void (*encode)(const float* light, std::size_t values, std::uint8_t* out);
};

const LightRowLoops& PortableLightRowLoops();
// The AVX2 form; null where the program was built without it or the processor lacks AVX2.
const LightRowLoops* Avx2LightRowLoops();
// The fastest form this processor runs.
const LightRowLoops& FastestLightRowLoops();

}  // namespace pix
