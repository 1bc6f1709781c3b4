#include "layout/config.h"

#include "base/check.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/utils.h"
#include "layout/pictureitem.h"
#include "site/siterecord.h"

namespace pix {
namespace {

// The settings entries of the settings items.
constexpr TIniEntry kGeneralSettingsEntries[] = {
    {kAutoOrganizeLayout, kDeleteHTMLFirst},
    {kAutoOrganizeLayout, kPicturesPerGroup},
};
constexpr TIniEntry kUserEntries[] = {
    {kHTMLDefaults, kPersonFullName},
    {kHTMLDefaults, kEMailAddress},
};
constexpr TIniEntry kImagesEntries[] = {
    {kDisplay, kMaxDisplayWidth},
    {kDisplay, kMaxDisplayHeight},
};
constexpr TIniEntry kNamesEntries[] = {
    {kFileExtensions, kAnchorFileExtList},
    {kFileExtensions, kInLineFileExt},
    {kFileExtensions, kPageDOSFileExt},
    {kFileExtensions, kPageHTMLFileExt},
};
constexpr TIniEntry kMatchPagesEntries[] = {
    {kAutoOrganizeLayout, kMinMatchPerPage},
    {kAutoOrganizeLayout, kDoAutoOrganize},
};

template <std::size_t N>
constexpr int CountOf(const TIniEntry (&)[N]) {
  return static_cast<int>(N);
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  AppendWithSep(path, '/', name);
  return path;
}

// One box for everything a save could not do, so that a save with many failures asks for
// one answer, not one per file.
void ReportSaveFailures(const std::vector<Status>& failures, UserInterface& ui) {
  if (failures.empty()) return;
  std::string text = "Some of the layout could not be saved; everything else was saved.\n";
  for (const Status& failure : failures) text += "\n" + failure.message();
  ui.ShowMessage(text, "Error", MessageButtons::kOk, MessageIcon::kWarning);
}

}  // namespace

std::string MatchPageLabel(std::string_view baseName) {
  return std::string(baseName) + " Match Page";
}

// ---- TConfigItem -------------------------------------------------------------------------

TConfigItem::TConfigItem(std::string_view label, TVarNameIds names) : szLabel(label) {
  PIX_CHECK(!label.empty());
  for (std::string_view name : names) AddVarAt(name, "", ItemCount());
}

TConfigItem::TConfigItem(TParentLink link, std::string_view label, TVarNameIds names)
    : TConfigItem(label, names) {
  Parent = &link.Parent();
  LevelValue = Parent->LevelValue + 1;
}

TConfigItem::~TConfigItem() { DeleteChildren(); }

void TConfigItem::DeleteChildren() {
  while (!ppChild.empty()) {
    std::unique_ptr<TConfigItem> child = std::move(ppChild.back());
    ppChild.pop_back();
    child.reset();
  }
}

int TConfigItem::GetBitmapId() const { return kBitmapItem; }

bool TConfigItem::IsModified() const {
  if (Modified) return true;
  for (const auto& child : ppChild) {
    if (child->IsModified()) return true;
  }
  return false;
}

Status TConfigItem::Save() { return Status::OK(); }

bool TConfigItem::CanDelete() const { return false; }

bool TConfigItem::CanOpen() const { return false; }

void TConfigItem::Open(UserInterface& ui) {
  ui.ShowMessage("Unable to open this item.", "Warning", MessageButtons::kOk, MessageIcon::kWarning);
}

void TConfigItem::ShowPreview(PreviewTarget*) {}

void TConfigItem::Load() {}

bool TConfigItem::CanRename() const { return false; }

void TConfigItem::CollectDeletedFiles(std::vector<std::string>&) const {}

Trash* TConfigItem::trash() const {
  const TConfigItem* root = this;
  while (root->Parent != nullptr) root = root->Parent;
  return root->TrashBin;
}

bool TConfigItem::Rename(UserInterface&, std::string_view) { return false; }

void TConfigItem::SetLabel(std::string_view label) {
  PIX_CHECK(!label.empty());
  szLabel.assign(label);
}

void TConfigItem::CrossOutTree() {
  CrossedOut = true;
  Modified = true;
  for (const auto& child : ppChild) child->CrossOutTree();
}

void TConfigItem::UncrossTree() {
  CrossedOut = false;
  for (const auto& child : ppChild) child->UncrossTree();
}

bool TConfigItem::HasCrossedOut() const {
  if (CrossedOut) return true;
  for (const auto& child : ppChild) {
    if (child->HasCrossedOut()) return true;
  }
  return false;
}

std::vector<Status> TConfigItem::SaveTree(UserInterface* ui) {
  std::vector<Status> failures;
  // The items saved, with whether their save succeeded; their flags are cleared at the end,
  // since a parent decides by its children's flags whether it is modified itself.
  std::vector<std::pair<TConfigItem*, bool>> saved;
  // Depth first, children before their parent, without recursion: a stack of (item, next
  // child) pairs.
  std::vector<std::pair<TConfigItem*, int>> stack{{this, 0}};
  while (!stack.empty()) {
    auto& [item, next] = stack.back();
    if (next < item->ChildCount()) {
      TConfigItem* child = item->Child(next++);
      stack.emplace_back(child, 0);
      continue;
    }
    if (item->IsModified()) {
      Status status = item->Save();
      saved.emplace_back(item, status.ok());
      if (!status.ok()) {
        failures.push_back(std::move(status));
      } else if (item->CrossedOut) {
        // Deleted: the list stops showing it. An item whose deletion failed stays listed.
        item->Shown = false;
      }
    }
    stack.pop_back();
  }
  const auto succeeded = [&saved](const TConfigItem* item) {
    for (const auto& [savedItem, ok] : saved) {
      if (savedItem == item) return ok;
    }
    return false;
  };
  for (const auto& [item, ok] : saved) {
    // A piece is stored by its group: it is saved when the group's save succeeded.
    if (ok && (!item->SavedByParent() || succeeded(item->Parent))) item->Modified = false;
  }
  if (ui != nullptr) ReportSaveFailures(failures, *ui);
  return failures;
}

// ---- TBadDirectoryItem -------------------------------------------------------------------

TBadDirectoryItem::TBadDirectoryItem(TParentLink parent) : TConfigItem(parent, "No Dir Selected") {}

// ---- TDirectoryItem: the build of the site's part of the tree ------------------------------

TDirectoryItem::TDirectoryItem(TParentLink parent, FileItem* dirFileItem, std::string_view label,
                               std::string varFileName, TTreeBuildContext& context)
    : TPageItem(parent, label, std::move(varFileName), {kPageTitle, kPageLabel, kPageIntro}),
      DirFileItemValue(dirFileItem) {
  PIX_CHECK(DirFileItemValue != nullptr);
  for (FileItem* entry = DirFileItemValue->FirstChild(); entry != nullptr;
       entry = entry->NextItem()) {
    const std::string_view name = entry->szFileName();
    if (IsDirectory(*entry)) {
      if (IsSubPageDir(*entry, context.Names)) {
        AddChild<TDirectoryItem>(entry, name, JoinPath(entry->szFullFileName(), "index.txt"),
                                 context);
      }
      continue;
    }
    if (IsSitePicture(*entry)) {
      AddChild<TPictureItem>(name, entry->szFullFileName(), context, entry);
    }
  }
}

// ---- TRootConfigItem ---------------------------------------------------------------------

TRootConfigItem::TRootConfigItem(std::string programDir, std::string siteDir, UserInterface* ui)
    : TConfigItem("My Web Site"),
      szProgramDir(std::move(programDir)),
      szSiteDir(std::move(siteDir)) {
  const std::string& p = szProgramDir;

  DefaultPageItem = AddChild<TGroupItem>("Default Page", JoinPath(p, "globals.txt"));
  DefaultPageItem->AddChild<TPieceItem>(
      "Page Start", TVarNameIds{kPageHeadTemplate, kPageIntro, kPageTitle, kPageLabel,
                                kBodyTag, kPageBodyTemplate});
  DefaultPageItem->AddChild<TPieceItem>(
      "Picture File List",
      TVarNameIds{kFileLeaderTemplate, kFileEntryTemplate, kFileTrailerTemplate,
                  kGroupLeaderTemplate, kGroupTrailerTemplate});
  DefaultPageItem->AddChild<TPieceItem>(
      "Sub-Page List",
      TVarNameIds{kDirLeaderTemplate, kDirEntryTemplate, kDirTrailerTemplate});
  DefaultPageItem->AddChild<TPieceItem>(
      "Page End",
      TVarNameIds{kPageEndTemplate, kParentPageLabel, kPossibleReturnLabel, kImageTag});
  DefaultPageItem->AddChild<TPieceItem>(
      "Detail Pages", TVarNameIds{kDetailPageTemplate, kDetailPageTitle, kDetailPageLabel});
  DefaultPageItem->AddChild<TPieceItem>(
      "Default Image Fields",
      TVarNameIds{kImageSubjectName, kImagePhotographerName, kImageDescription});

  GeneralSettingsItem = AddChild<TIniSettingsItem>("General Settings", kGeneralSettingsEntries,
                                                   CountOf(kGeneralSettingsEntries));
  GeneralSettingsItem->AddChild<TIniSettingsItem>("User", kUserEntries, CountOf(kUserEntries));
  GeneralSettingsItem->AddChild<TIniSettingsItem>("Images", kImagesEntries,
                                                  CountOf(kImagesEntries));
  GeneralSettingsItem->AddChild<TIniSettingsItem>("Names", kNamesEntries, CountOf(kNamesEntries));

  MatchPagesItem =
      AddChild<TIniSettingsItem>("Match Pages", kMatchPagesEntries, CountOf(kMatchPagesEntries));
  MatchPagesItem->AddChild<TPageItem>("Default Match Page", JoinPath(p, "mglobals.txt"));
  const std::string baseNames =
      GetIniString(kAutoOrganizeLayout, kAutoOrganizeBaseFileNames,
                   "", kMatchPageListCapacity);
  StringTokenList list(baseNames, ',');
  while (std::optional<std::string_view> token = list.GetNextToken()) {
    if (token->empty()) break;
    const std::string baseName(*token);
    MatchPagesItem->AddChild<TMatchItem>(MatchPageLabel(baseName), baseName,
                                         BuildFileName(p, baseName, "txt"));
  }

  DirIndexPagesItem = AddChild<TPageItem>("Directory Index Pages", JoinPath(p, "dglobals.txt"));
  if (ValidateSiteDirectory(szSiteDir, szProgramDir, nullptr)) {
    Result<std::unique_ptr<FileItem>> scanned = FileItem::CreateRoot(szSiteDir, true, &Problems);
    if (scanned.ok()) SiteFileListValue = std::move(scanned).value();
  }
  if (SiteFileListValue != nullptr) {
    TTreeBuildContext context;
    context.Ui = ui;
    const RunSettings settings = ReadRunSettings(szProgramDir, Problems);
    context.Names = settings.names;
    // The tree shows the pictures a run would put on the site. Which inline folders are a
    // run's the site's record knows; without one (a site not yet generated, or one a run is
    // writing now) a file named after a picture beside the folder is taken for a run's,
    // which only decides what the tree shows.
    const std::unique_ptr<SiteRecord> record = SiteRecord::OpenToRead(szSiteDir);
    const auto isOutput = [&record](const FileItem& file) {
      if (record != nullptr) {
        return record->FindOutput(record->SitePath(file.szFullFileName())).has_value();
      }
      const FileItem* directory = file.Parent() != nullptr ? file.Parent()->Parent() : nullptr;
      if (directory != nullptr && file.Parent()->szFileName() == kDetailImageDirName) {
        directory = directory->Parent();
      }
      const std::string_view name = file.szFileName();
      const std::string_view base = name.substr(0, name.size() - file.szFileExt().size());
      for (const FileItem* item = directory != nullptr ? directory->FirstChild() : nullptr;
           item != nullptr; item = item->NextItem()) {
        const std::string_view other = item->szFileName();
        if (!IsDirectory(*item) && other.substr(0, other.size() - item->szFileExt().size()) == base) {
          return true;
        }
      }
      return false;
    };
    for (const std::string& leftOut : SettlePictureNames(
             *SiteFileListValue, settings.names, settings.MatchPageNames(), isOutput)) {
      Problems.Problem(leftOut);
    }
    FileItem& node = *SiteFileListValue;
    RootDirItem = DirIndexPagesItem->AddChild<TDirectoryItem>(
        &node, node.szFullFileName(), JoinPath(node.szFullFileName(), "index.txt"), context);
  } else {
    // A directory that passes the checks but cannot be listed (it was removed, or it is
    // not a directory) is no more usable than one that fails them.
    DirIndexPagesItem->AddChild<TBadDirectoryItem>();
  }
}

TRootConfigItem::~TRootConfigItem() { DeleteChildren(); }

}  // namespace pix
