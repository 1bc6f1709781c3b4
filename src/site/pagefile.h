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

class TPageFile {
 public:
  /// Starts a new version of the page at `path`, where the site's record found `claim`
  /// (`recorded` is what it holds of the page). Refused, leaving everything as it is, when
  /// the file there is the user's.
  static Result<std::unique_ptr<TPageFile>> Create(const std::filesystem::path& path,
                                                   const TClaimResult& claim,
                                                   const std::optional<TRecordedOutput>& recorded);

  /// Sets the hook called with the finished new version just before it replaces the old.
  void SetBeforeReplace(BeforeReplace beforeReplace) { before_replace_ = std::move(beforeReplace); }

  /// The stream to write the page to. Write errors are collected and reported by Close.
  std::ostream& Stream() { return Stream_; }

  /// Finishes the page: puts it in place of the old one, or leaves the old one untouched
  /// when it already holds exactly these bytes.
  Status Close();

  /// After a successful Close: false when the old page was left as it was.
  bool Written() const { return bWritten; }

  /// After a successful Close: the digest of the page's bytes, and the page file's stamp
  /// (none when it could not be looked at).
  const TDigest& Content() const { return Content_; }
  const std::optional<TFileStamp>& Stamp() const { return Stamp_; }

  ~TPageFile();  // Abandons an unfinished page, leaving the old one.
  TPageFile(const TPageFile&) = delete;
  TPageFile& operator=(const TPageFile&) = delete;

 private:
  // Collects the page's bytes and hands them to the page file a buffer at a time.
  class PageBuf : public std::streambuf {
   public:
    explicit PageBuf(TPageFile& page);

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    TPageFile& Page;  // Owns this buffer.
    std::vector<char> Buffer;
  };

  TPageFile(std::filesystem::path path, int oldFd, std::uint64_t oldSize,
            const TFileStamp& oldStamp);
  explicit TPageFile(TempFileBeside temp);
  TPageFile(std::filesystem::path path, const TRecordedOutput& known);

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

  std::filesystem::path Path_;
  std::optional<TempFileBeside> Temp_;  // The new version, once it differs.
  int OldFd = -1;                        // The old page while the new bytes match it.
  std::uint64_t OldSize = 0;
  std::uint64_t Matched = 0;      // How many leading bytes of the old page were matched.
  std::vector<char> OldPiece;     // The piece of the old page being compared.
  std::size_t OldPieceUsed = 0;   // How many bytes of OldPiece were matched.
  bool bFailed = false;
  bool bWritten = false;
  std::optional<TRecordedOutput> Known;  // The page as recorded, when its file is that one.
  std::string Held;                      // With Known: the new bytes, until they differ.
  TFileStamp OldStamp;
  TDigester Digester;                    // Of every new byte.
  BeforeReplace before_replace_;
  TDigest Content_;
  std::optional<TFileStamp> Stamp_;
  PageBuf Buffer_;
  std::ostream Stream_;
};

}  // namespace pix
