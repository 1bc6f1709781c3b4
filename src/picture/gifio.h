// Owned giflib handles for the picture code: a GIF file (or GIF bytes in memory) opened for
// reading record by record, and a GIF stream being written (always with the signature
// "GIF87a") to a file or a buffer the caller owns. Closing and freeing happen in the handles'
// deleters, so no early return can leak a giflib object.
#pragma once

#include <gif_lib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"

namespace pix {

struct GifReadCloser {
  void operator()(GifFileType* gif) const;
};
struct GifWriteCloser {
  void operator()(GifFileType* gif) const;
};

/// A GIF file open for reading; the screen descriptor has been read.
using GifReadHandle = std::unique_ptr<GifFileType, GifReadCloser>;

/// Opens `path` as a GIF file. The failure names the path and giflib's reason.
Result<GifReadHandle> OpenGifForReading(const std::filesystem::path& path);

/// GIF bytes in memory and how far giflib has read them. The bytes stay owned by the
/// caller; both they and this object must outlive the handle that reads them.
struct GifBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
};

/// Opens GIF bytes in memory; reading past their end fails like a file cut short.
Result<GifReadHandle> OpenGifInMemory(GifBytes* bytes);

/// A GIF stream being written to a file or buffer that stays owned by the caller.
class GifWriter {
 public:
  /// Starts a GIF87a stream on `out`, which must stay open until Close.
  static Result<GifWriter> Open(std::FILE* out);
  /// Starts a GIF87a stream appended to `out`, which must outlive the writer.
  static Result<GifWriter> OpenBuffer(std::vector<std::uint8_t>* out);

  GifFileType* Gif() const { return handle_.get(); }

  /// Writes the trailer and frees the giflib object; reports giflib's error, if any.
  Status Close();

 private:
  explicit GifWriter(GifFileType* gif) : handle_(gif) {}
  std::unique_ptr<GifFileType, GifWriteCloser> handle_;
};

/// EGifPutImageDesc without its leak: giflib forgets (without freeing) the local colour map
/// of the previous image when the next image has none. Returns what EGifPutImageDesc does.
int PutGifImageDesc(GifFileType* gif, int left, int top, int width, int height, bool interlace,
                    const ColorMapObject* color_map);

/// giflib's text for an error code, or nothing for a code it does not know.
const char* GifErrorText(int code);

/// Sends giflib's error line for `code` to the detail sink: "GIF-LIB error: TEXT.", or
/// "GIF-LIB undefined error CODE." for a code without text.
void PrintGifError(int code);

}  // namespace pix
