// One run of the site generator.
//
// From the site directory (the root of the picture tree) and the layout home (which holds
// the settings and the site-wide layout files), a run loads the site-wide variables and
// settings and writes the whole site by generating the index page of the site directory,
// which generates every page below it. The tree is listed one folder at a time as the walk
// reaches it and forgotten once the folder's pages are done, so that memory does not grow
// with the site.
//
//     WebSite site(site_dir, layout_home, ui, progress, diagnostics);
//     if (site.Prepare().ok()) site.Execute();
//
// The settings are read once, from the layout home the run is given, into a RunSettings
// value that every page of the run reads. Problems with single pictures, pages or
// directories are reported through the user interface and counted; problems the run meets
// on its way (an unreadable directory, a setting it cannot use) go to the diagnostics sink.
// Neither ends the run.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/status.h"
#include "files/settings.h"
#include "picture/video.h"
#include "site/sitefeeds.h"
#include "site/siterecord.h"
#include "site/variable.h"

namespace pix {

struct FolderSummary;

class Diagnostics;
class FileItem;
class InlineImagePool;
struct PagePreview;
class Progress;
struct PictureFacts;
class UserInterface;

/// What a run did, for the summary that follows it.
struct RunStats {
  int pictures = 0;          ///< Pictures that got an entry.
  int pictures_reported = 0;  ///< Pictures that were missing, corrupt or not converted.
  int pages_written = 0;      ///< Index, match and detail pages written.
  int pages_unchanged = 0;    ///< Pages whose old file already held the new bytes.
  /// Of those, the pages that were not even expanded: their recipe was that of the last run.
  int pages_not_expanded = 0;
  /// Folders whose pages and images were taken as the last run left them, unread.
  int folders_unchanged = 0;
  int inline_made = 0;        ///< Inline images made because they were missing or stale.
  int inline_reused = 0;      ///< Inline images that were current and kept.
  int problems_reported = 0;  ///< Every problem reported, pictures included.
  int pages_removed = 0;      ///< Pages of pictures that are gone, removed.
  int images_removed = 0;     ///< Inline and detail images of pictures that are gone, removed.
  int other_removed = 0;      ///< Other files the site no longer uses (old names), removed.
};

/// What the walk learned of a folder as it listed it, for the folder's key (see
/// site/foldersummary.h).
struct FolderListing {
  /// Of the names, kinds and stamps of its files and folders; the pages in it, which a run
  /// writes, are left out.
  Digest digest;
  /// Of the names of the pages in it: a folder's own stamp tells when one comes or goes,
  /// except at the top of the site, which holds the record.
  Digest pages;
  /// Every stamp in it had settled: a file changed since would show another stamp.
  bool trusted = true;
  /// It has no folder that gets a page of its own.
  bool leaf = true;
  int pictures = 0;  ///< Its pictures that get an entry, as listed.
};

/// Where a folder's generation started: what it had done then, so that what the folder's
/// pages did can be told apart.
struct FolderMarks {
  std::size_t outputs = 0;  ///< SiteRecord::OutputMark
  int problems = 0;         ///< Diagnostics' problems and the run's reports.
  long runaways = 0;        ///< ExpansionRunawayCount
  RunStats stats;
};

class WebSite {
 public:
  /// `ui`, `progress` and `diagnostics` must outlive the run.
  WebSite(std::string site_directory, std::string layout_home, UserInterface& ui,
           Progress& progress, Diagnostics& diagnostics);
  ~WebSite();
  WebSite(const WebSite&) = delete;
  WebSite& operator=(const WebSite&) = delete;

  /// The preparations before any page is written: the user's full name (asked for until
  /// one is given), the site-wide variables, the extensions and display box, the site's
  /// record (opened and locked for this run), the listing of the site's top folder, and a
  /// survey of every folder's names that counts the pictures and removes what an
  /// interrupted run left. Each folder is then listed and prepared as the walk reaches it
  /// (EnterDirectory). Fails, before anything is written, when a layout file cannot be
  /// read, when another run holds the site or its record cannot be used, or when the site
  /// directory cannot be read.
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
  const std::string& SiteDirectory() const { return site_directory_; }
  const std::string& layout_home() const { return layout_home_; }
  const VariableList& GlobalArray() const { return site_global_array_; }
  const VariableList& DirGlobalArray() const { return site_dir_global_array_; }
  const VariableList& MatchGlobalArray() const { return site_match_global_array_; }
  const RunSettings& Settings() const { return run_settings_; }
  const SiteNames& Names() const { return run_settings_.names; }
  int MaxDisplayWidth() const { return run_settings_.max_display.width; }
  int MaxDisplayHeight() const { return run_settings_.max_display.height; }
  bool AutoOrganize() const { return run_settings_.do_auto_organize; }
  UserInterface& user_interface() const { return ui_; }
  Progress& progress() const { return progress_sink_; }
  Diagnostics& diagnostics() const { return diagnostics_sink_; }

