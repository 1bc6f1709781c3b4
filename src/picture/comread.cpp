#include "picture/comread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "base/diagnostics.h"

namespace pix {
namespace {

constexpr int kEndOfFile = EOF;

// Marker codes the walk acts on.
constexpr int kMarkerSoi = 0xD8;
constexpr int kMarkerEoi = 0xD9;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerCom = 0xFE;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerApp13 = 0xED;

// The numbers that tell, in an error line, which step of the walk found the problem.
enum ErrorPlace {
  kPlaceReadPastEnd = 10,
  kPlaceTestedByte = 11,
  kPlaceValueHighByte = 12,
  kPlaceValueLowByte = 13,
  kPlaceNotJpeg = 20,
  kPlaceNoSoi = 21,
  kPlaceSkipLength = 30,
  kPlaceCommentLength = 31,
  kPlaceFrameLength = 40,
};

// Frame header markers SOF0 to SOF15, except DHT (C4), JPG (C8) and DAC (CC), which share
// the range but carry no frame size.
bool IsFrameHeaderMarker(int code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Reads a file a buffer at a time through its descriptor, knowing where it is, so that the
// walk costs one read for the usual header and seeks only over segments that pass the
// buffer.
class TByteReader {
 public:
  explicit TByteReader(int fd) : Fd(fd), Buffer(kBufferSize) {}

  // The next byte, or kEndOfFile at the end of the file or on an error.
  int Next() {
    if (Used == Filled && !Fill()) return EOF;
    return Buffer[Used++];
  }

  // The file position of the next byte.
  long long Position() const { return Start + static_cast<long long>(Used); }

  // True when at least `count` more bytes follow the current position.
  bool Holds(long count) {
    if (static_cast<std::size_t>(count) <= Filled - Used) return true;
    if (FileSize < 0) {
      struct stat status;
      FileSize = ::fstat(Fd, &status) == 0 && S_ISREG(status.st_mode)
                     ? static_cast<long long>(status.st_size)
                     : 0;
    }
    return Start + static_cast<long long>(Used) + count <= FileSize;
  }

  // Copies the next `count` bytes, which the file holds (see Holds), to `out`. False when
  // the file turns out shorter after all.
  bool Read(char* out, std::size_t count) {
    while (count > 0) {
      if (Used == Filled && !Fill()) return false;
      const std::size_t part = std::min(count, Filled - Used);
      std::memcpy(out, Buffer.data() + Used, part);
      Used += part;
      out += part;
      count -= part;
    }
    return true;
  }

  // Moves `count` bytes on, which the file holds (see Holds). False when the seek fails.
  bool Skip(long count) {
    const std::size_t left = Filled - Used;
    if (static_cast<std::size_t>(count) <= left) {
      Used += static_cast<std::size_t>(count);
      return true;
    }
    const long long target = Start + static_cast<long long>(Used) + count;
    if (::lseek(Fd, static_cast<off_t>(target), SEEK_SET) < 0) return false;
    Start = target;
    Used = Filled = 0;
    return true;
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  bool Fill() {
    Start += static_cast<long long>(Filled);
    Used = Filled = 0;
    const ssize_t got = ::read(Fd, Buffer.data(), Buffer.size());
    if (got <= 0) return false;
    Filled = static_cast<std::size_t>(got);
    return true;
  }

  int Fd;                 // Owned by the caller; open for the life of the walk.
  std::vector<unsigned char> Buffer;
  std::size_t Used = 0;    // Bytes of Buffer already handed out.
  std::size_t Filled = 0;  // Bytes of Buffer read from the file.
  long long Start = 0;     // The file position of Buffer[0].
  long long FileSize = -1;  // Read when first needed.
};

struct FdCloser {
  void operator()(const int* fd) const { ::close(*fd); }
};

// The state of one walk over one file. Every read goes through the three byte-reading steps
// below; once an error has been reported the file is not touched again, and every loop of
// the walk tests the error count, so a damaged file ends the walk at its first problem.
class TJpegHeaderWalk {
 public:
  TJpegHeaderWalk(int fd, TFileImageInfo& info, TJpegHeaderMap* map)
      : Reader(fd), Info(info), Map(map) {}

  void Run() {
    const int first = RawByte();
    const int second = RawByte();
    if (first != 0xFF || second != kMarkerSoi) {
      ReportError(kPlaceNotJpeg, "Not a JPEG file");
      if (second != kMarkerSoi) ReportError(kPlaceNoSoi, "Expected SOI marker first");
      return;
    }
    while (ErrorCount == 0) {
      const int code = NextMarker();
      if (IsFrameHeaderMarker(code)) {
        if (Map != nullptr && Map->FrameHeaderStart < 0 && ErrorCount == 0) {
          Map->FrameHeaderStart = MarkerStart();
        }
        ReadFrameHeader();
      } else if (code == kMarkerEoi || code == kMarkerSos) {
        break;
      } else if (code == kMarkerCom) {
        ReadComment();
      } else if ((code == kMarkerApp1 || code == kMarkerApp13) &&
                 Info.pMetadataSegments != nullptr) {
        ReadMetadataSegment(code);
      } else {
        SkipSegment();
      }
    }
    // The caption segment's text, or when no segment holds variable records the text of
    // the last one; a comment cut by an error leaves nothing.
    if (CaptionText) {
      Info.szComments = std::move(*CaptionText);
      if (Map != nullptr) Map->Caption = CaptionIndex;
    } else {
      Info.szComments = std::move(LastCommentText);
      if (Map != nullptr && !Info.szComments.empty()) Map->Caption = LastCommentIndex;
    }
  }

  int Errors() const { return ErrorCount; }

 private:
  void ReportError(int place, const char* message) {
    ++ErrorCount;
    ReportDetail("COMREAD(" + std::to_string(place) + "): <" + std::to_string(ErrorCount) + ">" +
                 message);
  }

  // The next byte (0 to 255) or end-of-file. After an error nothing more is read: the
  // attempt is itself reported and 0xFF stands in for the byte.
  int RawByte() {
    if (ErrorCount > 0) {
      ReportError(kPlaceReadPastEnd, "Attempt to read past end of file.");
      return 0xFF;
    }
    return Reader.Next();
  }

  // A byte that must be there.
  int TestedByte() {
    const int byte = RawByte();
    if (byte == kEndOfFile) ReportError(kPlaceTestedByte, "Premature EOF in JPEG file");
    return byte;
  }

  // The offset of the 0xFF right before the marker code just read.
  std::int64_t MarkerStart() { return static_cast<std::int64_t>(Reader.Position()) - 2; }

  // A big-endian two-byte value; 0xFF when it could not be read.
  int TwoByteValue() {
    const int high = RawByte();
    if (high == kEndOfFile) ReportError(kPlaceValueHighByte, "Premature EOF in JPEG file");
    if (ErrorCount > 0) return 0xFF;
    const int low = RawByte();
    if (low == kEndOfFile) ReportError(kPlaceValueLowByte, "Premature EOF in JPEG file");
    if (ErrorCount > 0) return 0xFF;
    return high * 256 + low;
  }

  // Passes over everything up to the next 0xFF, then over 0xFF fill bytes; returns the
  // marker code that follows (or what was read when the search ran into an error).
  int NextMarker() {
    int byte;
    do {
      byte = TestedByte();
    } while (byte != 0xFF && ErrorCount == 0);
    do {
      byte = TestedByte();
    } while (byte == 0xFF && ErrorCount == 0);
    return byte;
  }

  void ReadFrameHeader() {
    const int length = TwoByteValue();
    if (ErrorCount > 0) return;
    TestedByte();  // Sample precision; of no interest here.
    // A value that could not be read is never stored: 0xFF would pass for a real size.
    const int height = TwoByteValue();
    if (ErrorCount > 0) return;
    Info.Height = height;
    const int width = TwoByteValue();
    if (ErrorCount > 0) return;
    Info.Width = width;
    const int components = TestedByte();
    if (length != 8 + 3 * components) ReportError(kPlaceFrameLength, "Bogus SOF marker length");
    for (int i = 0; i < components && ErrorCount == 0; ++i) {
      TestedByte();  // Component id.
      TestedByte();  // Sampling factors.
      TestedByte();  // Quantization table number.
    }
  }

  // The payload length of the segment whose marker was just read; -1 after an error.
  long SegmentLength() {
    const int length = TwoByteValue();
    if (ErrorCount > 0) return -1;
    if (length < 2) {
      ReportError(kPlaceSkipLength, "Erroneous JPEG marker length");
      return -1;
    }
    return length - 2;
  }

  // Segments that do not matter here can be large (camera makers' data, embedded previews,
  // megabytes of XMP): they are passed over without reading when the file holds them whole,
  // and read to the end otherwise, so that a cut file is reported as before.
  void SkipBytes(long left) {
    if (left > 0 && Reader.Holds(left) && Reader.Skip(left)) return;
    for (long remaining = left; remaining > 0 && ErrorCount == 0; --remaining) TestedByte();
  }

  void SkipSegment() {
    const long left = SegmentLength();
    if (left > 0) SkipBytes(left);
  }

  // An APP1 or APP13 segment, kept when it carries metadata the caller asked for.
  void ReadMetadataSegment(int code) {
    const long size = SegmentLength();
    if (size <= 0) return;
    if (!Reader.Holds(size)) {
      SkipBytes(size);  // Cut: reported as for any other segment.
      return;
    }
    std::string head(std::min<std::size_t>(static_cast<std::size_t>(size),
                                           kMetadataSignatureBytes),
                     '\0');
    std::size_t signature = 0;
    std::string* keep = nullptr;
    if (Reader.Read(head.data(), head.size())) {
      keep = MetadataSegmentKeeper(*Info.pMetadataSegments, code, head,
                                   static_cast<std::size_t>(size), &signature);
    } else {
      ReportError(kPlaceTestedByte, "Premature EOF in JPEG file");
      return;
    }
    const std::size_t rest = static_cast<std::size_t>(size) - head.size();
    if (keep == nullptr) {
      SkipBytes(static_cast<long>(rest));
      return;
    }
    const std::size_t start = keep->size();
    keep->append(head, signature);
    keep->resize(keep->size() + rest);
    if (!Reader.Read(keep->data() + keep->size() - rest, rest)) {
      keep->resize(start);  // A cut segment is not kept.
      ReportError(kPlaceTestedByte, "Premature EOF in JPEG file");
    }
  }

  // A later COM segment replaces the text of an earlier one of its kind: the last segment
  // holding variable records is the caption, and the last of all stands in when there is
  // none. The whole segment is consumed by its length even when the text is full, so that
  // bytes of a long comment are never taken for markers.
  void ReadComment() {
    const std::int64_t start = MarkerStart();
    const int errorsBefore = ErrorCount;
    const int length = TwoByteValue();
    if (ErrorCount == errorsBefore && length < 2) {
      ReportError(kPlaceCommentLength, "Erroneous JPEG marker length");
    }
    Filter.Reset();
    Raw.clear();
    bool storing = true;
    for (int left = length - 2; left > 0 && ErrorCount == 0; --left) {
      const int byte = TestedByte();
      if (byte == kEndOfFile) break;
      Raw += static_cast<char>(byte);
      if (storing) storing = Filter.Add(static_cast<std::uint8_t>(byte));
    }
    if (ErrorCount > errorsBefore) {
      CaptionText.reset();
      LastCommentText.clear();
      return;
    }
    const bool records = HoldsVariableRecords(Raw);
    const int index = Map != nullptr ? static_cast<int>(Map->Comments.size()) : -1;
    if (Map != nullptr) {
      Map->Comments.push_back(TJpegCommentSegment{
          start, static_cast<std::int64_t>(Reader.Position()), records});
    }
    std::string text = std::move(Filter).Finish();
    if (records) {
      CaptionText = text;
      CaptionIndex = index;
    }
    LastCommentText = std::move(text);
    LastCommentIndex = index;
  }

  TByteReader Reader;
  TFileImageInfo& Info;
  TJpegHeaderMap* Map;  // Filled when not null; owned by the caller.
  TCommentTextFilter Filter;
  std::string Raw;  // The bytes of the COM segment being read.
  std::optional<std::string> CaptionText;
  int CaptionIndex = -1;
  std::string LastCommentText;
  int LastCommentIndex = -1;
  int ErrorCount = 0;
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A text cut because it is full may end inside a UTF-8 character: a lead byte followed by
// fewer continuation bytes than it announces. That piece is dropped, so that the text ends
// with a whole character. Bytes that are not UTF-8 at all stay as they are.
void DropCutCharacter(std::string& text) {
  const auto isContinuation = [](unsigned char byte) { return (byte & 0xC0) == 0x80; };
  std::size_t start = text.size();
  std::size_t continuations = 0;
  while (start > 0 && continuations < 3 &&
         isContinuation(static_cast<unsigned char>(text[start - 1]))) {
    --start;
    ++continuations;
  }
  if (start == 0) return;
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  if (lead < 0xC2 || lead > 0xF4) return;  // Not the lead byte of a UTF-8 character.
  const std::size_t announced = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  if (continuations < announced) text.erase(start - 1);
}

}  // namespace

bool IsKeptCommentByte(std::uint8_t byte) {
  // Text is UTF-8, so every byte of a multi-byte character (0x80 to 0xFF) is kept as it is;
  // none of them can be taken for a line end of the variable records. Only the ASCII control
  // characters other than tab are dropped.
  return byte == '\t' || (byte >= 0x20 && byte != 0x7F);
}

void TCommentTextFilter::Reset() {
  Text.clear();
  FreePlaces = MAX_COMMENTS_LENGTH;
}

bool TCommentTextFilter::Add(std::uint8_t byte) {
  // Carriage returns, the other control characters and DEL are dropped wherever they come.
  if (byte != '\n' && !IsKeptCommentByte(byte)) return true;
  if (FreePlaces <= 5) {
    // Full: this byte and everything after it are lost, and so is a character the cut
    // leaves unfinished.
    DropCutCharacter(Text);
    return false;
  }
  if (byte == '\n') {
    Text += "\r\n";
    FreePlaces -= 2;
  } else {
    Text += static_cast<char>(byte);
    --FreePlaces;
  }
  return true;
}

std::string TCommentTextFilter::Finish() && {
  if (Text.empty() || Text.back() != '\n') Text += "\r\n";
  std::string done = std::move(Text);
  Reset();
  return done;
}

std::string FilterCommentText(std::string_view raw) {
  TCommentTextFilter filter;
  for (char c : raw) {
    if (!filter.Add(static_cast<std::uint8_t>(c))) break;
  }
  return std::move(filter).Finish();
}

bool HoldsVariableRecords(std::string_view raw) {
  std::size_t letters = 0;
  while (letters < raw.size() && IsAsciiLetter(raw[letters])) ++letters;
  if (letters < 2 || letters >= raw.size() || raw[letters] != ':') return false;
  const std::string_view afterName = raw.substr(letters + 1);
  if (afterName.substr(0, 1) != "\n" && afterName.substr(0, 2) != "\r\n") return false;
  return EndsWith(raw, "\n\n") || EndsWith(raw, "\n\r\n");
}

int TJpegHeaderMap::RecordSegmentCount() const {
  int count = 0;
  for (const TJpegCommentSegment& segment : Comments) count += segment.bHoldsRecords ? 1 : 0;
  return count;
}

std::string JpegCorruptMessage(std::string_view fileName) {
  return "JPEG file " + std::string(fileName) + " is corrupt";
}

int ReadJpegHeaderMap(TFileImageInfo* FileImageInfo, TJpegHeaderMap* map) {
  TFileImageInfo& info = *FileImageInfo;
  if (map != nullptr) *map = TJpegHeaderMap();
  info.Width = 0;
  info.Height = 0;
  info.szComments.clear();
  info.OpenError = 0;
  info.bMissing = false;
  // With O_NONBLOCK a named pipe in a picture's place reads as empty rather than waiting
  // for a writer that never comes.
  const int fd = ::open(info.szFileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    info.OpenError = errno;
    info.bMissing = errno == ENOENT;
    ReportDetail(std::string("COMREAD: ") + std::strerror(info.OpenError));
    return 1;
  }
  const std::unique_ptr<const int, FdCloser> closer(&fd);
  TJpegHeaderWalk walk(fd, info, map);
  walk.Run();
  return walk.Errors();
}

int ReadJpegImageInfoCountingErrors(TFileImageInfo* FileImageInfo) {
  return ReadJpegHeaderMap(FileImageInfo, nullptr);
}

int ReadJpegImageInfo(TFileImageInfo* FileImageInfo) {
  ReadJpegImageInfoCountingErrors(FileImageInfo);
  return 1;
}

}  // namespace pix
