#include "picture/lightrows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// The AVX2 forms are written for GCC's (and Clang's) per-function targets, so the rest of
// the program stays built for any x86-64 processor; the form is picked at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define PIX_AVX2_FORM 1
#include <immintrin.h>
#else
#define PIX_AVX2_FORM 0
#endif

namespace pix {
namespace {

// Light back to 8-bit sRGB values, rounded to the nearest: the value v is taken from the
// light halfway between the values v - 1 and v on, so a value is found by comparing with
// these thresholds. A table over kEncodeSteps equal steps of light gives the value at the
// start of each step, and one comparison with the next threshold settles it: the curve is
// steepest in the deepest shadows, 12.92 x 255 values for all the light, so a step of
// 1/8192 spans less than half a value and holds at most one threshold.
constexpr int kEncodeSteps = 8192;

struct EncodeTables {
  std::array<float, 257> threshold{};  // Threshold[v]: the least light that codes as v.
  std::array<std::uint8_t, kEncodeSteps + 1> start_of{};  // The value at each step's start.
};

const EncodeTables& SharedEncodeTables() {
  static const EncodeTables tables = [] {
    EncodeTables t;
    t.threshold[0] = -1.0f;
    for (int v = 1; v <= 255; ++v) {
      const double coded = (v - 0.5) / 255.0;
      t.threshold[v] = static_cast<float>(
          coded <= 0.04045 ? coded / 12.92 : std::pow((coded + 0.055) / 1.055, 2.4));
    }
    t.threshold[256] = 2.0f;  // Past all light: nothing codes above 255.
    int v = 0;
    for (int i = 0; i <= kEncodeSteps; ++i) {
      const float light = static_cast<float>(i) / kEncodeSteps;
      while (light >= t.threshold[v + 1]) ++v;
      t.start_of[i] = static_cast<std::uint8_t>(v);
    }
    return t;
  }();
  return tables;
}

inline std::uint8_t Encode(const EncodeTables& tables, float light) {
  if (!(light > 0.0f)) return 0;
  if (light >= 1.0f) return 255;
  const int v = tables.start_of[static_cast<int>(light * kEncodeSteps)];
  return static_cast<std::uint8_t>(v + (light >= tables.threshold[v + 1] ? 1 : 0));
}

// Lanczos' windowed sinc with three lobes.
double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1.0;
  if (x >= 3.0) return 0.0;
  const double pi = 3.14159265358979323846;
  return 3.0 * std::sin(pi * x) * std::sin(pi * x / 3.0) / (pi * pi * x * x);
}

// Four floats that the processor adds and multiplies in one step each.
using Float4 = float __attribute__((vector_size(16)));

// The loops' bodies are written once and compiled into each form: always inlined, so that
// the AVX2 form's copy is compiled for AVX2.
#define PIX_LOOP_BODY inline __attribute__((always_inline))

// A pixel's four values in one vector, each weighed exactly as it would be on its own.
PIX_LOOP_BODY Float4 Weighed(float weight, const float* pixel) {
  Float4 values;
  std::memcpy(&values, pixel, sizeof values);
  const Float4 weights = {weight, weight, weight, weight};
  return weights * values;
}

// Adds the taps of `c` from `from` on to `sum`, the pixel's sum of the taps before, and
// stores the pixel's three values at `out`.
PIX_LOOP_BODY void FinishPixel(const Coverage& c, const float* light, std::size_t from,
                               Float4 sum, float* out) {
  const float* p = light + static_cast<std::size_t>(c.first) * 4;
  for (std::size_t k = from; k < c.weights.size(); ++k) sum += Weighed(c.weights[k], p + k * 4);
  for (std::size_t ch = 0; ch < 3; ++ch) out[ch] = sum[ch];
}

PIX_LOOP_BODY void BringIntoLight(const std::uint8_t* in, int in_width, float* light) {
  const std::array<float, 256>& linear = LinearOf();
  for (std::size_t x = 0; x < static_cast<std::size_t>(in_width); ++x) {
    light[x * 4 + 0] = linear[in[x * 3 + 0]];
    light[x * 4 + 1] = linear[in[x * 3 + 1]];
    light[x * 4 + 2] = linear[in[x * 3 + 2]];
  }
}

void NarrowRowPortable(const std::uint8_t* in, int in_width, float* light,
                       const RowWeights& weights, float* out) {
  BringIntoLight(in, in_width, light);
  const Coverage* across = weights.across.data();
  // Four output pixels at a time: each pixel's sum is one chain of additions that must
  // keep its order (so that the bytes do not depend on how the loop is cut), and four
  // chains side by side keep the processor busy where one would wait on each addition.
  const std::size_t pixels = weights.across.size();
  std::size_t x = 0;
  for (; x + 4 <= pixels; x += 4) {
    const Coverage* c = across + x;
    const std::size_t common = std::min(std::min(c[0].weights.size(), c[1].weights.size()),
                                        std::min(c[2].weights.size(), c[3].weights.size()));
    const float* p0 = light + static_cast<std::size_t>(c[0].first) * 4;
    const float* p1 = light + static_cast<std::size_t>(c[1].first) * 4;
    const float* p2 = light + static_cast<std::size_t>(c[2].first) * 4;
    const float* p3 = light + static_cast<std::size_t>(c[3].first) * 4;
    const float* w0 = c[0].weights.data();
    const float* w1 = c[1].weights.data();
    const float* w2 = c[2].weights.data();
    const float* w3 = c[3].weights.data();
    Float4 sum0 = {}, sum1 = {}, sum2 = {}, sum3 = {};
    for (std::size_t k = 0; k < common; ++k) {
      sum0 += Weighed(w0[k], p0 + k * 4);
      sum1 += Weighed(w1[k], p1 + k * 4);
      sum2 += Weighed(w2[k], p2 + k * 4);
      sum3 += Weighed(w3[k], p3 + k * 4);
    }
    const Float4 sums[4] = {sum0, sum1, sum2, sum3};
    for (std::size_t j = 0; j < 4; ++j) FinishPixel(c[j], light, common, sums[j], out + (x + j) * 3);
  }
  for (; x < pixels; ++x) FinishPixel(across[x], light, 0, Float4{}, out + x * 3);
}

PIX_LOOP_BODY void WeighRowsBody(const float* ring, std::size_t ring_rows, std::size_t values,
                                 std::size_t first, const float* weights, std::size_t count,
                                 float* sum) {
  std::fill(sum, sum + values, 0.0f);
  for (std::size_t k = 0; k < count; ++k) {
    const float* row = ring + ((first + k) % ring_rows) * values;
    const float w = weights[k];
    for (std::size_t i = 0; i < values; ++i) sum[i] += w * row[i];
  }
}

PIX_LOOP_BODY void EncodeRowBody(const float* light, std::size_t values, std::uint8_t* out) {
  const EncodeTables& tables = SharedEncodeTables();
  for (std::size_t i = 0; i < values; ++i) out[i] = Encode(tables, light[i]);
}

void WeighRowsPortable(const float* ring, std::size_t ring_rows, std::size_t values,
                       std::size_t first, const float* weights, std::size_t count, float* sum) {
  WeighRowsBody(ring, ring_rows, values, first, weights, count, sum);
}

void EncodeRowPortable(const float* light, std::size_t values, std::uint8_t* out) {
  EncodeRowBody(light, values, out);
}

#if PIX_AVX2_FORM

// AVX2 holds no fused multiply-add (a feature of its own, not asked for here, and the file
// is compiled without contracting products and sums), so the bodies above compiled for it
// round every step as the portable form does.

// The values of tap k of two pixels whose taps start at `a` and `b`, side by side.
inline __attribute__((target("avx2"), always_inline)) __m256 TwoPixels(const float* a,
                                                                       const float* b,
                                                                       std::size_t k) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(a + k * 4)),
                              _mm_loadu_ps(b + k * 4), 1);
}

