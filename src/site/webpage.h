// The page writer: one HTML page of the site, with the fixed skeleton around its templates,
// its picture entries in groups, a detail page per picture entry, and the page totals.
//
// A page opens its file lazily, at its first entry, and finishes it when Close is called
// (or the page is destroyed). A page that never writes an entry leaves no file, which is
// how a directory without pictures gets no index page.
//
// A page file reads: the version comment lines; "<HTML>"; "<HEAD>", the head template,
// "</HEAD>"; the body-begin template; the directory section and the picture section; the
// page-end template; "<P>"; "</HTML>".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "site/siterecord.h"
#include "site/template.h"
#include "site/variable.h"

namespace pix {

/// How much of a page is gathered in memory before its file is opened. Pages of every
/// directory above the one being written wait open; in memory, they hold no file handle,
/// so a tree of any depth never runs out of them.
inline constexpr std::size_t kPendingPageLimit = std::size_t{1} << 20;

/// How many picture entries at the top of a page have ImageLoading "eager" (the others
/// "lazy"): a row of the shipped layouts' grid on a wide screen, two on a phone.
inline constexpr int kPicturesLoadedAtOnce = 4;

class FileItem;
class PageFile;
class WebSite;
struct FolderSummary;

/// A template variable as it was bound: the item of that name that existed in the page's
/// array at the moment of binding, whose current value it yields whenever it is written. A
/// binding made when no such item existed yields empty text for the life of the page.
class TemplateBinding {
 public:
  void Bind(const VariableList& array, std::string_view name) { item_ = array.FindVar(name); }
  std::string_view Value() const {
    return item_ != nullptr ? std::string_view(item_->value()) : std::string_view();
  }

 private:
  const Variable* item_ = nullptr;  // Owned by the page's array, which outlives the binding.
};

class WebPage {
 public:
  /// A page of `directory` (owned by the run's picture tree) named `page_base_name`.
  /// `parentPage` is the page that lists this one, or none for the site's root page; both it
  /// and `site` must outlive this page.
  WebPage(FileItem& directory, std::string page_base_name, WebSite& site,
           WebPage* parent_page);
  virtual ~WebPage();
  WebPage(const WebPage&) = delete;
  WebPage& operator=(const WebPage&) = delete;

  /// Opens the page if it is not open yet: reads back the old page's head, title and label,
  /// reads the page's own variable files and writes the start of the skeleton.
  void EnsurePageOpen();

  /// Writes one entry (a picture or a listed page) with `templateText` against `entryArray`.
  void WriteEntry(std::string_view template_text, const VariableList& entry_array);

  /// Writes one picture entry within its group, and its detail page.
  /// `recordedDetailPage` is what the site's record holds of the detail page, looked up
  /// ahead by whoever learned the picture.
  void AddPictureEntry(VariableList& entry_array, std::uint64_t file_size,
                       const std::string& detail_page_path,
                       const std::optional<RecordedOutput>& recorded_detail_page);

  /// Ends the picture section: closes a partial group and writes the file trailer. Only
  /// for pages with at least one picture entry.
  void WriteFileTrailer(const VariableList& array);

  /// Copies the page's totals (FileLinkCount, TotalFileLinkCount, TotalFileSizeInBytes,
  /// TotalFileSizeInK, DisplayWidth, DisplayHeight) into `target`.
  void SetPageCounters(VariableList& target) const;

  /// Finishes the page if it is open: counters, the page-end template, the end of the
  /// skeleton. Called by the owner when the page's walk is done; the destructor calls it
  /// for a page that was not closed.
  void Close();

