// What a site is made of, as a visitor sees it: the files its record says a run wrote
// (pages, inline and detail images), and the files its pages link to that no run wrote (a
// stylesheet, a download, a picture shown whole). Publishing copies exactly these; the
// check reads them.
//
// Never part of it: anything hidden (the record, markers, temporary files), caption and
// variable files (".txt"), files that nothing links and no run wrote, and anything
// outside the site.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "site/htmlpage.h"

namespace pix {

class SiteRecord;

/// One file of the site.
struct SiteFile {
  std::string path;          ///< Relative to the site: "trip/inline/a.jpg".
  bool written_by_run = false;  ///< In the record; otherwise a file a page links to.
  bool original = false;     ///< A picture of the user's that a page links to.
  bool carries_gps = false;  ///< A JPEG file whose EXIF data say where it was taken.
};

/// Called with each page of the site, as read, by its path relative to the site.
using PageVisitor = std::function<void(const std::string& page_path, const HtmlPage& page)>;

/// The files of the site at `site` by its `record`, sorted by path. Recorded files that are
/// missing or no longer plain files are left out (the check names them). `visit_page`, when
/// set, sees each page as it is read.
std::vector<SiteFile> CollectSiteFiles(const std::filesystem::path& site, const SiteRecord& record,
                                       const PageVisitor& visit_page = {});

/// True for a path (relative to the site) that is never published: something hidden at any
/// level, or a caption or variable file.
bool IsNeverPublished(const std::string& path);

/// True when the JPEG file at `path` carries a GPS position in its EXIF data.
bool FileCarriesGpsPosition(const std::filesystem::path& path);

}  // namespace pix
