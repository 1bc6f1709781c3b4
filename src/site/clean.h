// Undoing what runs wrote into a site: every file the record says a run wrote and that
// still holds what was written is removed, then the folders runs made once they are empty,
// then the record itself. A file changed since (a page edited by hand, an image replaced)
// is the user's now and stays, and is named. A user's picture a run rewrote in place (an
// interlaced GIF put in line order) gets the bytes back that the record kept of it. Nothing
// else is touched, so the user's pictures, captions and pages come out as they were before
// the first run.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/status.h"

namespace pix {

class Diagnostics;

struct CleanStats {
  int removed = 0;         ///< Files removed (or that would be, on a dry run).
  int folders_removed = 0;  ///< Folders removed.
  int kept = 0;            ///< Files kept because they changed since a run wrote them.
  int restored = 0;        ///< Users' pictures a run rewrote, given back as they were.
};

/// Cleans the site at `site`. "remove PATH" and "restore PATH" lines go to `listing` on a
/// dry run, which changes nothing. Each kept file is one notice "kept PATH: WHY" to
/// `diagnostics`, a picture that cannot be given back one problem. Fails when another run
/// holds the site or a file cannot be removed.
Result<CleanStats> CleanSite(const std::filesystem::path& site, bool dry_run,
                             std::ostream& listing, Diagnostics& diagnostics);

}  // namespace pix
