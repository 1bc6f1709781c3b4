// One page of the site as a generation run would write it now, made in memory from the
// layout as the layout window holds it (edits not saved yet included), without writing
// anything: no page, image, folder, record or settings changes.
//
// The preview is a WebSite run that expands pages into memory: the same page writer, the
// same templates and the same picture facts, so that the page equals what Generate Site
// would write for the same layout. Only the branches of the tree the wanted page needs
// are walked, and the walk stops once the page is finished. Inline and detail images are
// not made: a page names them as a run would, and the browser shows those that a run
// made before.
//
//     PagePreview preview;
//     preview.page_path = site_dir + "/holiday/index.html";
//     preview.files[layout_home + "/globals.txt"] = edited_globals_text;
//     Status made = PreviewPage(site_dir, layout_home, preview, diagnostics);
//     if (made.ok()) Show(*preview.html);
#pragma once

#include <map>
#include <optional>
#include <string>

#include "base/status.h"
#include "files/profile.h"

namespace pix {

class Diagnostics;

struct PagePreview {
  /// The full path of the page file wanted: an index page, a match page (or a numbered
  /// continuation of either) or a picture's detail page.
  std::string page_path;
  /// Variable files as the layout holds them in memory, by full path, in place of what the
  /// disk holds: the layout home's globals.txt, dglobals.txt, mglobals.txt and page files,
  /// a directory's own files, and the text file beside a GIF picture. An empty text stands
  /// for a file that a save would remove.
  std::map<std::string, std::string> files;
  /// The comment of a JPEG picture (its variable records), by the picture's full path, in
  /// place of what the picture holds.
  std::map<std::string, std::string> comments;
  /// Settings as the layout window holds them, in place of the settings file's values.
  SettingsValues settings;

  /// The page, once the run made it.
  std::optional<std::string> html;

  /// The text of the variable file at `path`: the one in memory, else the disk's.
  std::string FileText(const std::string& path, Diagnostics* diagnostics) const;
  /// Whether a run for this preview has to walk the sub-directory `sub_directory` of
  /// `directory`: only when the wanted page lies in it, or when `directory` is the wanted
  /// page's own, whose entries list it.
  bool NeedsBranch(const std::string& directory, const std::string& sub_directory) const;
};

/// Makes `preview.page_path` into `preview.html` from the site `site_directory` and the
/// layout home `layout_home` with the texts in memory of `preview`. Problems of the layout
/// go to `diagnostics`. Fails when the site cannot be read, and with kNotFound when the run
/// makes no such page (a picture without a detail page, a folder without pictures).
Status PreviewPage(const std::string& site_directory, const std::string& layout_home,
                   PagePreview& preview, Diagnostics& diagnostics);

}  // namespace pix
