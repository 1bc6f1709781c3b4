#include "base/safereplace.h"

#include <system_error>

namespace pix {

Status ReplaceFileSafely(const std::filesystem::path& target, const TWriteNewFile& write,
                         const TCheckNewFile& check, TTempFileBeside::Durability durability) {
  // The temporary file removes itself on every early return below.
  Result<TTempFileBeside> temp = TTempFileBeside::Create(target, durability);
  if (!temp.ok()) return temp.status();
  Status written = write(temp->File());
  if (!written.ok()) return written;
  Status closed = temp->Close();
  if (!closed.ok()) return closed;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(temp->TempPath(), error);
  if (error || size == 0) {
    return Status::IoError("The new version of " + target.string() +
                           " came out empty; the old file is kept");
  }
  if (check) {
    Status checked = check(temp->TempPath());
    if (!checked.ok()) return checked;
  }
  return temp->Commit();
}

}  // namespace pix
