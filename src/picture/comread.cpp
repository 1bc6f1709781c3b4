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
#include "files/utils.h"

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
class ByteReader {
 public:
  explicit ByteReader(int fd) : fd_(fd), buffer_(kBufferSize) {}

  // The next byte, or kEndOfFile at the end of the file or on an error.
  int Next() {
    if (used_ == filled_ && !Fill()) return EOF;
    return buffer_[used_++];
  }

  // The file position of the next byte.
  long long Position() const { return start_ + static_cast<long long>(used_); }

  // True when at least `count` more bytes follow the current position.
  bool Holds(long count) {
    if (static_cast<std::size_t>(count) <= filled_ - used_) return true;
    if (file_size_ < 0) {
      struct stat status;
      file_size_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)
                     ? static_cast<long long>(status.st_size)
                     : 0;
    }
    return start_ + static_cast<long long>(used_) + count <= file_size_;
  }

  // Copies the next `count` bytes, which the file holds (see Holds), to `out`. False when
  // the file turns out shorter after all.
  bool Read(char* out, std::size_t count) {
    while (count > 0) {
      if (used_ == filled_ && !Fill()) return false;
      const std::size_t part = std::min(count, filled_ - used_);
      std::memcpy(out, buffer_.data() + used_, part);
      used_ += part;
      out += part;
      count -= part;
    }
    return true;
  }

  // Moves `count` bytes on, which the file holds (see Holds). False when the seek fails.
  bool Skip(long count) {
    const std::size_t left = filled_ - used_;
    if (static_cast<std::size_t>(count) <= left) {
      used_ += static_cast<std::size_t>(count);
      return true;
    }
    const long long target = start_ + static_cast<long long>(used_) + count;
    if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0) return false;
    start_ = target;
    used_ = filled_ = 0;
    return true;
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  bool Fill() {
    start_ += static_cast<long long>(filled_);
    used_ = filled_ = 0;
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got <= 0) return false;
    filled_ = static_cast<std::size_t>(got);
    return true;
  }

  int fd_;                 // Owned by the caller; open for the life of the walk.
  std::vector<unsigned char> buffer_;
  std::size_t used_ = 0;    // Bytes of Buffer already handed out.
  std::size_t filled_ = 0;  // Bytes of Buffer read from the file.
  long long start_ = 0;     // The file position of Buffer[0].
  long long file_size_ = -1;  // Read when first needed.
};

struct FdCloser {
  void operator()(const int* fd) const { ::close(*fd); }
};

// The state of one walk over one file. Every read goes through the three byte-reading steps
// below; once an error has been reported the file is not touched again, and every loop of
// the walk tests the error count, so a damaged file ends the walk at its first problem.
class JpegHeaderWalk {
 public:
  JpegHeaderWalk(int fd, JpegHeader& info, JpegHeaderMap* map, JpegMetadataSegments* metadata)
      : reader_(fd), info_(info), map_(map), metadata_segments_(metadata) {}

  void Run() {
    const int first = RawByte();
    const int second = RawByte();
    if (first != 0xFF || second != kMarkerSoi) {
      ReportError(kPlaceNotJpeg, "Not a JPEG file");
      if (second != kMarkerSoi) ReportError(kPlaceNoSoi, "Expected SOI marker first");
      return;
    }
    while (error_count_ == 0) {
      const int code = NextMarker();
      if (IsFrameHeaderMarker(code)) {
        if (map_ != nullptr && map_->frame_header_start < 0 && error_count_ == 0) {
          map_->frame_header_start = MarkerStart();
        }
        ReadFrameHeader();
      } else if (code == kMarkerEoi || code == kMarkerSos) {
        break;
      } else if (code == kMarkerCom) {
        ReadComment();
      } else if ((code == kMarkerApp1 || code == kMarkerApp13) &&
                 metadata_segments_ != nullptr) {
        ReadMetadataSegment(code);
      } else {
        SkipSegment();
      }
    }
    // The caption segment's text, or when no segment holds variable records the text of
    // the last one; a comment cut by an error leaves nothing.
    if (caption_text_) {
      info_.comments = std::move(*caption_text_);
      if (map_ != nullptr) map_->caption = caption_index_;
    } else {
      info_.comments = std::move(last_comment_text_);
      if (map_ != nullptr && !info_.comments.empty()) map_->caption = last_comment_index_;
    }
  }

  int Errors() const { return error_count_; }