  /// Shows a problem to the user with the title "Error" and counts it; `file` names the
  /// picture or page it is about, when there is one. With ReportToDiagnostics set it goes
  /// to the run's diagnostics instead, without a box.
  void Report(const std::string& text, const std::string& file = std::string());
  /// Problems go to the diagnostics rather than one box each: for a window that lists them
  /// while the run goes on.
  void ReportToDiagnostics(bool on) { report_to_diagnostics_ = on; }
  RunStats& Stats() { return stats_; }
  const RunStats& Stats() const { return stats_; }

  /// How many pictures are read and made into inline images at the same time, ahead of the
  /// page writer (1: the page writer does each picture itself, in turn). Set before Execute.
  void SetJobs(int jobs) { jobs_ = jobs < 1 ? 1 : jobs; }
  /// The number of jobs a run uses unless told otherwise: the number of cores.
  static int DefaultJobs();

  /// Makes the output folder `directory` (an inline or detail image folder) when it is
  /// missing and records it as the run's. Refused when a link stands in its place: it may
  /// lead anywhere, to the user's own pictures too, and nothing is written through it. Safe
  /// to call from several threads.
  Status EnsureOutputFolder(const std::string& directory) const;

  /// ffprobe and ffmpeg as found on the PATH when the run was prepared.
  const VideoTools& Video() const { return video_tools_; }

  /// The site's record: what earlier runs wrote, and what this run writes.
  SiteRecord& Record() const { return *record_; }
  /// `path` (inside the site) relative to the site directory, as the record keeps paths.
  std::string SitePath(std::string_view path) const;

  /// What the workers learned of `picture`; nothing when they were not given it.
  std::unique_ptr<PictureFacts> TakePictureFacts(const FileItem& picture);

  /// Lists `directory` (the site's root or a directory that gets an index page) before its
  /// page is made: removes what an interrupted run left in it, settles whose its inline-named
  /// folders are and which of its pictures keep their names, removes its old pages with
  /// DeleteHTMLFirst, de-interlaces its GIF pictures, corrects the progress's step count
  /// where the survey's guess by names was off, and hands its pictures to the workers.
  /// Called by the page writer only.
  FolderListing EnterDirectory(FileItem& directory);
  /// Hands the pictures of `directory`, entered, to the workers and reads ahead what the
  /// record holds of them. Not called for a folder taken as it is.
  void StartPictures(const FileItem& directory);
  /// Forgets what was listed in `directory` once its pages are finished, so that a run holds
  /// only the folders it is in. Called by the page writer only.
  void LeaveDirectory(FileItem& directory);

  /// The pictures the feed may list: each picture entry is handed here when the site has a
  /// SiteURL. Called by the page writer only.
  FeedCollector& Feed() { return feed_; }

  /// Makes this run a preview (site/pagepreview.h): it reads the layout's variable files
  /// from `preview` where it holds them, writes nothing (no page, image, folder, feed or
  /// record), asks nothing, and hands the wanted page to `preview`. Set before Prepare;
  /// `preview` must outlive the run.
  void SetPreview(PagePreview* preview) { preview_ = preview; }
  PagePreview* Preview() const { return preview_; }
  /// The text of the variable file `name` in `directory` (as LoadVarFileText finds it), or
  /// the one a preview holds in its place.
  std::string LayoutFileText(std::string_view name, std::string_view directory) const;
  /// A page the run has finished, `text` being all of it: a preview keeps it when it is
  /// the wanted one, and the run then stops. Only for a preview.
  void OfferPreviewPage(const std::string& path, std::string text);

