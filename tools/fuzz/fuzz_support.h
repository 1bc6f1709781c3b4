// Helpers shared by the fuzz targets: a private scratch folder for the entry points that
// read a file, and a check that stops the run when a property of the output does not hold.
#pragma once

#include <gif_lib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pix::fuzz {

/// A folder that is removed, with what it holds, when the object goes.
struct ScratchFolder {
  std::filesystem::path path;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

/// A folder of this process's own, in memory when the machine has /dev/shm, removed when
/// the process ends. (A handler registered with atexit while the folder's name was being
/// made ran after the name was destroyed, and left every folder behind.)
inline const std::filesystem::path& ScratchDir() {
  static const ScratchFolder folder = [] {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "pixamond-fuzz-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) std::abort();
    return ScratchFolder{std::filesystem::path(name.data())};
  }();
  return folder.path;
}

/// Writes `bytes` to `name` in the scratch folder and returns its path.
inline std::filesystem::path WriteScratchFile(const char* name, std::string_view bytes) {
  const std::filesystem::path path = ScratchDir() / name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

/// Removes a scratch file (and whatever temporary files were left beside it).
inline void RemoveScratchFile(const char* name) {
  std::error_code ignored;
  std::filesystem::remove(ScratchDir() / name, ignored);
}

/// The decoders are fuzzed on pictures of at most a quarter of a megapixel (libjpeg-turbo's
/// own fuzzers stop at one): a larger frame costs a long decode per input and reaches no
/// code that a small one does not, so it would only slow the search down.
inline constexpr long long kMaxFuzzedPixels = 1LL << 18;

inline bool ExceedsFuzzedPixels(long long width, long long height) {
  return width * height > kMaxFuzzedPixels;
}

/// Whether the images of a GIF file say they hold more pixels, together, than the cap. The
/// records are walked without decoding any image; a file that giflib stops reading counts
/// the images it has seen up to that point, since the code under test stops there too.
inline bool GifExceedsFuzzedPixels(const std::filesystem::path& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return false;
  long long pixels = 0;
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  bool readable = true;
  while (readable && pixels <= kMaxFuzzedPixels && type != TERMINATE_RECORD_TYPE) {
    readable = DGifGetRecordType(gif, &type) != GIF_ERROR;
    int code = 0;
    GifByteType* block = nullptr;
    if (readable && type == IMAGE_DESC_RECORD_TYPE) {
      readable = DGifGetImageDesc(gif) != GIF_ERROR;
      if (!readable) break;
      pixels += static_cast<long long>(gif->Image.Width) * gif->Image.Height;
      readable = DGifGetCode(gif, &code, &block) != GIF_ERROR;
      while (readable && block != nullptr) readable = DGifGetCodeNext(gif, &block) != GIF_ERROR;
    } else if (readable && type == EXTENSION_RECORD_TYPE) {
      readable = DGifGetExtension(gif, &code, &block) != GIF_ERROR;
      while (readable && block != nullptr) {
        readable = DGifGetExtensionNext(gif, &block) != GIF_ERROR;
      }
    }
  }
  DGifCloseFile(gif, &error);
  return pixels > kMaxFuzzedPixels;
}

/// Stops the run with a message when a property the target checks does not hold, so that
/// the fuzzer keeps the input as a crash.
inline void Expect(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "Fuzz check failed: %s\n", what);
  std::abort();
}

/// Splits `data` at its first NUL byte into two texts (the second empty when none).
inline std::pair<std::string_view, std::string_view> SplitAtNul(const std::uint8_t* data,
                                                                std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = all.find('\0');
  if (nul == std::string_view::npos) return {all, {}};
  return {all.substr(0, nul), all.substr(nul + 1)};
}

}  // namespace pix::fuzz
