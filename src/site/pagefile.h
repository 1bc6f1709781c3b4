// An output page: a stream that writes a new page beside the old one and replaces it only
// when the page is complete, so that a reader never sees half a page and a page that
// cannot be finished leaves the old one in place.
//
// A page whose bytes are those of the old page is not written at all: while the new bytes
// match the old file, read a piece at a time as they come, nothing is written; at the first
// difference the new version is started beside the old one (with the matching start copied
// from the old file) and the rest streams into it. So a run that changes nothing leaves
// every page, and its time, as it was, and upload tools see nothing new.
//
// A page the site's record knows (site/siterecord.h) whose file is still the one recorded is
// not even read: the new bytes are held (they are no more than the old page's) and their
// digest compared with the recorded one. Every finished page gives its digest and stamp for
// the record.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <vector>

#include "base/safefile.h"
#include "base/status.h"
#include "site/siterecord.h"

namespace pix {

class PageFile {
 public:
  /// Starts a new version of the page at `path`, where the site's record found `claim`
  /// (`recorded` is what it holds of the page). Refused, leaving everything as it is, when
  /// the file there is the user's.
  static Result<std::unique_ptr<PageFile>> Create(const std::filesystem::path& path,
                                                   const ClaimResult& claim,
                                                   const std::optional<RecordedOutput>& recorded);

  /// Sets the hook called with the finished new version just before it replaces the old.
  void SetBeforeReplace(BeforeReplace before_replace) { before_replace_ = std::move(before_replace); }

  /// The stream to write the page to. Write errors are collected and reported by Close.
  std::ostream& Stream() { return stream_; }

  /// Finishes the page: puts it in place of the old one, or leaves the old one untouched
  /// when it already holds exactly these bytes.
  Status Close();

  /// After a successful Close: false when the old page was left as it was.
  bool Written() const { return written_; }

  /// After a successful Close: the digest of the page's bytes, and the page file's stamp
  /// (none when it could not be looked at).
  const Digest& Content() const { return content_; }
  const std::optional<FileStamp>& Stamp() const { return stamp_; }

  ~PageFile();  // Abandons an unfinished page, leaving the old one.
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

 private:
  // Collects the page's bytes and hands them to the page file a buffer at a time.
  class PageBuf : public std::streambuf {
   public:
    explicit PageBuf(PageFile& page);

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    PageFile& page_;  // Owns this buffer.
    std::vector<char> buffer_;
  };

  PageFile(std::filesystem::path path, int old_fd, std::uint64_t old_size,
            const FileStamp& old_stamp);
  explicit PageFile(TempFileBeside temp);
  PageFile(std::filesystem::path path, const RecordedOutput& known);

  // Starts the new version and writes the held bytes into it.
  bool WriteHeld();
  // Takes `count` new bytes: compared with the old page while they match, written to the
  // new version once they do not. False on a write error.
  bool Take(const char* data, std::size_t count);
  // The new bytes differ from the old page: starts the new version with the bytes that
  // matched so far, copied from the old file, and lets the old file go.
  bool Diverge();
  // Reads the next piece of the old page into OldPiece; false at its end or on an error.
  bool ReadOldPiece();
  void CloseOld();

  std::filesystem::path path_;
  std::optional<TempFileBeside> temp_;  // The new version, once it differs.
  int old_fd_ = -1;                        // The old page while the new bytes match it.
  std::uint64_t old_size_ = 0;
  std::uint64_t matched_ = 0;      // How many leading bytes of the old page were matched.
  std::vector<char> old_piece_;     // The piece of the old page being compared.
  std::size_t old_piece_used_ = 0;   // How many bytes of OldPiece were matched.
  bool failed_ = false;
  bool written_ = false;
  std::optional<RecordedOutput> known_;  // The page as recorded, when its file is that one.
  std::string held_;                      // With Known: the new bytes, until they differ.
  FileStamp old_stamp_;
  Digester digester_;                    // Of every new byte.
  BeforeReplace before_replace_;
  Digest content_;
  std::optional<FileStamp> stamp_;
  PageBuf buffer_;
  std::ostream stream_;
};

}  // namespace pix
