#include "site/pagefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/utils.h"

namespace pix {
namespace {

// How much of the old page is read at a time; a page smaller than this is read whole.
constexpr std::size_t kOldPieceSize = 64 * 1024;
// How much of the new page is collected before it is compared or written.
constexpr std::size_t kNewBufferSize = 16 * 1024;
// The largest recorded page whose new bytes are held to be compared with its digest.
constexpr std::uint64_t kKnownPageLimit = 4 * 1024 * 1024;

}  // namespace

Result<std::unique_ptr<PageFile>> PageFile::Create(const std::filesystem::path& path,
                                                     const ClaimResult& claim,
                                                     const std::optional<RecordedOutput>& recorded) {
  std::unique_ptr<PageFile> page;
  switch (claim.claim) {
    case Ownership::kUsers:
      return Status::Refused(path.string() + " is kept as it is (" + claim.why +
                             "); the page is not written");
    case Ownership::kAbsent: {
      Result<TempFileBeside> temp =
          TempFileBeside::Create(path, TempFileBeside::Durability::kUnsynced);
      if (!temp.ok()) return temp.status();
      page.reset(new PageFile(std::move(temp).value()));
      break;
    }
    case Ownership::kOurs:
    case Ownership::kHandEdited:
      // A page still as recorded need not be read; the new bytes are held to be compared
      // with its digest, so only a page of moderate size is taken so.
      if (claim.stamp_matched && recorded && recorded->stamp.size <= kKnownPageLimit) {
        page.reset(new PageFile(path, *recorded));
        break;
      }
      // Not through a link, and without waiting on anything that is not a plain file.
      const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      struct stat info;
      if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) ::close(fd);
        return Status::Refused(path.string() + " is not a plain file; it is left as it is");
      }
      page.reset(new PageFile(path, fd, static_cast<std::uint64_t>(info.st_size),
                               StampOf(info)));
      break;
  }
  return page;
}

PageFile::PageFile(std::filesystem::path path, int old_fd, std::uint64_t old_size,
                     const FileStamp& old_stamp)
    : path_(std::move(path)),
      old_fd_(old_fd),
      old_size_(old_size),
      old_stamp_(old_stamp),
      buffer_(*this),
      stream_(&buffer_) {}

PageFile::PageFile(std::filesystem::path path, const RecordedOutput& known)
    : path_(std::move(path)),
      old_size_(known.stamp.size),
      known_(known),
      old_stamp_(known.stamp),
      buffer_(*this),
      stream_(&buffer_) {}

PageFile::PageFile(TempFileBeside temp)
    : path_(temp.TargetPath()), temp_(std::move(temp)), buffer_(*this), stream_(&buffer_) {}

PageFile::~PageFile() { CloseOld(); }

void PageFile::CloseOld() {
  if (old_fd_ >= 0) ::close(old_fd_);
  old_fd_ = -1;
}

bool PageFile::ReadOldPiece() {
  if (old_fd_ < 0 || matched_ >= old_size_) return false;
  old_piece_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(old_size_ - matched_, kOldPieceSize)));
  const ssize_t got = ::read(old_fd_, old_piece_.data(), old_piece_.size());
  old_piece_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  old_piece_used_ = 0;
  return !old_piece_.empty();
}

bool PageFile::Diverge() {
  Result<TempFileBeside> temp =
      TempFileBeside::Create(path_, TempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) {
    CloseOld();
    return false;
  }
  temp_.emplace(std::move(temp).value());
  // The matched start is copied from the old file rather than kept in memory, so that a
  // large index page costs no more memory than a small one.
  std::vector<char> copy(static_cast<std::size_t>(std::min<std::uint64_t>(matched_, kOldPieceSize)));
  for (std::uint64_t done = 0; done < matched_;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(matched_ - done, copy.size()));
    const ssize_t got = ::pread(old_fd_, copy.data(), want, static_cast<off_t>(done));
    if (got <= 0 || std::fwrite(copy.data(), 1, static_cast<std::size_t>(got), temp_->File()) !=
                        static_cast<std::size_t>(got)) {
      CloseOld();
      return false;
    }
    done += static_cast<std::uint64_t>(got);
  }
  CloseOld();
  old_piece_ = std::vector<char>();
  return true;
}

bool PageFile::WriteHeld() {
  Result<TempFileBeside> temp =
      TempFileBeside::Create(path_, TempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) return false;
  temp_.emplace(std::move(temp).value());
  const bool written = std::fwrite(held_.data(), 1, held_.size(), temp_->File()) == held_.size();
  held_ = std::string();
  return written;
}

bool PageFile::Take(const char* data, std::size_t count) {
  if (failed_) return false;
  digester_.Add(std::string_view(data, count));
  if (known_ && !temp_) {
    held_.append(data, count);
    // Longer than the old page: it differs, whatever follows.
    if (held_.size() > old_size_ && !WriteHeld()) failed_ = true;
    return !failed_;
  }
  while (count > 0 && !temp_) {
    if (old_piece_used_ == old_piece_.size() && !ReadOldPiece()) break;  // The new page is longer.
    const std::size_t span = std::min(count, old_piece_.size() - old_piece_used_);
    const char* old = old_piece_.data() + old_piece_used_;
    const std::size_t same =
        static_cast<std::size_t>(std::mismatch(data, data + span, old).first - data);
    matched_ += same;
    old_piece_used_ += same;
    data += same;
    count -= same;
    if (same < span) break;  // The first difference.
  }
  if (count == 0) return true;
  if (!temp_ && !Diverge()) {
    failed_ = true;
    return false;
  }
  if (std::fwrite(data, 1, count, temp_->File()) != count) failed_ = true;
  return !failed_;
}

Status PageFile::Close() {
  stream_.flush();
  if (!stream_ || failed_) {
    CloseOld();
    return Status::IoError("Cannot write " + path_.string());
  }
  content_ = digester_.Finish();
  if (known_ && !temp_) {
    if (held_.size() == old_size_ && content_ == known_->content) {
      stamp_ = known_->stamp;
      return Status::OK();
    }
    if (!WriteHeld()) return Status::IoError("Cannot write " + path_.string());
  }
  if (!temp_) {
    if (matched_ == old_size_) {  // Every byte matched and none is left over: nothing to do.
      CloseOld();
      stamp_ = old_stamp_;
      return Status::OK();
    }
    if (!Diverge()) return Status::IoError("Cannot write " + path_.string());  // Shorter.
  }
  const Status committed = temp_->Commit(before_replace_);
  written_ = committed.ok();
  // Taken once the page is in place: the rename itself changes its change time.
  if (written_) stamp_ = StampOfFile(path_, false);
  return committed;
}

PageFile::PageBuf::PageBuf(PageFile& page) : page_(page), buffer_(kNewBufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

PageFile::PageBuf::int_type PageFile::PageBuf::overflow(int_type c) {
  if (sync() != 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int PageFile::PageBuf::sync() {
  const std::size_t count = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return count == 0 || page_.Take(buffer_.data(), count) ? 0 : -1;
}

}  // namespace pix
