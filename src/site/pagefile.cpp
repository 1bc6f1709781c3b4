#include "site/pagefile.h"

#include <sys/stat.h>

#include "files/utils.h"

namespace pix {

Result<std::unique_ptr<TPageFile>> TPageFile::Create(const std::filesystem::path& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      return Status::InvalidArgument(path.string() +
                                     " is a link; a page is never written through a link");
    }
    if (!S_ISREG(info.st_mode)) {
      return Status::InvalidArgument(path.string() + " is not a plain file; it is left as it is");
    }
    if (!IsPageOfThisProgram(path)) {
      return Status::InvalidArgument(path.string() +
                                     " is a page Pixamond did not write; it is left as it is");
    }
  }
  Result<TTempFileBeside> temp =
      TTempFileBeside::Create(path, TTempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) return temp.status();
  return std::unique_ptr<TPageFile>(new TPageFile(std::move(temp).value()));
}

TPageFile::TPageFile(TTempFileBeside temp)
    : Temp_(std::move(temp)), Buffer_(Temp_.File()), Stream_(&Buffer_) {}

TPageFile::~TPageFile() = default;

Status TPageFile::Close() {
  if (!Stream_) {
    return Status::IoError("Cannot write " + Temp_.TargetPath().string());
  }
  return Temp_.Commit();
}

TPageFile::FileBuf::int_type TPageFile::FileBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  return std::fputc(c, File) == EOF ? traits_type::eof() : c;
}

std::streamsize TPageFile::FileBuf::xsputn(const char* data, std::streamsize count) {
  if (count <= 0) return 0;
  return static_cast<std::streamsize>(std::fwrite(data, 1, static_cast<std::size_t>(count), File));
}

}  // namespace pix
