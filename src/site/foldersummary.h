// What a run notes of a folder whose pages it finished, so that a later run with the same
// inputs can take the folder as it is: no picture read, no page expanded.
//
// A folder is taken as it is when three things hold: the digest of everything its pages and
// images are made from (its key: the layout and settings, the folder's listing with the
// stamps of its files, the page above it) is the recorded one; each file and folder the run
// made in it still has its recorded stamp; and the folder itself is as the run left it (its
// stamp changes when anything in it is added, removed or renamed). The page above the
// folder then lists it from what the summary kept of its index page: the totals, the main
// image, the album zip and the variables that its generation left on its page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "site/sitefeeds.h"
#include "site/siterecord.h"

namespace pix {

struct FolderSummary {
  // The folder's index page as the entry of the page above reads it.
  int entry_count = 0;
  int file_link_count = 0;
  int listed_file_link_count = 0;  ///< The pictures of the pages it lists.
  std::uint64_t total_file_size = 0;
  std::optional<std::string> main_image_name;
  std::string main_image_srcset;
  std::string album_zip_link;
  std::string album_zip_name;
  std::uint64_t album_zip_size = 0;
  /// A variable of the index page that its generation added or changed.
  struct PageVariable {
    std::string name;
    std::string value;
    bool expands_above = false;  ///< Expands against the array of the page above.
  };
  std::vector<PageVariable> page_variables;

  /// A file or folder the run made in the folder, by its path relative to the folder.
  struct Output {
    std::string path;
    OutputKind kind = OutputKind::kPage;
    FileStamp stamp;  ///< As recorded; a folder's is its own, noted with the folder's.
  };
  std::vector<Output> outputs;
  /// The folder's own stamp after its pages were written.
  FileStamp folder_stamp;

  /// The folder's newest pictures as the site's feed lists them (at most kFeedEntryLimit):
  /// the site's newest are among the folders' newest.
  std::vector<FeedEntry> feed;

  // What the folder's generation counted, for a run's summary.
  int pictures = 0;
  int pages = 0;
  int inline_images = 0;
};

/// The summary as the record keeps it.
std::string FormatFolderSummary(const FolderSummary& summary);
/// The summary in `bytes`; none when they are not a whole summary of this version.
std::optional<FolderSummary> ParseFolderSummary(std::string_view bytes);

}  // namespace pix
