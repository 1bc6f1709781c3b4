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

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "site/foldersummary.h"
#include "site/webpage.h"

namespace pix {

class FileItem;
class WebSite;
struct FolderListing;
struct FolderMarks;

class PictureList;
struct PictureNeighbours;

/// What one match page of a directory takes: positions in the directory's PictureList.
struct MatchPlan {
  std::string name;
  std::vector<std::size_t> pictures;
};

/// The key of the site's top folder when it is all the site is, from the chain of keys of
/// its page (`chain_key`) and the digest of the names of its pages (FolderListing::pages).
Digest TopFolderKey(const Digest& chain_key, const Digest& page_names);

class DirIndexPage : public WebPage {
 public:
  /// The index page of `directory`; `parentPage` is the parent directory's index page, or
  /// none for the site directory. `page_number` above 1 makes the continuation page
  /// "index-N" of a directory whose pictures Pages/PicturesPerPage splits.
  DirIndexPage(FileItem& directory, WebSite& site, DirIndexPage* parent_page,
               int page_number = 1);

  /// Writes everything in and below the directory, except the end of this page, which
  /// Close writes.
  void Generate();

  /// One entry of the directory section: a sub-directory page or a match page.
  void AddDirEntry(const VariableList& entry_array);

  /// Sets AlbumZipURL, AlbumZipFileNameHTML and AlbumZipSizeInK of `page` (a page of this
  /// directory) to this directory's zip; all empty when it has none.
  void SetAlbumZipVars(WebPage& page) const;

  /// Generates the site's top folder, or takes it as it is when it is all the site is and
  /// nothing changed; the page is closed after. `marks` are from before it was entered.
  void GenerateTop(const FolderListing& listing, const FolderMarks& marks);

  /// Sets the digest of what the pages of this directory and below are made from besides
  /// their own folders: `above` (the page above's, or the run's site key for the top), this
  /// directory's listing, the layout as this page holds it, and whether this page keeps
  /// hand edits. Called once the page is made, before Generate.
  void SetChainKey(const Digest& above, bool above_trusted, const FolderListing& listing);


 private:
  // Makes or keeps the zip of the directory's detail images (Pages/AlbumZip).
  void SettleAlbumZipOf(PictureList& pictures);
  void WriteSubDirectoryPages();
  // Writes the index page of the sub-directory `item` and adds its entry to this page.
  void WriteSubDirectoryPage(FileItem& item, const FolderListing& listing,
                             const FolderMarks& marks);
  // Takes this page's folder as noted under `key` (none: it cannot be taken), or generates
  // it; true when it was taken. After a generation `summary` holds what the page above
  // reads of this page, and `summarized` says whether a note could be made of it.
  bool TakeOrGenerate(const std::optional<Digest>& key, const FolderListing& listing,
                      FolderSummary& summary, bool& summarized);
  // After the page is closed: notes its folder for the next run, or forgets it.
  void NoteFolder(const std::optional<Digest>& key, bool summarized, const FolderMarks& marks,
                  FolderSummary& summary);
  bool IsTop() const;
  // The folder's path as the record keeps it: "" for the site's top.
  std::string FolderPath() const;
  // The key of the leaf folder `sub_page` lists, as this page stands now; none when its
  // pages cannot be taken as they are or noted.
  std::optional<Digest> LeafKeyOf(const DirIndexPage& sub_page, const FolderListing& listing) const;
  // Takes this page's folder as the record noted it under `key`, when every file and
  // folder the run made in it is as it was; false when the folder is to be generated.
  bool TakeAsRecorded(const Digest& key, const FolderListing& listing);
  // Completes `summary` of this page's folder, finished and closed, from what its
  // generation since `marks` did; false when it cannot be taken as it is by a later run.
  // `provisional` says that it holds stamps of files the run wrote too recently to trust.
  bool FinishSummary(const FolderMarks& marks, FolderSummary& summary, bool& provisional) const;
  void EnsureInlineDirectory();
  DirIndexPage* parent_page_;  // Not owned; outlives this page.
  int dir_entry_count_ = 0;
  Digest chain_key_;
  bool chain_trusted_ = false;
  // The directory's zip as its pages link it: inline/NAME.zip; empty when there is none.
  std::string album_zip_link_;
  std::string album_zip_name_;
  std::uint64_t album_zip_size_ = 0;
  TemplateBinding dir_leader_template_, dir_entry_template_, dir_trailer_template_;
};

/// The name of page `page_number` of a listing split by Pages/PicturesPerPage:
/// `first_page` itself, then `first_page` "-2", "-3"...
std::string NumberedPageBaseName(const std::string& first_page, int page_number);

/// The name of index page `page_number` of a directory: "index", "index-2", "index-3"...
std::string IndexPageBaseName(int page_number);

/// Sets PageNumber, PageCount, PreviousIndexPageURL and NextIndexPageURL of page
/// `page_number` of `page_count` pages named after `first_page`: all empty when there is
/// one page.
void SetPageNumberVars(WebPage& page, const std::string& first_page, int page_number,
                       int page_count);

class MatchWebPage : public WebPage {
 public:
  /// The match page `matchName` of the directory of `indexPage`; `page_number` above 1
  /// makes its continuation page "matchName-N" when Pages/PicturesPerPage splits it.
  MatchWebPage(FileItem& directory, const std::string& match_name, WebSite& site,
               DirIndexPage& index_page, int page_number = 1);
  ~MatchWebPage() override;

  /// Writes the entries of the pictures plan.pictures[begin, end); `around` carries the
  /// neighbours from the series' previous page.
  void WritePictures(PictureList& pictures, const MatchPlan& plan, std::size_t begin,
                     std::size_t end, PictureNeighbours& around);

  /// Ends the picture section and finishes the page.
  void Finish();

 private:
  bool finished_ = false;
};

/// Which pictures of `pictures` each match page of the directory takes, in the order of
/// AutoOrganizeLayout/AutoOrganizeBaseFileNames: each picture goes to the first page with
/// a pattern that matches its name; the catch-all page "miscpics" is planned only when an
/// earlier page took a readable picture, and nothing after it is looked at then. Pages
/// that take nothing are left out. Sets `taken` for every picture taken. Nothing is
/// planned unless the run's auto-organize flag is on.
std::vector<MatchPlan> PlanMatchPages(WebSite& site, PictureList& pictures,
                                      std::vector<bool>& taken);

/// Writes the match pages `plans` of the directory of `indexPage` and lists each one that
/// got entries on it.
void WriteMatchPages(DirIndexPage& index_page, PictureList& pictures,
                     const std::vector<MatchPlan>& plans);

}  // namespace pix
