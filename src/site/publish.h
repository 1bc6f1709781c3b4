// Publishing a site: copying exactly the files a visitor needs (see sitecontents.h) to a
// folder or, through rsync, to a server.
//
// A folder destination is written here: a file is copied only when its digest differs
// from the one already there, each through a temporary file and a rename, so that a
// visitor never meets half a file. A destination "host:path" or "rsync://..." is handed
// to the rsync program found on the PATH, which compares and copies by itself; the files
// are offered to it as a tree of links in a temporary folder, so that it sees exactly the
// site's files and nothing else of the site directory. No network code is written here.
//
// With `delete_extra`, what the destination holds beyond the site's files is removed,
// except hidden files (a server's ".htaccess", ".well-known"), which are the server's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

class Diagnostics;
class Progress;

struct PublishOptions {
  bool dry_run = false;         ///< Only say what would be copied and removed.
  bool delete_extra = false;    ///< Remove what the destination holds beyond the site.
  bool with_originals = false;  ///< Publish linked originals that carry a GPS position.
};

struct PublishStats {
  int files = 0;      ///< Files the published site is made of.
  int copied = 0;     ///< Copied now (or that would be, on a dry run).
  int unchanged = 0;  ///< Already at the destination as they are.
  int removed = 0;    ///< Removed from the destination (or that would be).
  int withheld = 0;   ///< Originals left out because they carry a GPS position.
  std::uint64_t bytes = 0;         ///< Size of the published site.
  std::uint64_t bytes_copied = 0;  ///< Of the files copied (folder destinations only).
};

/// True for a destination rsync reaches over the network: "rsync://...", or "[user@]host:path"
/// with the colon before any "/".
bool IsRemoteDestination(std::string_view destination);

/// Publishes the site at `site` (which must have a record) to `destination`. On a dry run,
/// "copy PATH" and "delete PATH" lines go to `listing`. Originals with a GPS position are
/// reported to `diagnostics` one line each: as a problem when left out, as a notice when
/// published. Fails when the site has no record, the destination overlaps the site, or
/// the copy fails (a file that cannot be written, rsync missing or failing).
Result<PublishStats> PublishSite(const std::filesystem::path& site, const std::string& destination,
                                 const PublishOptions& options, Progress& progress,
                                 std::ostream& listing, Diagnostics& diagnostics);

}  // namespace pix
