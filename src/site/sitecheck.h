// Checking a generated site as a visitor's browser would meet it, and against its record.
//
// Each finding is one line, "PATH: what is wrong" (PATH relative to the site, with
// ":LINE" when a place in a page is meant):
// - a link or image source of a page that leads to no file;
// - a page a browser has to repair (see htmlpage.h), or that does not say its language;
// - an image without alt text;
// - an output the record lists that is missing, or whose picture changed since it was made
//   (its recipe is stale);
// - a file the record lists that was changed by hand since the run wrote it;
// - a published file that carries a GPS position.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/status.h"

namespace pix {

/// The findings of a check of the site at `site`, sorted by path. Fails only when the site
/// has no record that can be read.
Result<std::vector<std::string>> CheckSite(const std::filesystem::path& site);

}  // namespace pix
