#include "site/digest.h"

#include <xxhash.h>
// On x86-64 the library also holds forms of XXH3 for AVX2 and AVX-512, picked at the first
// call; the header makes the calls below go to them. The digests are the same.
#if defined(__x86_64__)
#include <xxh_x86dispatch.h>
#endif

#include <new>

namespace pix {

struct Digester::State {
  State() : hash(XXH3_createState()) {
    if (hash == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(hash);
  }
  ~State() { XXH3_freeState(hash); }
  XXH3_state_t* hash;
};

Digester::Digester() : impl_(std::make_unique<State>()) {}
Digester::~Digester() = default;

void Digester::Add(std::string_view bytes) {
  XXH3_128bits_update(impl_->hash, bytes.data(), bytes.size());
}

void Digester::Add(const Digest& digest) {
  const std::uint64_t words[2] = {digest.low, digest.high};
  XXH3_128bits_update(impl_->hash, words, sizeof words);
}

Digest Digester::Finish() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(impl_->hash);
  return Digest{hash.low64, hash.high64};
}

Digest DigestOf(std::string_view bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  return Digest{hash.low64, hash.high64};
}

Digest DigestOf(std::string_view name, std::string_view bytes) {
  const XXH128_hash_t hash =
      XXH3_128bits_withSeed(bytes.data(), bytes.size(), XXH3_64bits(name.data(), name.size()));
  return Digest{hash.low64, hash.high64};
}

}  // namespace pix