  VariableList& VarArray() { return *var_array_; }
  const VariableList& VarArray() const { return *var_array_; }
  int EntryCount() const { return entry_count_; }
  int FileLinkCount() const { return file_link_count_; }
  std::uint64_t TotalFileSize() const { return total_file_size_; }
  void AddToTotalFileSize(std::uint64_t size) { total_file_size_ += size; }
  /// The pictures of this page and of every page it lists, series and sub-directories.
  int TotalFileLinkCount() const { return file_link_count_ + total_file_link_count_; }
  void AddToTotalFileLinkCount(int count) { total_file_link_count_ += count; }  ///< Listed pages'.
  const std::optional<std::string>& MainImageName() const { return main_image_name_; }
  /// The ImageSrcSet of the entry that gave the main image (links relative to this page's
  /// folder); empty when it has none.
  const std::string& MainImageSrcSet() const { return main_image_srcset_; }
  const std::string& PageBaseName() const { return page_base_name_; }
  const std::string& PageLinkName() const { return page_link_name_; }
  FileItem& Directory() const { return *directory_; }
  WebSite& Site() const { return *site_; }
  /// Whether the page has started (it has had an entry, or a page it lists has).
  bool IsOpen() const { return opened_; }
  /// Whether the page, when it opens, takes its head, title and heading from the layout
  /// alone: the page there is not one the user edited by hand (see EnsurePageOpen).
  bool TakesNoHandEdits() const;

  /// The digest of each item of the page's array, in order: what NoteSummary compares with.
  std::vector<Digest> ItemDigests() const;
  /// Notes in `summary` what the page above reads of this finished page: its totals, its
  /// main image, and each variable of its array that is not as `before` (ItemDigests when
  /// the page was made) had it. False when the array changed in a way a summary cannot say
  /// (an item gone, or expanded against an array other than its own or the page above's).
  bool NoteSummary(const std::vector<Digest>& before, FolderSummary& summary) const;
  /// Makes this page, which is not written, read as the page that `summary` describes.
  void TakeSummary(const FolderSummary& summary);

 protected:
  /// Makes this page a continuation of its directory's index page ("index-2"...), which
  /// links upward as the index page does.
  void MarkIndexContinuation() { index_continuation_ = true; }

  /// Expands `templateText` against `array` into the page file (nothing when the page file
  /// could not be created).
  void Expand(std::string_view template_text, const VariableList& array);

 private:
  void SetParentLabel();
  void WriteDetailPage(const VariableList& entry_array, const std::string& detail_page_path,
                       const std::optional<RecordedOutput>& recorded);

  WebPage* parent_page_;  // Not owned; outlives this page.
  WebSite* site_;        // Not owned; outlives this page.
  std::string program_page_path_;
  std::string page_file_path_;
  std::string page_link_name_;
  std::string page_base_name_;
  // Where the page's text goes: Pending until the page file is opened, then the file.
  std::ostream& Out();
  // Opens the page file and moves what was gathered into it; a page that may not be
  // written (a link or a page of the user's in its place) is reported and dropped.
  void OpenPageFile();

  std::unique_ptr<PageFile> page_file_;
  // What the site's record holds of the page file and whose the file is, found when the
  // page opens; and whether it keeps the head, title and heading of a hand-edited version.
  std::optional<RecordedOutput> recorded_;
  ClaimResult claim_;
  bool keeps_hand_edits_now_ = false;
  std::ostringstream pending_;  // The page so far, while no file is open for it.
  bool page_refused_ = false;
  bool index_continuation_ = false;
  ExpansionBudget page_budget_;  // What the expansions into this page may still write.
  bool opened_ = false;
  bool closed_ = false;
  int entry_count_ = 0;
  int file_link_count_ = 0;
  int total_file_link_count_ = 0;
  std::optional<std::string> main_image_name_;
  std::string main_image_srcset_;
  TemplateBinding file_leader_template_, file_entry_template_, file_trailer_template_;
  TemplateBinding group_leader_template_, group_trailer_template_;
  int pictures_per_group_ = 1;
  std::uint64_t total_file_size_ = 0;
  FileItem* directory_;  // Owned by the run's picture tree.
  std::unique_ptr<VariableList> var_array_;
};

}  // namespace pix
