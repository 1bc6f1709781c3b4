// An album's download: the web-sized copies (detail images) of a folder's pictures in one
// zip file, inline/FOLDER.zip, for a visitor who wants the whole album at once.
//
// The zip stores its members as they are (JPEG files do not get smaller by deflating) with
// a fixed time, so that the same members always give the same bytes, and a rerun equals a
// clean run. Whether it must be made again is decided by the site's record alone: its
// recipe names every member by name and by the digest the record holds of its bytes, so a
// member made again with other bytes remakes the zip, and a member only touched does not.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/status.h"
#include "site/siterecord.h"

namespace pix {

class WebSite;

/// One file of a zip.
struct ZipMember {
  std::filesystem::path path;  ///< Where its bytes are read from.
  std::string name;            ///< Its name inside the zip.
};

/// Writes a zip of `members` (stored, each with the same fixed time) at `target`, which
/// must not exist or may be replaced. Members are read while the zip is written, one at a
/// time, so that no member is held in memory whole.
Status WriteStoredZip(const std::filesystem::path& target, const std::vector<ZipMember>& members);

/// The names of the files inside the zip at `path`, in the zip's order.
Result<std::vector<std::string>> ListZipMembers(const std::filesystem::path& path);

/// One detail image of an album, as the record knows it.
struct AlbumMember {
  std::string path;  ///< Full path of the detail image.
  std::string name;  ///< Its file name, the member's name inside the zip.
};

/// How an album's zip was settled.
enum class AlbumZipState { kCurrent, kMade, kRefused };

/// Settles the zip at `zip_path` (full path) for `members`: kept when the record made it
/// from the same members and it is still as written; made (through a temporary file beside
/// it, noted in the record before it is put in place) when missing or stale; refused, with
/// `status` saying why, when the file there is the user's or the zip cannot be made.
AlbumZipState SettleAlbumZip(const WebSite& site, const std::string& zip_path,
                              const std::vector<AlbumMember>& members, Status& status);

}  // namespace pix
