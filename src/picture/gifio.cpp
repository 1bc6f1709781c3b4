#include "picture/gifio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/diagnostics.h"

namespace pix {
namespace {

// giflib's output callback: everything goes to the caller's stream. Write errors are
// sticky on the stream and found when the caller closes it.
int WriteToStream(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::FILE*>(gif->UserData);
  return static_cast<int>(std::fwrite(data, 1, static_cast<std::size_t>(length), out));
}

int AppendToBuffer(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

// giflib's input callback for bytes in memory: at most what is left of them.
int ReadFromBytes(GifFileType* gif, GifByteType* data, int length) {
  auto* bytes = static_cast<GifBytes*>(gif->UserData);
  const std::size_t left = bytes->size - bytes->position;
  const std::size_t count = std::min(left, static_cast<std::size_t>(length < 0 ? 0 : length));
  if (count > 0) std::memcpy(data, bytes->data + bytes->position, count);
  bytes->position += count;
  return static_cast<int>(count);
}

// Starts a GIF87a stream on giflib's handle, or says why giflib could not.
Result<GifFileType*> StartWriting(void* user_data, OutputFunc output) {
  int error = 0;
  GifFileType* gif = EGifOpen(user_data, output, &error);
  if (gif == nullptr) {
    const char* text = GifErrorText(error);
    return Status::IoError(std::string("Cannot start a GIF file: ") +
                           (text != nullptr ? text : "unknown error"));
  }
  EGifSetGifVersion(gif, false);  // Written files are always GIF87a.
  return gif;
}

}  // namespace

void GifReadCloser::operator()(GifFileType* gif) const {
  int error = 0;
  DGifCloseFile(gif, &error);
}

void GifWriteCloser::operator()(GifFileType* gif) const {
  int error = 0;
  EGifCloseFile(gif, &error);
}

int PutGifImageDesc(GifFileType* gif, int left, int top, int width, int height, bool interlace,
                    const ColorMapObject* color_map) {
  if (color_map == nullptr && gif->Image.ColorMap != nullptr) {
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
  }
  return EGifPutImageDesc(gif, left, top, width, height, interlace, color_map);
}

const char* GifErrorText(int code) { return GifErrorString(code); }

void PrintGifError(int code) {
  const char* text = GifErrorText(code);
  if (text != nullptr) {
    ReportDetail(std::string("GIF-LIB error: ") + text + ".");
  } else {
    ReportDetail("GIF-LIB undefined error " + std::to_string(code) + ".");
  }
}

Result<GifReadHandle> OpenGifForReading(const std::filesystem::path& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) {
    if (error == D_GIF_ERR_OPEN_FAILED) {
      // Not the file's fault: it could not be opened (too many open files, no permission).
      return Status::IoError("Cannot open " + path.string() + ": " + std::strerror(errno));
    }
    const char* text = GifErrorText(error);
    return Status::Corrupt("Cannot read " + path.string() + " as a GIF file: " +
                           (text != nullptr ? text : "unknown error " + std::to_string(error)));
  }
  return GifReadHandle(gif);
}

Result<GifReadHandle> OpenGifInMemory(GifBytes* bytes) {
  int error = 0;
  GifFileType* gif = DGifOpen(bytes, ReadFromBytes, &error);
  if (gif == nullptr) {
    const char* text = GifErrorText(error);
    return Status::Corrupt(std::string("Cannot read GIF data: ") +
                           (text != nullptr ? text : "unknown error " + std::to_string(error)));
  }
  return GifReadHandle(gif);
}

Result<GifWriter> GifWriter::Open(std::FILE* out) {
  Result<GifFileType*> gif = StartWriting(out, WriteToStream);
  if (!gif.ok()) return gif.status();
  return GifWriter(*gif);
}

Result<GifWriter> GifWriter::OpenBuffer(std::vector<std::uint8_t>* out) {
  Result<GifFileType*> gif = StartWriting(out, AppendToBuffer);
  if (!gif.ok()) return gif.status();
  return GifWriter(*gif);
}

Status GifWriter::Close() {
  if (!handle_) return Status::OK();
  int error = 0;
  const int result = EGifCloseFile(handle_.release(), &error);
  if (result == GIF_ERROR) {
    PrintGifError(error);
    const char* text = GifErrorText(error);
    return Status::IoError(std::string("Cannot finish a GIF file: ") +
                           (text != nullptr ? text : "unknown error"));
  }
  return Status::OK();
}

}  // namespace pix