 private:
  void ReportError(int place, const char* message) {
    ++error_count_;
    ReportDetail("COMREAD(" + std::to_string(place) + "): <" + std::to_string(error_count_) + ">" +
                 message);
  }

  // The next byte (0 to 255) or end-of-file. After an error nothing more is read: the
  // attempt is itself reported and 0xFF stands in for the byte.
  int RawByte() {
    if (error_count_ > 0) {
      ReportError(kPlaceReadPastEnd, "Attempt to read past end of file.");
      return 0xFF;
    }
    return reader_.Next();
  }

  // A byte that must be there.
  int TestedByte() {
    const int byte = RawByte();
    if (byte == kEndOfFile) ReportError(kPlaceTestedByte, "Premature EOF in JPEG file");
    return byte;
  }

  // The offset of the 0xFF right before the marker code just read.
  std::int64_t MarkerStart() { return static_cast<std::int64_t>(reader_.Position()) - 2; }

  // A big-endian two-byte value; 0xFF when it could not be read.
  int TwoByteValue() {
    const int high = RawByte();
    if (high == kEndOfFile) ReportError(kPlaceValueHighByte, "Premature EOF in JPEG file");
    if (error_count_ > 0) return 0xFF;
    const int low = RawByte();
    if (low == kEndOfFile) ReportError(kPlaceValueLowByte, "Premature EOF in JPEG file");
    if (error_count_ > 0) return 0xFF;
    return high * 256 + low;
  }

  // Passes over everything up to the next 0xFF, then over 0xFF fill bytes; returns the
  // marker code that follows (or what was read when the search ran into an error).
  int NextMarker() {
    int byte;
    do {
      byte = TestedByte();
    } while (byte != 0xFF && error_count_ == 0);
    do {
      byte = TestedByte();
    } while (byte == 0xFF && error_count_ == 0);
    return byte;
  }

  void ReadFrameHeader() {
    const int length = TwoByteValue();
    if (error_count_ > 0) return;
    TestedByte();  // Sample precision; of no interest here.
    // A value that could not be read is never stored: 0xFF would pass for a real size.
    const int height = TwoByteValue();
    if (error_count_ > 0) return;
    info_.height = height;
    const int width = TwoByteValue();
    if (error_count_ > 0) return;
    info_.width = width;
    const int components = TestedByte();
    if (length != 8 + 3 * components) ReportError(kPlaceFrameLength, "Bogus SOF marker length");
    for (int i = 0; i < components && error_count_ == 0; ++i) {
      TestedByte();  // Component id.
      TestedByte();  // Sampling factors.
      TestedByte();  // Quantization table number.
    }
  }

  // The payload length of the segment whose marker was just read; -1 after an error.
  long SegmentLength() {
    const int length = TwoByteValue();
    if (error_count_ > 0) return -1;
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
    if (left > 0 && reader_.Holds(left) && reader_.Skip(left)) return;
    for (long remaining = left; remaining > 0 && error_count_ == 0; --remaining) TestedByte();
  }

  void SkipSegment() {
    const long left = SegmentLength();
    if (left > 0) SkipBytes(left);
  }