// Eight output pixels at a time, two to a register: the pixels' values are those of the
// portable form, added in the same order, but one addition and one multiplication serve two
// pixels, and the eight weights of a tap are read at once.
__attribute__((target("avx2"))) void NarrowRowAvx2(const std::uint8_t* in, int in_width,
                                                   float* light, const RowWeights& weights,
                                                   float* out) {
  BringIntoLight(in, in_width, light);
  const Coverage* across = weights.across.data();
  // Which of the eight weights of a tap each pair of pixels takes, four lanes for each.
  const __m256i pair0 = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i pair1 = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
  const __m256i pair2 = _mm256_setr_epi32(4, 4, 4, 4, 5, 5, 5, 5);
  const __m256i pair3 = _mm256_setr_epi32(6, 6, 6, 6, 7, 7, 7, 7);
  std::size_t x = 0;
  for (const RowWeights::Group& group : weights.groups) {
    const Coverage* c = across + x;
    const float* p[8];
    for (std::size_t j = 0; j < 8; ++j) p[j] = light + static_cast<std::size_t>(c[j].first) * 4;
    const float* w = weights.side_by_side.data() + group.at;
    __m256 sum0 = _mm256_setzero_ps(), sum1 = sum0, sum2 = sum0, sum3 = sum0;
    for (std::size_t k = 0; k < group.taps; ++k) {
      const __m256 tap = _mm256_loadu_ps(w + k * 8);
      sum0 = _mm256_add_ps(sum0, _mm256_mul_ps(_mm256_permutevar8x32_ps(tap, pair0), TwoPixels(p[0], p[1], k)));
      sum1 = _mm256_add_ps(sum1, _mm256_mul_ps(_mm256_permutevar8x32_ps(tap, pair1), TwoPixels(p[2], p[3], k)));
      sum2 = _mm256_add_ps(sum2, _mm256_mul_ps(_mm256_permutevar8x32_ps(tap, pair2), TwoPixels(p[4], p[5], k)));
      sum3 = _mm256_add_ps(sum3, _mm256_mul_ps(_mm256_permutevar8x32_ps(tap, pair3), TwoPixels(p[6], p[7], k)));
    }
    const __m256 sums[4] = {sum0, sum1, sum2, sum3};
    for (std::size_t j = 0; j < 8; ++j) {
      const __m128 half = (j % 2 == 0) ? _mm256_castps256_ps128(sums[j / 2])
                                       : _mm256_extractf128_ps(sums[j / 2], 1);
      Float4 sum;
      std::memcpy(&sum, &half, sizeof sum);
      FinishPixel(c[j], light, group.taps, sum, out + (x + j) * 3);
    }
    x += 8;
  }
  for (; x < weights.across.size(); ++x) FinishPixel(across[x], light, 0, Float4{}, out + x * 3);
}

