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

Result<std::unique_ptr<TPageFile>> TPageFile::Create(const std::filesystem::path& path,
                                                     const TClaimResult& claim,
                                                     const std::optional<TRecordedOutput>& recorded) {
  std::unique_ptr<TPageFile> page;
  switch (claim.Claim) {
    case TClaim::kUsers:
      return Status::Refused(path.string() + " is kept as it is (" + claim.Why +
                             "); the page is not written");
    case TClaim::kAbsent: {
      Result<TempFileBeside> temp =
          TempFileBeside::Create(path, TempFileBeside::Durability::kUnsynced);
      if (!temp.ok()) return temp.status();
      page.reset(new TPageFile(std::move(temp).value()));
      break;
    }
    case TClaim::kOurs:
    case TClaim::kHandEdited:
      // A page still as recorded need not be read; the new bytes are held to be compared
      // with its digest, so only a page of moderate size is taken so.
      if (claim.StampMatched && recorded && recorded->Stamp.Size <= kKnownPageLimit) {
        page.reset(new TPageFile(path, *recorded));
        break;
      }
      // Not through a link, and without waiting on anything that is not a plain file.
      const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      struct stat info;
      if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) ::close(fd);
        return Status::Refused(path.string() + " is not a plain file; it is left as it is");
      }
      page.reset(new TPageFile(path, fd, static_cast<std::uint64_t>(info.st_size),
                               StampOf(info)));
      break;
  }
  return page;
}

TPageFile::TPageFile(std::filesystem::path path, int oldFd, std::uint64_t oldSize,
                     const TFileStamp& oldStamp)
    : Path_(std::move(path)),
      OldFd(oldFd),
      OldSize(oldSize),
      OldStamp(oldStamp),
      Buffer_(*this),
      Stream_(&Buffer_) {}

TPageFile::TPageFile(std::filesystem::path path, const TRecordedOutput& known)
    : Path_(std::move(path)),
      OldSize(known.Stamp.Size),
      Known(known),
      OldStamp(known.Stamp),
      Buffer_(*this),
      Stream_(&Buffer_) {}

TPageFile::TPageFile(TempFileBeside temp)
    : Path_(temp.TargetPath()), Temp_(std::move(temp)), Buffer_(*this), Stream_(&Buffer_) {}

TPageFile::~TPageFile() { CloseOld(); }

void TPageFile::CloseOld() {
  if (OldFd >= 0) ::close(OldFd);
  OldFd = -1;
}

bool TPageFile::ReadOldPiece() {
  if (OldFd < 0 || Matched >= OldSize) return false;
  OldPiece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(OldSize - Matched, kOldPieceSize)));
  const ssize_t got = ::read(OldFd, OldPiece.data(), OldPiece.size());
  OldPiece.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  OldPieceUsed = 0;
  return !OldPiece.empty();
}

bool TPageFile::Diverge() {
  Result<TempFileBeside> temp =
      TempFileBeside::Create(Path_, TempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) {
    CloseOld();
    return false;
  }
  Temp_.emplace(std::move(temp).value());
  // The matched start is copied from the old file rather than kept in memory, so that a
  // large index page costs no more memory than a small one.
  std::vector<char> copy(static_cast<std::size_t>(std::min<std::uint64_t>(Matched, kOldPieceSize)));
  for (std::uint64_t done = 0; done < Matched;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(Matched - done, copy.size()));
    const ssize_t got = ::pread(OldFd, copy.data(), want, static_cast<off_t>(done));
    if (got <= 0 || std::fwrite(copy.data(), 1, static_cast<std::size_t>(got), Temp_->File()) !=
                        static_cast<std::size_t>(got)) {
      CloseOld();
      return false;
    }
    done += static_cast<std::uint64_t>(got);
  }
  CloseOld();
  OldPiece = std::vector<char>();
  return true;
}

bool TPageFile::WriteHeld() {
  Result<TempFileBeside> temp =
      TempFileBeside::Create(Path_, TempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) return false;
  Temp_.emplace(std::move(temp).value());
  const bool written = std::fwrite(Held.data(), 1, Held.size(), Temp_->File()) == Held.size();
  Held = std::string();
  return written;
}

bool TPageFile::Take(const char* data, std::size_t count) {
  if (bFailed) return false;
  Digester.Add(std::string_view(data, count));
  if (Known && !Temp_) {
    Held.append(data, count);
    // Longer than the old page: it differs, whatever follows.
    if (Held.size() > OldSize && !WriteHeld()) bFailed = true;
    return !bFailed;
  }
  while (count > 0 && !Temp_) {
    if (OldPieceUsed == OldPiece.size() && !ReadOldPiece()) break;  // The new page is longer.
    const std::size_t span = std::min(count, OldPiece.size() - OldPieceUsed);
    const char* old = OldPiece.data() + OldPieceUsed;
    const std::size_t same =
        static_cast<std::size_t>(std::mismatch(data, data + span, old).first - data);
    Matched += same;
    OldPieceUsed += same;
    data += same;
    count -= same;
    if (same < span) break;  // The first difference.
  }
  if (count == 0) return true;
  if (!Temp_ && !Diverge()) {
    bFailed = true;
    return false;
  }
  if (std::fwrite(data, 1, count, Temp_->File()) != count) bFailed = true;
  return !bFailed;
}

Status TPageFile::Close() {
  Stream_.flush();
  if (!Stream_ || bFailed) {
    CloseOld();
    return Status::IoError("Cannot write " + Path_.string());
  }
  Content_ = Digester.Finish();
  if (Known && !Temp_) {
    if (Held.size() == OldSize && Content_ == Known->Content) {
      Stamp_ = Known->Stamp;
      return Status::OK();
    }
    if (!WriteHeld()) return Status::IoError("Cannot write " + Path_.string());
  }
  if (!Temp_) {
    if (Matched == OldSize) {  // Every byte matched and none is left over: nothing to do.
      CloseOld();
      Stamp_ = OldStamp;
      return Status::OK();
    }
    if (!Diverge()) return Status::IoError("Cannot write " + Path_.string());  // Shorter.
  }
  const Status committed = Temp_->Commit(before_replace_);
  bWritten = committed.ok();
  // Taken once the page is in place: the rename itself changes its change time.
  if (bWritten) Stamp_ = StampOfFile(Path_, false);
  return committed;
}

TPageFile::PageBuf::PageBuf(TPageFile& page) : Page(page), Buffer(kNewBufferSize) {
  setp(Buffer.data(), Buffer.data() + Buffer.size());
}

TPageFile::PageBuf::int_type TPageFile::PageBuf::overflow(int_type c) {
  if (sync() != 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int TPageFile::PageBuf::sync() {
  const std::size_t count = static_cast<std::size_t>(pptr() - pbase());
  setp(Buffer.data(), Buffer.data() + Buffer.size());
  return count == 0 || Page.Take(Buffer.data(), count) ? 0 : -1;
}

}  // namespace pix