  // An APP1 or APP13 segment, kept when it carries metadata the caller asked for.
  void ReadMetadataSegment(int code) {
    const long size = SegmentLength();
    if (size <= 0) return;
    if (!reader_.Holds(size)) {
      SkipBytes(size);  // Cut: reported as for any other segment.
      return;
    }
    std::string head(std::min<std::size_t>(static_cast<std::size_t>(size),
                                           kMetadataSignatureBytes),
                     '\0');
    std::size_t signature = 0;
    std::string* keep = nullptr;
    if (reader_.Read(head.data(), head.size())) {
      keep = MetadataSegmentKeeper(*metadata_segments_, code, head,
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
    if (!reader_.Read(keep->data() + keep->size() - rest, rest)) {
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
    const int errors_before = error_count_;
    const int length = TwoByteValue();
    if (error_count_ == errors_before && length < 2) {
      ReportError(kPlaceCommentLength, "Erroneous JPEG marker length");
    }
    filter_.Reset();
    raw_.clear();
    bool storing = true;
    for (int left = length - 2; left > 0 && error_count_ == 0; --left) {
      const int byte = TestedByte();
      if (byte == kEndOfFile) break;
      raw_ += static_cast<char>(byte);
      if (storing) storing = filter_.Add(static_cast<std::uint8_t>(byte));
    }
    if (error_count_ > errors_before) {
      caption_text_.reset();
      last_comment_text_.clear();
      return;
    }
    const bool records = HoldsVariableRecords(raw_);
    const int index = map_ != nullptr ? static_cast<int>(map_->comments.size()) : -1;
    if (map_ != nullptr) {
      map_->comments.push_back(JpegCommentSegment{
          start, static_cast<std::int64_t>(reader_.Position()), records});
    }
    std::string text = std::move(filter_).Finish();
    if (records) {
      caption_text_ = text;
      caption_index_ = index;
    }
    last_comment_text_ = std::move(text);
    last_comment_index_ = index;
  }

  ByteReader reader_;
  JpegHeader& info_;
  JpegHeaderMap* map_;  // Filled when not null; owned by the caller.
  JpegMetadataSegments* metadata_segments_;  // Likewise.
  CommentTextFilter filter_;
  std::string raw_;  // The bytes of the COM segment being read.
  std::optional<std::string> caption_text_;
  int caption_index_ = -1;
  std::string last_comment_text_;
  int last_comment_index_ = -1;
  int error_count_ = 0;
};

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A text cut because it is full may end inside a UTF-8 character: a lead byte followed by
// fewer continuation bytes than it announces. That piece is dropped, so that the text ends
// with a whole character. Bytes that are not UTF-8 at all stay as they are.
void DropCutCharacter(std::string& text) {
  const auto is_continuation = [](unsigned char byte) { return (byte & 0xC0) == 0x80; };
  std::size_t start = text.size();
  std::size_t continuations = 0;
  while (start > 0 && continuations < 3 &&
         is_continuation(static_cast<unsigned char>(text[start - 1]))) {
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

void CommentTextFilter::Reset() {
  text_.clear();
  free_places_ = kMaxCommentsLength;
}

bool CommentTextFilter::Add(std::uint8_t byte) {
  // Carriage returns, the other control characters and DEL are dropped wherever they come.
  if (byte != '\n' && !IsKeptCommentByte(byte)) return true;
  if (free_places_ <= 5) {
    // Full: this byte and everything after it are lost, and so is a character the cut
    // leaves unfinished.
    DropCutCharacter(text_);
    return false;
  }
  if (byte == '\n') {
    text_ += "\r\n";
    free_places_ -= 2;
  } else {
    text_ += static_cast<char>(byte);
    --free_places_;
  }
  return true;
}

std::string CommentTextFilter::Finish() && {
  if (text_.empty() || text_.back() != '\n') text_ += "\r\n";
  std::string done = std::move(text_);
  Reset();
  return done;
}

std::string FilterCommentText(std::string_view raw) {
  CommentTextFilter filter;
  for (char c : raw) {
    if (!filter.Add(static_cast<std::uint8_t>(c))) break;
  }
  return std::move(filter).Finish();
}

bool HoldsVariableRecords(std::string_view raw) {
  std::size_t letters = 0;
  while (letters < raw.size() && IsAsciiLetter(raw[letters])) ++letters;
  if (letters < 2 || letters >= raw.size() || raw[letters] != ':') return false;
  const std::string_view after_name = raw.substr(letters + 1);
  if (after_name.substr(0, 1) != "\n" && after_name.substr(0, 2) != "\r\n") return false;
  return EndsWith(raw, "\n\n") || EndsWith(raw, "\n\r\n");
}

int JpegHeaderMap::RecordSegmentCount() const {
  int count = 0;
  for (const JpegCommentSegment& segment : comments) count += segment.holds_records ? 1 : 0;
  return count;
}

std::string JpegCorruptMessage(std::string_view file_name) {
  return "JPEG file " + std::string(file_name) + " is corrupt";
}

Result<JpegHeader> ReadJpegHeader(const std::string& file_name, JpegHeaderExtras extras) {
  if (extras.map != nullptr) *extras.map = JpegHeaderMap();
  // With O_NONBLOCK a named pipe in a picture's place reads as empty rather than waiting
  // for a writer that never comes.
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    ReportDetail(std::string("COMREAD: ") + std::strerror(error));
    std::string message = "Cannot open " + file_name + ": " + std::strerror(error);
    return error == ENOENT ? Status::NotFound(std::move(message))
                           : Status::IoError(std::move(message));
  }
  const std::unique_ptr<const int, FdCloser> closer(&fd);
  JpegHeader header;
  JpegHeaderWalk walk(fd, header, extras.map, extras.metadata_segments);
  walk.Run();
  header.error_count = walk.Errors();
  return header;
}

}  // namespace pix
