#include "picture/comwrite.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/check.h"
#include "base/diagnostics.h"
#include "base/safereplace.h"
#include "files/utils.h"
#include "picture/comread.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

constexpr std::uint8_t kMarkerSoi = 0xD8;
constexpr std::uint8_t kMarkerEoi = 0xD9;
constexpr std::uint8_t kMarkerSos = 0xDA;
constexpr std::uint8_t kMarkerCom = 0xFE;

bool IsFrameHeaderMarker(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText() { return std::strerror(errno); }

// Streams `in` through a comment filter into `out`. Fails when the filter rejects the
// input, when the input ends before the segment could be placed, or on any read or write
// error.
Status CopyWithComment(std::FILE* in, std::FILE* out, std::string_view text,
                       const fs::path& inName) {
  TWriteComObject filter(text);
  std::uint64_t TotalBytesWritten = 0;
  std::uint8_t buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    std::size_t i = 0;
    // Before the insertion every byte is examined; afterwards the rest is copied as is.
    for (; i < got && !filter.IsCommentInserted(); ++i) {
      TByteView view;
      if (!filter.FilterByte(buffer[i], &view)) {
        return Status::Corrupt(inName.string() + " is not a JPEG file a comment can be placed in");
      }
      if (view.Size > 0 && std::fwrite(view.Data, 1, view.Size, out) != view.Size) {
        return Status::IoError("Cannot write the copy of " + inName.string() + ": " + ErrnoText());
      }
      TotalBytesWritten += view.Size;
    }
    if (i < got) {
      if (std::fwrite(buffer + i, 1, got - i, out) != got - i) {
        return Status::IoError("Cannot write the copy of " + inName.string() + ": " + ErrnoText());
      }
      TotalBytesWritten += got - i;
    }
  }
  if (std::ferror(in)) return Status::IoError("Cannot read " + inName.string());
  if (TotalBytesWritten == 0) return Status::Corrupt(inName.string() + " is empty");
  if (!filter.IsCommentInserted()) {
    return Status::Corrupt(inName.string() +
                           " ends before its frame header; the comment was not written");
  }
  return Status::OK();
}

}  // namespace

TWriteComObject::TWriteComObject(std::string_view szInitComments) {
  PIX_CHECK(szInitComments.size() <= kMaxComSegmentText);
  const std::size_t length = szInitComments.size() + 2;
  ComSegmentImage.reserve(szInitComments.size() + 5);
  ComSegmentImage.push_back(kMarkerCom);
  ComSegmentImage.push_back(static_cast<std::uint8_t>(length >> 8));
  ComSegmentImage.push_back(static_cast<std::uint8_t>(length & 0xFF));
  ComSegmentImage.insert(ComSegmentImage.end(), szInitComments.begin(), szInitComments.end());
  ComSegmentImage.push_back(0xFF);
  ComSegmentImage.push_back(0);  // The marker code, filled in when the segment is placed.
}

bool TWriteComObject::FilterByte(std::uint8_t Byte, TByteView* Output) {
  PIX_CHECK(!IsError);
  CurrentByte = Byte;
  OutputView = TByteView{&CurrentByte, 1};
  if (!bCommentInserted) FilterStep();
  if (IsError) {
    OutputView = TByteView{};
    ReportDetail("Error at file offset: " + std::to_string(FileOffset));
  }
  ++FileOffset;
  *Output = OutputView;
  return !IsError;
}

void TWriteComObject::SetError(const char* why) {
  if (why != nullptr) {
    ReportDetail(why);
  }
  IsError = true;
}

void TWriteComObject::FilterStep() {
  const std::uint8_t b = CurrentByte;
  if ((FileOffset == 0 && b != 0xFF) || (FileOffset == 1 && b != kMarkerSoi)) {
    SetError(nullptr);  // The input does not start with SOI.
  } else if (bLengthHighNext) {
    SegmentLength = b * 256;
    bLengthHighNext = false;
    bLengthLowNext = true;
  } else if (bLengthLowNext) {
    SegmentLength += b;
    bLengthLowNext = false;
    if (SegmentLength < 2) {
      SetError("Erroneous JPEG marker length");
    } else if (bCopySegment) {
      CopyCount = SegmentLength - 2;
      bCopySegment = CopyCount > 0;
    }
  } else if (CopyCount > 0) {
    if (--CopyCount == 0) bCopySegment = false;
  } else if (bPreviousWasFF && b != 0xFF) {
    ActOnMarker();
    bPreviousWasFF = false;
  } else {
    bPreviousWasFF = b == 0xFF;  // 0xFF fill bytes before a marker code are copied.
  }
}

void TWriteComObject::ActOnMarker() {
  const std::uint8_t code = CurrentByte;
  if (code == kMarkerSoi) return;
  if (IsFrameHeaderMarker(code) || code == kMarkerEoi) {
    ComSegmentImage.back() = code;
    OutputView = TByteView{ComSegmentImage.data(), ComSegmentImage.size()};
    bCommentInserted = true;
  } else if (code == kMarkerSos) {
    SetError("SOS without prior SOFn");
  } else {
    // Every other segment, an existing comment too, is copied by its length, so that the
    // new segment can never land inside an old one.
    bCopySegment = true;
    bLengthHighNext = true;
  }
}

Status WriteJpegComment(const fs::path& szInFile, const fs::path& szOutFile,
                        std::string_view szComments) {
  if (szComments.size() > kMaxComSegmentText) {
    return Status::TooLarge("The comment for " + szOutFile.string() + " is " +
                            std::to_string(szComments.size()) +
                            " bytes long; a JPEG comment segment holds at most " +
                            std::to_string(kMaxComSegmentText) + " bytes");
  }
  // The output is judged first, so that a file the user protected is refused whatever it
  // holds; a link is written through, since its target is the picture the user named.
  Result<TUserFileTarget> target = CheckUserFileRewrite(szOutFile, TSymlinkRule::kWriteThrough);
  if (!target.ok()) return target.status();
  // Only a regular file is opened: a named pipe or a device would make the read wait.
  Status regular = RequireRegularFile(szInFile);
  if (!regular.ok()) return regular;
  TFilePtr in(std::fopen(szInFile.c_str(), "rb"));
  if (!in) return Status::NotFound("Cannot open " + szInFile.string() + ": " + ErrnoText());

  const auto write = [&](std::FILE* out) {
    return CopyWithComment(in.get(), out, szComments, szInFile);
  };
  // The copy must read back with the new text and the frame size of the original, which
  // is still in place while the copy is checked.
  const auto check = [&](const fs::path& newFile) {
    TFileImageInfo before;
    before.szFileName = szInFile.string();
    ReadJpegImageInfoCountingErrors(&before);
    const std::string expected = FilterCommentText(szComments);
    TFileImageInfo after;
    after.szFileName = newFile.string();
    ReadJpegImageInfoCountingErrors(&after);
    if (after.Width != before.Width || after.Height != before.Height ||
        after.szComments != expected) {
      return Status::Corrupt("The comment written into " + target->Name +
                             " does not read back as written (another comment segment may "
                             "follow its frame header); the file is left unchanged");
    }
    return Status::OK();
  };
  return ReplaceUserFileSafely(*target, write, check);
}

Status WriteJpegCommentInPlace(const fs::path& path, std::string_view szComments) {
  return WriteJpegComment(path, path, szComments);
}

}  // namespace pix