  /// Whether folders may be noted and taken as they are (site/foldersummary.h): not in a
  /// preview, not with DeleteHTMLFirst (which removes the pages).
  bool KeepsFolderSummaries() const;
  /// What the run has done so far, for a folder about to be generated.
  FolderMarks MarkFolderStart() const;
  /// Records `summary` of the folder at `path` (relative to the site), whose key is `key`,
  /// as provisional: it holds stamps of files the run wrote too recently to trust. No run
  /// takes the folder by it until the end of this run has settled it (SettleFolders); a
  /// run that ends before leaves it for the next to forget.
  /// For the site's top (`top_chain_key`, its chain of keys), the key is made again at the
  /// end from the names of its pages then (TopFolderKey).
  void NoteProvisionalFolder(const std::string& path, const Digest& key,
                             const FolderSummary& summary,
                             const std::optional<Digest>& top_chain_key);

  /// Stops the run: no further picture is processed, and every open page is finished.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const;

 private:
  /// Reads what the record holds of `pictures` (of `directory`), their pages and images,
  /// and the statuses of those pages and images, at once, ahead of their lookups and claims.
  void ReadAhead(const FileItem& directory, const std::vector<PictureFiles>& pictures);
  void PurgeOldPages(const FileItem& directory);
  void PrepareGifPictures(FileItem& directory);
  // Removes what the record holds that this complete run no longer made, where it is still
  // as written; forgets the rest.
  void RemoveStaleOutputs();
  // Settles the provisional summaries of folders, once SettleOutputs has settled what the
  // run wrote: each whose outputs now have trusted stamps, and whose folders are as noted
  // and older than the file system's clock, is recorded under its key; the others are
  // forgotten.
  void SettleFolders();
  // The digest of `directory`'s listing, entered, with `pictures` site pictures.
  FolderListing ListingOf(const FileItem& directory, int pictures) const;
  // Whether a file of the name is a page, listed by its name alone.
  bool IsPageName(std::string_view name) const;
  // The digest of the names of the pages in the site's top as it stands now, as ListingOf
  // makes it from the walk's listing (FolderListing::pages); none when it cannot be read.
  std::optional<Digest> TopPageNamesNow() const;
  // Removes the leftover temporary files the walk has found since it was last asked,
  // unless the survey removed them already.
  void RemoveLeftoversOfWalk();
  // Sets site_key_, the digest of what every page of the run is made from besides its
  // folder (the program, the versions of the readers and makers, the layout home's files,
  // the tools found, the site's place), and site_key_trusted_, false when a file in it
  // changed too recently to tell.
  void MakeSiteKey();
  // Whether `file`, in a folder named like the inline folder, is one a run wrote.
  bool IsOwnOutputFile(const FileItem& file) const;

  std::unique_ptr<FileItem> picture_tree_;
  std::string site_directory_;
  std::string layout_home_;
  RunSettings run_settings_;
  VariableList site_global_array_;
  VariableList site_dir_global_array_;
  VariableList site_match_global_array_;
  bool cancelled_ = false;
  bool report_to_diagnostics_ = false;
  PagePreview* preview_ = nullptr;  // Not owned; set for a preview only.
  int jobs_ = 1;
  int step_count_ = 0;  // The survey's count of pictures, as the walk corrects it.
  bool surveyed_ = false;  // The survey looked at every folder (the last run did not finish).
  int pictures_entered_ = 0;  // The pictures of the folders the walk has entered.
  std::unique_ptr<InlineImagePool> pool_;  // Lives for the time of DoMainTask.
  std::unique_ptr<SiteRecord> record_;  // Open from Prepare to the end of the run.
  mutable std::mutex folders_mutex_;
  mutable std::unordered_set<std::string> folders_ensured_;  // This run's output folders.
  UserInterface& ui_;          // Not owned; outlives the run.
  Progress& progress_sink_;     // Not owned; outlives the run.
  Diagnostics& diagnostics_sink_;  // Not owned; outlives the run.
  RunStats stats_;
  Digest site_key_;
  bool site_key_trusted_ = false;
  FeedCollector feed_;
  // The folders whose summaries are provisional, with their keys (NoteProvisionalFolder).
  std::mutex provisional_mutex_;
  struct ProvisionalFolder {
    std::string path;
    Digest key;
    std::optional<Digest> top_chain_key;
  };
  std::vector<ProvisionalFolder> provisional_folders_;
  VideoTools video_tools_;
};

}  // namespace pix
