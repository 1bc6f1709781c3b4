// Directory index pages and match pages.
//
// DirIndexPage is the index page of one directory and the driver of the walk over it:
// Generate writes the directory's match pages, then the index pages of its sub-directories
// (depth first, in name order), then its own directory section (match pages and
// sub-directory pages) and picture section (the pictures no match page took). The run
// generates the site directory's index page, and that one call writes the whole site; the
// site directory's page is the last file finished.
//
// A MatchWebPage gathers, within one directory, the pictures whose names match its
// patterns; it is listed on the directory's index page like a sub-directory, and the
// pictures it takes are left out of the index page's own picture section.
#pragma once

#include <string>
#include <unordered_set>

#include "site/webpage.h"

namespace pix {

class FileItem;
class WebSite;

class DirIndexPage : public WebPage {
 public:
  /// The index page of `directory`; `parentPage` is the parent directory's index page, or
  /// none for the site directory.
  DirIndexPage(FileItem& directory, WebSite& site, DirIndexPage* parent_page);

  /// Writes everything in and below the directory, except the end of this page, which
  /// Close writes.
  void Generate();

  /// One entry of the directory section: a sub-directory page or a match page.
  void AddDirEntry(const VariableList& entry_array);


  /// Marks a picture of this directory as taken by a match page.
  void TakePicture(const FileItem& item) { taken_pictures_.insert(&item); }
  bool IsTaken(const FileItem& item) const { return taken_pictures_.count(&item) > 0; }

 private:
  void WriteSubDirectoryPages();
  void EnsureInlineDirectory();

  int dir_entry_count_ = 0;
  TemplateBinding dir_leader_template_, dir_entry_template_, dir_trailer_template_;
  std::unordered_set<const FileItem*> taken_pictures_;
};

class MatchWebPage : public WebPage {
 public:
  /// The match page `matchName` of the directory of `indexPage`.
  MatchWebPage(FileItem& directory, const std::string& match_name, WebSite& site,
                DirIndexPage& index_page);
  ~MatchWebPage() override;

  /// Takes the pictures of the directory that match the page's patterns (and that no
  /// earlier match page took) and writes their entries.
  void TakePictures();

  /// Ends the picture section and finishes the page.
  void Finish();

 private:
  DirIndexPage& index_page_;  // Lists this page; outlives it.
  std::string patterns_;    // Lower case, as read from the settings.
  bool finished_ = false;
};

/// Writes the match pages of the directory of `indexPage` and lists each one that took
/// pictures on it. Nothing happens unless the run's auto-organize flag is on.
void WriteMatchPages(DirIndexPage& index_page);

}  // namespace pix
