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

#include "site/siterecord.h"
#include "site/template.h"
#include "site/variable.h"

namespace pix {

/// How much of a page is gathered in memory before its file is opened. Pages of every
/// directory above the one being written wait open; in memory, they hold no file handle,
/// so a tree of any depth never runs out of them.
inline constexpr std::size_t kPendingPageLimit = std::size_t{1} << 20;

class FileItem;
class TPageFile;
class TWebSite;

/// A template variable as it was bound: the item of that name that existed in the page's
/// array at the moment of binding, whose current value it yields whenever it is written. A
/// binding made when no such item existed yields empty text for the life of the page.
class TTemplateBinding {
 public:
  void Bind(const TVarArray& array, std::string_view name) { Item = array.FindVar(name); }
  std::string_view Value() const {
    return Item != nullptr ? std::string_view(Item->szVarValue) : std::string_view();
  }

 private:
  const TVarItem* Item = nullptr;  // Owned by the page's array, which outlives the binding.
};

class TWebPage {
 public:
  /// A page of `directory` (owned by the run's picture tree) named `szPageBaseName`.
  /// `parentPage` is the page that lists this one, or none for the site's root page; both it
  /// and `site` must outlive this page.
  TWebPage(FileItem& directory, std::string szPageBaseName, TWebSite& site,
           TWebPage* parentPage);
  virtual ~TWebPage();
  TWebPage(const TWebPage&) = delete;
  TWebPage& operator=(const TWebPage&) = delete;

  /// Opens the page if it is not open yet: reads back the old page's head, title and label,
  /// reads the page's own variable files and writes the start of the skeleton.
  void EnsurePageOpen();

  /// Writes one entry (a picture or a listed page) with `templateText` against `entryArray`.
  void WriteEntry(std::string_view templateText, const TVarArray& entryArray);

  /// Writes one picture entry within its group, and its detail page.
  /// `recordedDetailPage` is what the site's record holds of the detail page, looked up
  /// ahead by whoever learned the picture.
  void AddPictureEntry(TVarArray& entryArray, std::uint64_t lFileSize,
                       const std::string& szDetailPagePath,
                       const std::optional<TRecordedOutput>& recordedDetailPage);

  /// Ends the picture section: closes a partial group and writes the file trailer. Only
  /// for pages with at least one picture entry.
  void WriteFileTrailer(const TVarArray& array);

  /// Copies the page's totals (FileLinkCount, TotalFileLinkCount, TotalFileSizeInBytes,
  /// TotalFileSizeInK, DisplayWidth, DisplayHeight) into `target`.
  void SetPageCounters(TVarArray& target) const;

  /// Finishes the page if it is open: counters, the page-end template, the end of the
  /// skeleton. Called by the owner when the page's walk is done; the destructor calls it
  /// for a page that was not closed.
  void Close();

  TVarArray& VarArray() { return *PVarArray; }
  const TVarArray& VarArray() const { return *PVarArray; }
  int EntryCount() const { return EntryCountValue; }
  int FileLinkCount() const { return FileLinkCountValue; }
  std::uint64_t TotalFileSize() const { return lTotalFileSize; }
  void AddToTotalFileSize(std::uint64_t size) { lTotalFileSize += size; }
  /// The pictures of this page and of every page it lists, series and sub-directories.
  int TotalFileLinkCount() const { return FileLinkCountValue + TotalFileLinkCountValue; }
  void AddToTotalFileLinkCount(int count) { TotalFileLinkCountValue += count; }  ///< Listed pages'.
  const std::optional<std::string>& MainImageName() const { return szMainImageName; }
  const std::string& PageBaseName() const { return szPageBaseName; }
  const std::string& PageLinkName() const { return szPageLinkName; }
  const std::string& PageFilePath() const { return szPageFilePath; }
  FileItem& Directory() const { return *PDirectory; }
  TWebSite& Site() const { return *PSite; }
  bool IsOpen() const { return bOpened && !bClosed; }

 protected:
  /// Expands `templateText` against `array` into the page file (nothing when the page file
  /// could not be created).
  void Expand(std::string_view templateText, const TVarArray& array);

 private:
  void SetParentLabel();
  void WriteDetailPage(const TVarArray& entryArray, const std::string& szDetailPagePath,
                       const std::optional<TRecordedOutput>& recorded);

  TWebPage* PParentPage;  // Not owned; outlives this page.
  TWebSite* PSite;        // Not owned; outlives this page.
  std::string szProgramPagePath;
  std::string szPageFilePath;
  std::string szPageLinkName;
  std::string szPageBaseName;
  // Where the page's text goes: Pending until the page file is opened, then the file.
  std::ostream& Out();
  // Opens the page file and moves what was gathered into it; a page that may not be
  // written (a link or a page of the user's in its place) is reported and dropped.
  void OpenPageFile();

  std::unique_ptr<TPageFile> fPageFile;
  // What the site's record holds of the page file and whose the file is, found when the
  // page opens; and whether it keeps the head, title and heading of a hand-edited version.
  std::optional<TRecordedOutput> Recorded;
  TClaimResult Claim;
  bool KeepsHandEditsNow = false;
  std::ostringstream Pending;  // The page so far, while no file is open for it.
  bool bPageRefused = false;
  TExpansionBudget PageBudget;  // What the expansions into this page may still write.
  bool bOpened = false;
  bool bClosed = false;
  int EntryCountValue = 0;
  int FileLinkCountValue = 0;
  int TotalFileLinkCountValue = 0;
  std::optional<std::string> szMainImageName;
  TTemplateBinding FileLeaderTemplate, FileEntryTemplate, FileTrailerTemplate;
  TTemplateBinding GroupLeaderTemplate, GroupTrailerTemplate;
  int PicturesPerGroup = 1;
  std::uint64_t lTotalFileSize = 0;
  FileItem* PDirectory;  // Owned by the run's picture tree.
  std::unique_ptr<TVarArray> PVarArray;
};

}  // namespace pix
