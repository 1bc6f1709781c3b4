// Digests: 128-bit XXH3 hashes that tell whether bytes (a file, a page, the inputs of an
// output) are the same as before without keeping the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace pix {

/// A 128-bit XXH3 digest.
struct Digest {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  bool Empty() const { return low == 0 && high == 0; }
  bool operator==(const Digest& other) const { return low == other.low && high == other.high; }
  bool operator!=(const Digest& other) const { return !(*this == other); }
};

/// The digest of bytes handed over a piece at a time.
class Digester {
 public:
  Digester();
  ~Digester();
  Digester(const Digester&) = delete;
  Digester& operator=(const Digester&) = delete;
  void Add(std::string_view bytes);
  /// Adds a digest's 16 bytes.
  void Add(const Digest& digest);
  /// The digest of everything added so far.
  Digest Finish() const;

 private:
  struct State;
  std::unique_ptr<State> impl_;
};

/// The digest of `bytes`.
Digest DigestOf(std::string_view bytes);

/// The digest of `bytes` under a name: the same bytes under two names digest apart.
Digest DigestOf(std::string_view name, std::string_view bytes);

}  // namespace pix
