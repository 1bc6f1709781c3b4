#include "site/website.h"

#include <unistd.h>

#include <filesystem>
#include <thread>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "base/safefile.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "files/stringtable.h"
#include "files/utils.h"
#include "picture/decjpeg.h"
#include "picture/gifrsize.h"
#include "site/dirindex.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/pictureentry.h"
#include "site/template.h"

namespace pix {

TWebSite::TWebSite(std::string siteDirectory, std::string programDirectory, TUserInterface& ui,
                   TProgress& progress, TDiagnostics& diagnostics)
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
  RunSettings = ReadRunSettings(szProgramDirectory, DiagnosticsSink);
  RequireFullName(RunSettings, Ui, DiagnosticsSink);

  SiteGlobalArray.SetVar(StringTable[idsPersonFullName], RunSettings.szPersonFullName);
  SiteGlobalArray.SetVar(StringTable[idsEMailAddress], RunSettings.szEMailAddress);
  // Companions for text: the user's own words may hold "&" or "<".
  SiteGlobalArray.SetVar("PersonFullNameHTML", HtmlEscape(RunSettings.szPersonFullName));
  SiteGlobalArray.SetVar("EMailAddressHTML", HtmlEscape(RunSettings.szEMailAddress));
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

  // The tree is listed once; the purge and the GIF preparation work on it.
  Result<std::unique_ptr<TFileItem>> tree =
      TFileItem::CreateRoot(szSiteDirectory, true, &DiagnosticsSink);
  if (!tree.ok()) return tree.status();
  PictureTree = std::move(tree).value();
  // What an interrupted run left behind goes, in the site and in the layout home.
  for (const std::string& leftover : PictureTree->LeftoverTemporaries()) {
    RemoveLeftoverTemporary(leftover);
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(szProgramDirectory, error)) {
    RemoveLeftoverTemporary(entry.path());
  }
  // Whose an inline-named folder is, and which pictures keep their names, is settled on
  // the tree as listed, before anything changes on the disk: two pictures never share a
  // page or an inline image, nor does a picture take the page of an index or match page;
  // what is left out is reported, and nothing is overwritten.
  for (const std::string& leftOut :
       SettlePictureNames(*PictureTree, Names(), RunSettings.MatchPageNames())) {
    DiagnosticsSink.Problem(leftOut);
  }
  if (RunSettings.bDeleteHTMLFirst) PurgeOldPages();
  PrepareGifPictures();
  return Status::OK();
}

void TWebSite::PurgeOldPages() {
  for (const TFileItem* item = PictureTree->FirstChild(); item != nullptr;
       item = NextInTree(*item)) {
    if (IsDirectory(*item)) continue;
    std::string_view ext = item->szFileExt();
    if (!ext.empty()) ext.remove_prefix(1);
    if (!EqualsNoCase(ext, "htm") && !EqualsNoCase(ext, "html")) continue;
    // Only the pages this program wrote go: a page of the user's own stays.
    if (!IsPageOfThisProgram(item->szFullFileName())) {
      DiagnosticsSink.Problem(item->szFullFileName() +
                              " is kept: DeleteHTMLFirst deletes only pages Pixamond wrote");
      continue;
    }
    if (::unlink(item->szFullFileName().c_str()) != 0) {
      Report("Cannot delete the old page " + item->szFullFileName());
    }
  }
}

void TWebSite::PrepareGifPictures() {
  // Links to directories are never listed into, so a link cannot lead the run in circles.
  for (TFileItem* item = PictureTree->FirstChild(); item != nullptr;
       item = const_cast<TFileItem*>(NextSiteItem(*item, Names()))) {
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
  for (const TFileItem* item = PictureTree->FirstChild(); item != nullptr;
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
  Facts.Load(PictureTree->szFullFileName());
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
  // Notes that cannot be written cost the next run only time; a file in their place that is
  // not this program's is the user's, and its refusal is said like any other.
  if (const Status saved = Facts.Save(!Cancelled()); !saved.ok()) {
    if (saved.code() == Status::Code::kRefused) {
      Report(saved.message());
    } else {
      DiagnosticsSink.Detail("The notes for the next run are not saved: " + saved.message());
    }
  }
}

std::string TWebSite::SitePath(std::string_view path) const {
  const std::string& root = PictureTree->szFullFileName();
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
      path[root.size()] == '/') {
    return std::string(path.substr(root.size() + 1));
  }
  return std::string(path);
}

Status TWebSite::PrepareInlineDirectory(const std::filesystem::path& directory) const {
  std::lock_guard<std::mutex> lock(InlineDirectoriesMutex);
  const auto [settled, bNew] = InlineDirectories.try_emplace(directory.string());
  if (!bNew) return settled->second;
  std::error_code error;
  if (std::filesystem::is_symlink(directory, error)) {
    settled->second = Status::InvalidArgument(
        directory.string() + " is a link; inline images are never written through a link");
  } else {
    // A directory that cannot be made shows in the inline image's own failure.
    std::filesystem::create_directory(directory, error);
  }
  return settled->second;
}

std::optional<TPictureFacts> TWebSite::TakePictureFacts(const TFileItem& picture) {
  if (!Pool) return std::nullopt;
  return Pool->Take(picture);
}

std::vector<const TFileItem*> TWebSite::ListPicturesInWalkOrder(const TFileItem& directory,
                                                                const TSiteNames& names) {
  std::vector<const TFileItem*> pictures;
  // An explicit stack of directories still to list, so that no tree is too deep.
  struct Pending {
    const TFileItem* Directory;
    bool bSubDirectoriesListed;
  };
  std::vector<Pending> stack{{&directory, false}};
  while (!stack.empty()) {
    Pending& top = stack.back();
    const TFileItem* current = top.Directory;
    if (!top.bSubDirectoriesListed) {
      top.bSubDirectoriesListed = true;
      // Pushed in reverse, so that they are listed in name order.
      std::vector<const TFileItem*> subDirectories;
      for (const TFileItem* item = current->FirstChild(); item; item = item->NextItem()) {
        if (IsSubPageDir(*item, names)) subDirectories.push_back(item);
      }
      for (auto it = subDirectories.rbegin(); it != subDirectories.rend(); ++it) {
        stack.push_back({*it, false});
      }
      continue;
    }
    stack.pop_back();
    for (const TFileItem* item = current->FirstChild(); item; item = item->NextItem()) {
      if (IsSitePicture(*item)) pictures.push_back(item);
    }
  }
  return pictures;
}

void TWebSite::Report(const std::string& text) {
  ++StatsValue.ProblemsReported;
  Ui.ShowMessage(text, "Error", MessageButtons::Ok, MessageIcon::Stop);
}

bool TWebSite::Cancelled() const { return bCancelled || ProgressSink.CancelRequested(); }

}  // namespace pix
