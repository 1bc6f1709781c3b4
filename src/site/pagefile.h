// An output page: a stream that writes a new page beside the old one and replaces it only
// when the page is complete, so that a reader never sees half a page and a page that
// cannot be finished leaves the old one in place.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <streambuf>

#include "base/safefile.h"
#include "base/status.h"

namespace pix {

class TPageFile {
 public:
  /// Starts a new version of the page at `path`. Refused, leaving everything as it is, when
  /// something other than a page this program wrote is there: a link, a folder or special
  /// file, or a page of the user's own (one that does not start with the program's comment).
  static Result<std::unique_ptr<TPageFile>> Create(const std::filesystem::path& path);

  /// The stream to write the page to. Write errors are collected and reported by Close.
  std::ostream& Stream() { return Stream_; }

  /// Finishes the page and puts it in place of the old one.
  Status Close();

  ~TPageFile();  // Abandons an unfinished page, leaving the old one.

 private:
  // A stream buffer over the temporary file's stdio stream, which already buffers.
  class FileBuf : public std::streambuf {
   public:
    explicit FileBuf(std::FILE* file) : File(file) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

   private:
    std::FILE* File;
  };

  explicit TPageFile(TTempFileBeside temp);

  TTempFileBeside Temp_;
  FileBuf Buffer_;
  std::ostream Stream_;
};

}  // namespace pix
