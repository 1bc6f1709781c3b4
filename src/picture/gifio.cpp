#include "picture/gifio.h"

#include "base/diagnostics.h"

namespace pix {
namespace {

// giflib's output callback: everything goes to the caller's stream. Write errors are
// sticky on the stream and found when the caller closes it.
int WriteToStream(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::FILE*>(gif->UserData);
  return static_cast<int>(std::fwrite(data, 1, static_cast<std::size_t>(length), out));
}

}  // namespace

void TGifReadCloser::operator()(GifFileType* gif) const {
  int error = 0;
  DGifCloseFile(gif, &error);
}

void TGifWriteCloser::operator()(GifFileType* gif) const {
  int error = 0;
  EGifCloseFile(gif, &error);
}

int PutGifImageDesc(GifFileType* gif, int left, int top, int width, int height, bool interlace,
                    const ColorMapObject* colorMap) {
  if (colorMap == nullptr && gif->Image.ColorMap != nullptr) {
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
  }
  return EGifPutImageDesc(gif, left, top, width, height, interlace, colorMap);
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

Result<TGifReadHandle> OpenGifForReading(const std::filesystem::path& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) {
    const char* text = GifErrorText(error);
    return Status::Corrupt("Cannot read " + path.string() + " as a GIF file: " +
                           (text != nullptr ? text : "unknown error " + std::to_string(error)));
  }
  return TGifReadHandle(gif);
}

Result<TGifWriter> TGifWriter::Open(std::FILE* out) {
  int error = 0;
  GifFileType* gif = EGifOpen(out, WriteToStream, &error);
  if (gif == nullptr) {
    const char* text = GifErrorText(error);
    return Status::IoError(std::string("Cannot start a GIF file: ") +
                           (text != nullptr ? text : "unknown error"));
  }
  EGifSetGifVersion(gif, false);  // Written files are always GIF87a.
  return TGifWriter(gif);
}

Status TGifWriter::Close() {
  if (!Handle) return Status::OK();
  int error = 0;
  const int result = EGifCloseFile(Handle.release(), &error);
  if (result == GIF_ERROR) {
    PrintGifError(error);
    const char* text = GifErrorText(error);
    return Status::IoError(std::string("Cannot finish a GIF file: ") +
                           (text != nullptr ? text : "unknown error"));
  }
  return Status::OK();
}

}  // namespace pix
