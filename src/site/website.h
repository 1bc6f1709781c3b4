// One run of the site generator.
//
// From the site directory (the root of the picture tree) and the program directory (the
// layout home, which holds the settings and the site-wide layout files), a run prepares the
// picture tree, loads the site-wide variables and settings, and writes the whole site by
// generating the index page of the site directory, which generates every page below it.
//
//     TWebSite site(siteDir, LayoutHome().string(), ui, progress);
//     if (site.Prepare().ok()) site.Execute();
//
// Problems with single pictures, pages or directories are reported through the user
// interface and counted; they never end the run.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "site/variable.h"

namespace pix {

class TFileItem;
class TInlineImagePool;
class TProgress;
struct TPictureFacts;
class TUserInterface;

/// What a run did, for the summary that follows it.
struct TRunStats {
  int Pictures = 0;          ///< Pictures that got an entry.
  int PicturesReported = 0;  ///< Pictures that were missing, corrupt or not converted.
  int PagesWritten = 0;      ///< Index, match and detail pages written.
  int InlineMade = 0;        ///< Inline images made because they were missing or stale.
  int InlineReused = 0;      ///< Inline images that were current and kept.
  int ProblemsReported = 0;  ///< Every problem reported, pictures included.
};

class TWebSite {
 public:
  /// `ui` and `progress` must outlive the run.
  TWebSite(std::string szSiteDirectory, std::string szProgramDirectory, TUserInterface& ui,
           TProgress& progress);
  ~TWebSite();
  TWebSite(const TWebSite&) = delete;
  TWebSite& operator=(const TWebSite&) = delete;

  /// The preparations before any page is written: the user's full name (asked for until
  /// one is given), the site-wide variables, the extensions and display box, the purge of
  /// old pages when DeleteHTMLFirst is set, the GIF preparation and the scan of the tree.
  /// Fails only when the site directory cannot be scanned.
  Status Prepare();

  /// Writes the site: sets the step count and main task of the progress, then does the
  /// work. Prepare must have succeeded.
  void Execute();

  /// The number of pictures of the site outside inline directories: the steps of a run.
  int GetStepCount() const;
  std::string GetMainTaskText() const { return "Creating Web Site"; }
  /// Generates every page of the site.
  void DoMainTask();

  // What the pages of the run read.
  const std::string& SiteDirectory() const { return szSiteDirectory; }
  const std::string& ProgramDirectory() const { return szProgramDirectory; }
  const TVarArray& GlobalArray() const { return SiteGlobalArray; }
  const TVarArray& DirGlobalArray() const { return SiteDirGlobalArray; }
  const TVarArray& MatchGlobalArray() const { return SiteMatchGlobalArray; }
  int MaxDisplayWidth() const { return MaxDisplayWidthValue; }
  int MaxDisplayHeight() const { return MaxDisplayHeightValue; }
  const std::string& InLineFileExt() const { return szInLineFileExt; }
  const std::string& PageDOSFileExt() const { return szPageDOSFileExt; }
  const std::string& PageHTMLFileExt() const { return szPageHTMLFileExt; }
  const std::string& InLineSubDirName() const { return szInLineSubDirName; }
  bool AutoOrganize() const { return bAutoOrganize; }
  TUserInterface& UserInterface() const { return Ui; }
  TProgress& Progress() const { return ProgressSink; }

  /// Shows a problem to the user with the title "Error" and counts it.
  void Report(const std::string& text);
  TRunStats& Stats() { return StatsValue; }
  const TRunStats& Stats() const { return StatsValue; }

  /// How many pictures are read and made into inline images at the same time, ahead of the
  /// page writer (1: the page writer does each picture itself, in turn). Set before Execute.
  void SetJobs(int jobs) { Jobs = jobs < 1 ? 1 : jobs; }
  /// The number of jobs a run uses unless told otherwise: the number of cores.
  static int DefaultJobs();
  int GetJobs() const { return Jobs; }

  /// What the workers learned of `picture`; nothing when they were not given it.
  std::optional<TPictureFacts> TakePictureFacts(const TFileItem& picture);

  /// The pictures of the tree below `directory` in the order the page writer reaches them:
  /// each directory's sub-directories first, then its own pictures.
  static std::vector<const TFileItem*> ListPicturesInWalkOrder(const TFileItem& directory);

  /// Stops the run: no further picture is processed, and every open page is finished.
  void Cancel() { bCancelled = true; }
  bool Cancelled() const;

 private:
  void PurgeOldPages();
  void PrepareGifPictures(const std::string& directory);

  std::unique_ptr<TFileItem> PictureTree;
  std::string szSiteDirectory;
  std::string szProgramDirectory;
  int MaxDisplayWidthValue = 100;
  int MaxDisplayHeightValue = 100;
  std::string szAnchorFileExtList = "jpg";
  std::string szInLineFileExt = "gif";
  std::string szPageDOSFileExt = "html";
  std::string szPageHTMLFileExt = "html";
  std::string szInLineSubDirName = "inline";
  TVarArray SiteGlobalArray;
  TVarArray SiteDirGlobalArray;
  TVarArray SiteMatchGlobalArray;
  std::string szSettingsPath;
  bool bAutoOrganize = false;
  bool bCancelled = false;
  int Jobs = 1;
  std::unique_ptr<TInlineImagePool> Pool;  // Lives for the time of DoMainTask.
  TUserInterface& Ui;          // Not owned; outlives the run.
  TProgress& ProgressSink;     // Not owned; outlives the run.
  TRunStats StatsValue;
};

}  // namespace pix
