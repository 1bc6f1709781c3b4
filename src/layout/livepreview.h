// The live preview of the layout window: which page shows the selected item, and the
// layout as the window holds it (edits not saved included), handed to the site's page
// preview (site/pagepreview.h), which makes that page in memory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/status.h"
#include "site/pagepreview.h"

namespace pix {

class ConfigItem;
class InspectorModel;
class RootConfigItem;

/// Puts into `preview` the variable files and picture captions that the items of `root`
/// hold and a save would write: those of every item changed since it was read or saved,
/// and the inspector's rows for `selected` when they were edited and not yet taken into
/// it, and the values of the settings pages changed so. A crossed-out page's file counts as
/// gone.
void CollectUnsavedLayout(const RootConfigItem& root, const ConfigItem* selected,
                          const InspectorModel& inspector, PagePreview& preview);

/// The pages that show `item`, best first: a picture's detail page, then its folder's index
/// page; a folder's index page; a match page's page in `directory` (a folder of the site,
/// the one the user last looked at), then that folder's index page; for any other item
/// (the site, page templates, settings) the index page of `directory`. The site's index
/// page comes last. `page_extension` is the settings' extension of page files.
std::vector<std::string> PagesShowing(const ConfigItem* item, const std::string& site_directory,
                                      const std::string& directory,
                                      const std::string& page_extension);

/// The first page of `candidates` that a run makes, into `preview` (whose page_path names
/// it then); kNotFound when it makes none of them.
Status PreviewFirstPage(const std::string& site_directory, const std::string& layout_home,
                        const std::vector<std::string>& candidates, PagePreview& preview,
                        Diagnostics& diagnostics);

/// `preview` with the sample layout `sample` in place of the layout home's globals.txt, as
/// choosing it would copy it. False when the sample cannot be read.
bool UseSampleLayout(const std::filesystem::path& sample, const std::string& layout_home,
                     PagePreview& preview);

}  // namespace pix