__attribute__((target("avx2"))) void WeighRowsAvx2(const float* ring, std::size_t ring_rows,
                                                   std::size_t values, std::size_t first,
                                                   const float* weights, std::size_t count,
                                                   float* sum) {
  WeighRowsBody(ring, ring_rows, values, first, weights, count, sum);
}

__attribute__((target("avx2"))) void EncodeRowAvx2(const float* light, std::size_t values,
                                                   std::uint8_t* out) {
  EncodeRowBody(light, values, out);
}

#endif

}  // namespace

const std::array<float, 256>& LinearOf() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> values{};
    for (int i = 0; i < 256; ++i) {
      const double v = i / 255.0;
      values[i] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    return values;
  }();
  return table;
}

RowWeights::RowWeights(int in_width, int width) : across(CoverageOf(in_width, width)) {
  constexpr std::size_t kGroup = 8;
  for (std::size_t x = 0; x + kGroup <= across.size(); x += kGroup) {
    Group group;
    group.taps = across[x].weights.size();
    for (std::size_t j = 1; j < kGroup; ++j) {
      group.taps = std::min(group.taps, across[x + j].weights.size());
    }
    group.at = side_by_side.size();
    for (std::size_t k = 0; k < group.taps; ++k) {
      for (std::size_t j = 0; j < kGroup; ++j) side_by_side.push_back(across[x + j].weights[k]);
    }
    groups.push_back(group);
  }
}

std::size_t RowWeights::Bytes() const {
  std::size_t bytes = across.capacity() * sizeof(Coverage) + groups.capacity() * sizeof(Group) +
                      side_by_side.capacity() * sizeof(float);
  for (const Coverage& c : across) bytes += c.weights.capacity() * sizeof(float);
  return bytes;
}

std::uint8_t EncodeLight(float light) { return Encode(SharedEncodeTables(), light); }

std::vector<Coverage> CoverageOf(int in_size, int out_size) {
  if (out_size <= 0) return {};
  std::vector<Coverage> result(static_cast<std::size_t>(out_size));
  const double scale = static_cast<double>(in_size) / out_size;
  const double stretch = std::max(1.0, scale);
  const double support = 3.0 * stretch;
  for (int o = 0; o < out_size; ++o) {
    const double centre = (o + 0.5) * scale - 0.5;
    const int first = static_cast<int>(std::floor(centre - support)) + 1;
    const int last = static_cast<int>(std::ceil(centre + support)) - 1;
    std::vector<double> weights(static_cast<std::size_t>(last - first + 1));
    double total = 0.0;
    for (int i = first; i <= last; ++i) {
      const double w = Lanczos3((i - centre) / stretch);
      weights[static_cast<std::size_t>(i - first)] = w;
      total += w;
    }
    // Pixels beyond an edge are the edge pixel again: their weights go to it.
    Coverage& c = result[static_cast<std::size_t>(o)];
    c.first = std::max(0, first);
    const int end = std::min(in_size - 1, last);
    c.weights.assign(static_cast<std::size_t>(end - c.first + 1), 0.0f);
    for (int i = first; i <= last; ++i) {
      const int at = std::clamp(i, 0, in_size - 1) - c.first;
      c.weights[static_cast<std::size_t>(at)] +=
          static_cast<float>(weights[static_cast<std::size_t>(i - first)] / total);
    }
  }
  return result;
}

const LightRowLoops& PortableLightRowLoops() {
  static const LightRowLoops loops{NarrowRowPortable, WeighRowsPortable, EncodeRowPortable};
  return loops;
}

const LightRowLoops* Avx2LightRowLoops() {
#if PIX_AVX2_FORM
  static const LightRowLoops loops{NarrowRowAvx2, WeighRowsAvx2, EncodeRowAvx2};
  static const bool runs = __builtin_cpu_supports("avx2");
  return runs ? &loops : nullptr;
#else
  return nullptr;
#endif
}

const LightRowLoops& FastestLightRowLoops() {
  static const LightRowLoops& fastest =
      Avx2LightRowLoops() != nullptr ? *Avx2LightRowLoops() : PortableLightRowLoops();
  return fastest;
}

}  // namespace pix
