#include "site/website.h"

#include <unistd.h>

#include <iostream>
#include <thread>

#include "base/progress.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/stringtable.h"
#include "files/utils.h"
#include "picture/gifrsize.h"
#include "site/dirindex.h"
#include "site/inlinepool.h"
#include "site/pictureentry.h"
#include "site/template.h"

namespace pix {

TWebSite::TWebSite(std::string siteDirectory, std::string programDirectory, TUserInterface& ui,
                   TProgress& progress)
    : szSiteDirectory(std::move(siteDirectory)),
      szProgramDirectory(std::move(programDirectory)),
      Ui(ui),
      ProgressSink(progress) {
  StripTrailingChar(szSiteDirectory, '/');
  if (szSiteDirectory.empty()) szSiteDirectory = "/";
  szSettingsPath = BuildFileName(szProgramDirectory, "pixamond", "ini");
}

TWebSite::~TWebSite() = default;  // Out of line: the pool's type is complete here.

Status TWebSite::Prepare() {
  const std::string_view autoSection = StringTable[idsAutoOrganizeLayout];
  bAutoOrganize = GetIniBool(autoSection, StringTable[idsDoAutoOrganize], false);
  const std::string fullName = RequireFullName(Ui);
  const std::string_view userSection = StringTable[idsHTMLDefaults];
  const std::string email = GetIniString(userSection, StringTable[idsEMailAddress]);

  SiteGlobalArray.SetVar(StringTable[idsPersonFullName], fullName);
  SiteGlobalArray.SetVar(StringTable[idsEMailAddress], email);
  SiteGlobalArray.ParseVarText(LoadVarFileText("globals", szProgramDirectory));
  SiteDirGlobalArray.ParseVarText(LoadVarFileText("dglobals", szProgramDirectory));
  SiteMatchGlobalArray.ParseVarText(LoadVarFileText("mglobals", szProgramDirectory));

  const std::string_view extSection = StringTable[idsFileExtensions];
  szAnchorFileExtList = GetIniString(extSection, StringTable[idsAnchorFileExtList], "jpg", 20);
  szInLineFileExt = GetIniString(extSection, StringTable[idsInLineFileExt], "gif", 20);
  szPageDOSFileExt = GetIniString(extSection, StringTable[idsPageDOSFileExt], "html", 20);
  szPageHTMLFileExt = GetIniString(extSection, StringTable[idsPageHTMLFileExt], "html", 20);
  if (!EqualsNoCase(szInLineFileExt, "gif")) {
    // Inline images are always GIF files; a name that says otherwise would mislead.
    std::cerr << "InLineFileExt \"" << szInLineFileExt
              << "\" is not supported: inline images are GIF files and end in .gif\n";
    szInLineFileExt = "gif";
  }
  const TDisplaySize box = ReadMaxDisplaySize();
  MaxDisplayWidthValue = box.Width;
  MaxDisplayHeightValue = box.Height;
  szInLineSubDirName = GetInLineSubDirName();

  if (GetIniBool(autoSection, StringTable[idsDeleteHTMLFirst], false)) PurgeOldPages();
  PrepareGifPictures(szSiteDirectory);

  Result<std::unique_ptr<TFileItem>> tree = TFileItem::CreateRoot(szSiteDirectory, true);
  if (!tree.ok()) return tree.status();
  PictureTree = std::move(tree).value();
  return Status::OK();
}

void TWebSite::PurgeOldPages() {
  Result<std::unique_ptr<TFileItem>> tree = TFileItem::CreateRoot(szSiteDirectory, true);
  if (!tree.ok()) return;
  for (const TFileItem* item = (*tree)->FirstChild(); item != nullptr; item = NextInTree(*item)) {
    if (IsDirectory(*item)) continue;
    std::string_view ext = item->szFileExt();
    if (!ext.empty()) ext.remove_prefix(1);
    if (!EqualsNoCase(ext, "htm") && !EqualsNoCase(ext, "html")) continue;
    if (::unlink(item->szFullFileName().c_str()) != 0) {
      Report("Cannot delete the old page " + item->szFullFileName());
    }
  }
}

void TWebSite::PrepareGifPictures(const std::string& directory) {
  Result<std::unique_ptr<TFileItem>> list = TFileItem::CreateRoot(directory, false);
  if (!list.ok()) return;
  for (const TFileItem* item = (*list)->FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsDirectory(*item)) {
      // Links to directories are not followed, so a link cannot lead the run in circles.
      if (IsSubPageDir(*item) && (item->Attrib() & kAttribSymLink) == 0) {
        PrepareGifPictures(item->szFullFileName());
      }
      continue;
    }
    // A GIF beside a JPEG of the same name is left out of the site (see IsPictureFile) but
    // kept on the disk: it may be the user's own picture, not an old copy.
    if (!EqualsNoCase(item->szFileExt(), ".gif") || HasJpegTwin(*item)) continue;
    const std::string& path = item->szFullFileName();
    const Result<bool> interlaced = IsGifInterlaced(path);
    if (interlaced.ok() && *interlaced) {
      // Replaced only by a complete copy; a GIF that cannot be replaced stays as it is.
      const Status done = DeinterlaceGifInPlace(path);
      if (!done.ok()) {
        Report("Cannot rewrite the interlaced GIF file " + path + ": " + done.message());
      }
    }
  }
}

int TWebSite::GetStepCount() const {
  if (!PictureTree) return 0;
  int count = 0;
  const TFileItem* item = PictureTree->FirstChild();
  while (item != nullptr) {
    if (IsDirectory(*item) && !IsSubPageDir(*item)) {
      // Skip the inline directory and everything in it.
      const TFileItem* next = item;
      while (next != nullptr && next->NextItem() == nullptr) next = next->Parent();
      item = next != nullptr ? next->NextItem() : nullptr;
      continue;
    }
    if (IsPictureFile(*item)) ++count;
    item = NextInTree(*item);
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
    Pool = std::make_unique<TInlineImagePool>(*this, ListPicturesInWalkOrder(*PictureTree), Jobs);
  }
  {
    TDirIndexPage rootPage(*PictureTree, *this, nullptr);
    rootPage.Generate();
    rootPage.Close();
  }
  Pool.reset();
}

std::optional<TPictureFacts> TWebSite::TakePictureFacts(const TFileItem& picture) {
  if (!Pool) return std::nullopt;
  return Pool->Take(picture);
}

std::vector<const TFileItem*> TWebSite::ListPicturesInWalkOrder(const TFileItem& directory) {
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
        if (IsSubPageDir(*item)) subDirectories.push_back(item);
      }
      for (auto it = subDirectories.rbegin(); it != subDirectories.rend(); ++it) {
        stack.push_back({*it, false});
      }
      continue;
    }
    stack.pop_back();
    for (const TFileItem* item = current->FirstChild(); item; item = item->NextItem()) {
      if (IsPictureFile(*item)) pictures.push_back(item);
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
