#include "site/website.h"

#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "base/safefile.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "files/utils.h"
#include "picture/decjpeg.h"
#include "picture/gifrsize.h"
#include "picture/webimage.h"
#include "site/dirindex.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/pictureentry.h"
#include "site/template.h"

namespace pix {
namespace {

// Removes a temporary file this program made, if it is a plain file.
void RemoveTemporaryNow(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

}  // namespace

TWebSite::TWebSite(std::string siteDirectory, std::string programDirectory, UserInterface& ui,
                   Progress& progress, Diagnostics& diagnostics)
    : szSiteDirectory(std::move(siteDirectory)),
      szProgramDirectory(std::move(programDirectory)),
      Ui(ui),
      ProgressSink(progress),
      DiagnosticsSink(diagnostics) {
  StripTrailingChar(szSiteDirectory, '/');
  if (szSiteDirectory.empty()) szSiteDirectory = "/";
}

TWebSite::~TWebSite() = default;  // Out of line: the pool's type is complete here.

Status TWebSite::Prepare() {
  run_settings_ = ReadRunSettings(szProgramDirectory, DiagnosticsSink);
  RequireFullName(run_settings_, Ui, DiagnosticsSink);

  SiteGlobalArray.SetVar(kPersonFullName, run_settings_.person_full_name);
  SiteGlobalArray.SetVar(kEMailAddress, run_settings_.e_mail_address);
  // Companions for text: the user's own words may hold "&" or "<".
  SiteGlobalArray.SetVar("PersonFullNameHTML", HtmlEscape(run_settings_.person_full_name));
  SiteGlobalArray.SetVar("EMailAddressHTML", HtmlEscape(run_settings_.e_mail_address));
  // Pages written from a layout that could not be read would lose what the user made:
  // the run stops before it writes anything.
  const std::pair<const char*, TVarArray*> layouts[] = {{"globals", &SiteGlobalArray},
                                                        {"dglobals", &SiteDirGlobalArray},
                                                        {"mglobals", &SiteMatchGlobalArray}};
  for (const auto& [name, array] : layouts) {
    Result<std::string> text = ReadVarFile(BuildFileName(szProgramDirectory, name, "txt"));
    if (!text.ok()) return text.status();
    array->ParseVarText(*text);
  }

  // The record decides what this run may replace; it also keeps a second run out.
  Result<std::unique_ptr<TSiteRecord>> record = TSiteRecord::Open(szSiteDirectory, DiagnosticsSink);
  if (!record.ok()) return record.status();
  RecordValue = std::move(record).value();

  // The tree is listed once; the purge and the GIF preparation work on it.
  Result<std::unique_ptr<FileItem>> tree =
      FileItem::CreateRoot(szSiteDirectory, true, &DiagnosticsSink);
  if (!tree.ok()) return tree.status();
  PictureTree = std::move(tree).value();
  // What an interrupted run left behind goes. In the site no other run can be writing now
  // (the record is locked), so every leftover goes at once; in the layout home, shared by
  // every site, only what nobody has written to for a while.
  for (const std::string& leftover : PictureTree->LeftoverTemporaries()) {
    RemoveTemporaryNow(leftover);
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(szProgramDirectory, error)) {
    RemoveLeftoverTemporary(entry.path());
  }
  // Whose an inline-named folder is, and which pictures keep their names, is settled on
  // the tree as listed, before anything changes on the disk: two pictures never share a
  // page or an inline image, nor does a picture take the page of an index or match page;
  // what is left out is reported, and nothing is overwritten.
  const auto isOutput = [this](const FileItem& file) { return IsOwnOutputFile(file); };
  for (const std::string& leftOut :
       SettlePictureNames(*PictureTree, Names(), run_settings_.MatchPageNames(), isOutput)) {
    DiagnosticsSink.Problem(leftOut);
  }
  if (run_settings_.delete_html_first) PurgeOldPages();
  PrepareGifPictures();
  return Status::OK();
}

void TWebSite::PurgeOldPages() {
  for (const FileItem* item = PictureTree->FirstChild(); item != nullptr;
       item = NextInTree(*item)) {
    if (IsDirectory(*item)) continue;
    std::string_view ext = item->szFileExt();
    if (!ext.empty()) ext.remove_prefix(1);
    if (!EqualsNoCase(ext, "htm") && !EqualsNoCase(ext, "html")) continue;
    // Only the pages this program wrote go: a page of the user's own stays.
    const std::string sitePath = SitePath(item->szFullFileName());
    const std::optional<TRecordedOutput> recorded = Record().FindOutput(sitePath);
    const TClaimResult claim =
        Record().Claim(item->szFullFileName(), recorded,
                       [](const std::filesystem::path& path) { return IsPageOfThisProgram(path); });
    if (claim.Claim != TClaim::kOurs) {
      DiagnosticsSink.Problem(item->szFullFileName() +
                              " is kept: DeleteHTMLFirst deletes only pages Pixamond wrote");
      continue;
    }
    if (::unlink(item->szFullFileName().c_str()) != 0) {
      Report("Cannot delete the old page " + item->szFullFileName());
    } else {
      Record().ForgetOutput(sitePath);
    }
  }
}

void TWebSite::PrepareGifPictures() {
  // Links to directories are never listed into, so a link cannot lead the run in circles.
  for (FileItem* item = PictureTree->FirstChild(); item != nullptr;
       item = const_cast<FileItem*>(NextSiteItem(*item, Names()))) {
    // A GIF beside a JPEG of the same name is left out of the site (see IsSitePicture) but
    // kept on the disk: it may be the user's own picture, not an old copy.
    if (IsDirectory(*item) || !IsSitePicture(*item) || IsJpegPicture(*item)) continue;
    const std::string& path = item->szFullFileName();
    const Result<bool> interlaced = IsGifInterlaced(path);
    if (interlaced.ok() && *interlaced) {
      // Replaced only by a complete copy that keeps everything but the line order, and only
      // when the file's mode, owner and links allow it; a GIF that is not rewritten stays
      // as it is, and its inline image is made from the interlaced original.
      const Status done = DeinterlaceGifInPlace(path);
      if (done.code() == Status::Code::kRefused) {
        Report("The interlaced GIF file was not de-interlaced: " + done.message());
      } else if (!done.ok()) {
        Report("Cannot rewrite the interlaced GIF file " + path + ": " + done.message());
      }
      RefreshFileSize(*item);
    }
  }
}

int TWebSite::GetStepCount() const {
  if (!PictureTree) return 0;
  int count = 0;
  for (const FileItem* item = PictureTree->FirstChild(); item != nullptr;
       item = NextSiteItem(*item, Names())) {
    if (IsSitePicture(*item)) ++count;
  }
  return count;
}

int TWebSite::DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

void TWebSite::Execute() {
  ProgressSink.SetStepCount(GetStepCount());
  ProgressSink.SetMainTask(GetMainTaskText());
  DoMainTask();
}

void TWebSite::DoMainTask() {
  if (!PictureTree) return;
  ResetExpansionDiagnostics();
  if (Jobs > 1) {
    PrepareMemoryForDecoding();
    Pool = std::make_unique<TInlineImagePool>(*this, ListPicturesInWalkOrder(*PictureTree, Names()),
                                              Jobs);
  }
  {
    TDirIndexPage rootPage(*PictureTree, *this, nullptr);
    rootPage.Generate();
    rootPage.Close();
  }
  Pool.reset();
  // Only a run that saw the whole site knows what it no longer makes.
  if (!Cancelled()) {
    RemoveStaleOutputs();
    Record().ForgetUnconfirmedPictures();
  }
  if (const Status committed = Record().Commit(); !committed.ok()) Report(committed.message());
  RecordValue.reset();  // Lets the next run in.
}

void TWebSite::RemoveStaleOutputs() {
  std::vector<TSiteRecord::TUnconfirmed> stale = Record().UnconfirmedOutputs();
  // Files first, then folders from the deepest, so that a folder emptied here can go too.
  std::stable_partition(stale.begin(), stale.end(), [](const TSiteRecord::TUnconfirmed& entry) {
    return entry.Output.Kind != TOutputKind::kFolder;
  });
  std::sort(std::find_if(stale.begin(), stale.end(),
                         [](const TSiteRecord::TUnconfirmed& entry) {
                           return entry.Output.Kind == TOutputKind::kFolder;
                         }),
            stale.end(), [](const auto& a, const auto& b) { return a.Path.size() > b.Path.size(); });
  const std::filesystem::path site(PictureTree->szFullFileName());
  for (const TSiteRecord::TUnconfirmed& entry : stale) {
    const std::filesystem::path path = site / entry.Path;
    if (entry.Output.Kind == TOutputKind::kFolder) {
      // Only an empty folder goes: what is left in it is the user's.
      ::rmdir(path.c_str());
      Record().ForgetOutput(entry.Path);
      continue;
    }
    const TClaimResult claim =
        Record().Claim(path, entry.Output, [](const std::filesystem::path&) { return false; });
    if (claim.Claim == TClaim::kOurs) {
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        Report("Cannot remove " + path.string() + ", which the site no longer uses: " +
               std::strerror(errno));
        continue;
      }
      const bool page = entry.Output.Kind == TOutputKind::kPage;
      ++(!entry.SourceGone ? StatsValue.OtherRemoved
                            : (page ? StatsValue.PagesRemoved : StatsValue.ImagesRemoved));
    } else if (claim.Claim != TClaim::kAbsent) {
      DiagnosticsSink.Notice(path.string() +
                             " is kept: the site no longer uses it, but it was changed since "
                             "Pixamond wrote it");
    }
    Record().ForgetOutput(entry.Path);
  }
}

bool TWebSite::IsOwnOutputFile(const FileItem& file) const {
  const std::string sitePath = SitePath(file.szFullFileName());
  if (Record().FindOutput(sitePath)) return true;
  if (!Record().IsNew()) return false;
  // A site made before the record: an image no larger than this run would make it, beside
  // an index page of this program's, is taken for one of the inline or detail images that
  // run made. A full-size picture never is.
  const FileItem* folder = file.Parent();
  const bool detail = folder != nullptr && folder->szFileName() == kDetailImageDirName;
  const FileItem* directory = folder != nullptr ? folder->Parent() : nullptr;
  if (detail && directory != nullptr) directory = directory->Parent();
  if (directory == nullptr ||
      !IsPageOfThisProgram(directory->szFullFileName() + "/index." + Names().page_dos_file_ext)) {
    return false;
  }
  int width = 0;
  int height = 0;
  if (!GetWebImageSize(file.szFullFileName(), &width, &height).ok()) return false;
  const TImageSize box =
      detail ? TImageSize{run_settings_.detail_image_max_size, run_settings_.detail_image_max_size}
             : LargestInlineImage(MaxDisplayWidth(), MaxDisplayHeight(),
                                  run_settings_.in_line_pixel_density);
  return width - 2 <= box.Width && height - 2 <= box.Height;
}

std::string TWebSite::SitePath(std::string_view path) const { return Record().SitePath(path); }

Status TWebSite::EnsureOutputFolder(const std::string& directory) const {
  {
    std::lock_guard<std::mutex> lock(FoldersMutex);
    if (FoldersEnsured.count(directory) > 0) return Status::OK();
  }
  const std::string sitePath = SitePath(directory);
  struct stat info;
  if (::lstat(directory.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      return Status::Refused(directory + " is a link; nothing is written through a link");
    }
    if (!S_ISDIR(info.st_mode)) {
      return Status::Refused(directory + " is a file of yours, not a folder");
    }
    // A folder the run made before stays the run's; one it found is not recorded, so that
    // an empty folder of the user's is never removed.
    if (Record().FindOutput(sitePath)) Record().ConfirmOutput(sitePath);
  } else if (::mkdir(directory.c_str(), 0777) == 0) {
    TRecordedOutput folder;
    folder.Kind = TOutputKind::kFolder;
    Record().RecordOutput(sitePath, folder);
  } else if (errno != EEXIST) {
    return Status::IoError("Cannot create the directory " + directory + ": " +
                           std::strerror(errno));
  }
  std::lock_guard<std::mutex> lock(FoldersMutex);
  FoldersEnsured.insert(directory);
  return Status::OK();
}

std::optional<TPictureFacts> TWebSite::TakePictureFacts(const FileItem& picture) {
  if (!Pool) return std::nullopt;
  return Pool->Take(picture);
}

std::vector<const FileItem*> TWebSite::ListPicturesInWalkOrder(const FileItem& directory,
                                                                const SiteNames& names) {
  std::vector<const FileItem*> pictures;
  // An explicit stack of directories still to list, so that no tree is too deep.
  struct Pending {
    const FileItem* Directory;
    bool bSubDirectoriesListed;
  };
  std::vector<Pending> stack{{&directory, false}};
  while (!stack.empty()) {
    Pending& top = stack.back();
    const FileItem* current = top.Directory;
    if (!top.bSubDirectoriesListed) {
      top.bSubDirectoriesListed = true;
      // Pushed in reverse, so that they are listed in name order.
      std::vector<const FileItem*> subDirectories;
      for (const FileItem* item = current->FirstChild(); item; item = item->NextItem()) {
        if (IsSubPageDir(*item, names)) subDirectories.push_back(item);
      }
      for (auto it = subDirectories.rbegin(); it != subDirectories.rend(); ++it) {
        stack.push_back({*it, false});
      }
      continue;
    }
    stack.pop_back();
    for (const FileItem* item = current->FirstChild(); item; item = item->NextItem()) {
      if (IsSitePicture(*item)) pictures.push_back(item);
    }
  }
  return pictures;
}

void TWebSite::Report(const std::string& text) {
  ++StatsValue.ProblemsReported;
  Ui.ShowMessage(text, "Error", MessageButtons::kOk, MessageIcon::kStop);
}

bool TWebSite::Cancelled() const { return bCancelled || ProgressSink.CancelRequested(); }

}  // namespace pix
