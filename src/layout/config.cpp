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
constexpr IniEntry kGeneralSettingsEntries[] = {
    {kAutoOrganizeLayout, kDeleteHTMLFirst},
    {kAutoOrganizeLayout, kPicturesPerGroup},
};
constexpr IniEntry kUserEntries[] = {
    {kHTMLDefaults, kPersonFullName},
    {kHTMLDefaults, kEMailAddress},
};
constexpr IniEntry kImagesEntries[] = {
    {kDisplay, kMaxDisplayWidth},
    {kDisplay, kMaxDisplayHeight},
};
constexpr IniEntry kNamesEntries[] = {
    {kFileExtensions, kAnchorFileExtList},
    {kFileExtensions, kInLineFileExt},
    {kFileExtensions, kPageDOSFileExt},
    {kFileExtensions, kPageHTMLFileExt},
};
constexpr IniEntry kMatchPagesEntries[] = {
    {kAutoOrganizeLayout, kMinMatchPerPage},
    {kAutoOrganizeLayout, kDoAutoOrganize},
};

template <std::size_t N>
constexpr int CountOf(const IniEntry (&)[N]) {
  return static_cast<int>(N);
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

std::string MatchPageLabel(std::string_view base_name) {
  return std::string(base_name) + " Match Page";
}

// ---- ConfigItem -------------------------------------------------------------------------

ConfigItem::ConfigItem(std::string_view label, VarNameIds names) : label_(label) {
  PIX_CHECK(!label.empty());
  for (std::string_view name : names) AddVarAt(name, "", ItemCount());
}

ConfigItem::ConfigItem(ParentLink link, std::string_view label, VarNameIds names)
    : ConfigItem(label, names) {
  parent_ = &link.Parent();
  level_ = parent_->level_ + 1;
}

ConfigItem::~ConfigItem() { DeleteChildren(); }

void ConfigItem::DeleteChildren() {
  while (!children_.empty()) {
    std::unique_ptr<ConfigItem> child = std::move(children_.back());
    children_.pop_back();
    child.reset();
  }
}

int ConfigItem::GetBitmapId() const { return kBitmapItem; }

bool ConfigItem::IsModified() const {
  if (modified_) return true;
  for (const auto& child : children_) {
    if (child->IsModified()) return true;
  }
  return false;
}

Status ConfigItem::Save() { return Status::OK(); }

bool ConfigItem::CanDelete() const { return false; }

bool ConfigItem::CanOpen() const { return false; }

void ConfigItem::Open(UserInterface& ui) {
  ui.ShowMessage("Unable to open this item.", "Warning", MessageButtons::kOk, MessageIcon::kWarning);
}

void ConfigItem::ShowPreview(PreviewTarget*) {}

void ConfigItem::Load() {}

bool ConfigItem::CanRename() const { return false; }

void ConfigItem::CollectDeletedFiles(std::vector<std::string>&) const {}

const std::string& ConfigItem::layout_home() const {
  const ConfigItem* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return root->layout_home_;
}

SettingsFile ConfigItem::settings() const {
  const std::string& home = layout_home();
  PIX_CHECK(!home.empty());
  return SettingsFile(home);
}

Trash* ConfigItem::trash() const {
  const ConfigItem* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return root->trash_bin_;
}

bool ConfigItem::Rename(UserInterface&, std::string_view) { return false; }

void ConfigItem::SetLabel(std::string_view label) {
  PIX_CHECK(!label.empty());
  label_.assign(label);
}

void ConfigItem::CrossOutTree() {
  crossed_out_ = true;
  modified_ = true;
  for (const auto& child : children_) child->CrossOutTree();
}

void ConfigItem::UncrossTree() {
  crossed_out_ = false;
  for (const auto& child : children_) child->UncrossTree();
}

bool ConfigItem::HasCrossedOut() const {
  if (!shown_) return false;  // Deleted already: its files are gone.
  if (crossed_out_) return true;
  for (const auto& child : children_) {
    if (child->HasCrossedOut()) return true;
  }
  return false;
}

std::vector<Status> ConfigItem::SaveTree(UserInterface* ui) {
  std::vector<Status> failures;
  // The items saved, with whether their save succeeded; their flags are cleared at the end,
  // since a parent decides by its children's flags whether it is modified itself.
  std::vector<std::pair<ConfigItem*, bool>> saved;
  // Depth first, children before their parent, without recursion: a stack of (item, next
  // child) pairs.
  std::vector<std::pair<ConfigItem*, int>> stack{{this, 0}};
  while (!stack.empty()) {
    auto& [item, next] = stack.back();
    if (next < item->ChildCount()) {
      ConfigItem* child = item->Child(next++);
      stack.emplace_back(child, 0);
      continue;
    }
    if (item->IsModified()) {
      Status status = item->Save();
      saved.emplace_back(item, status.ok());
      if (!status.ok()) {
        failures.push_back(std::move(status));
      } else if (item->crossed_out_) {
        // Deleted: the list stops showing it, and nothing is left to ask about it
        // (HasCrossedOut passes it over). An item whose deletion failed stays listed and
        // crossed out.
        item->shown_ = false;
      }
    }
    stack.pop_back();
  }
  const auto succeeded = [&saved](const ConfigItem* item) {
    for (const auto& [savedItem, ok] : saved) {
      if (savedItem == item) return ok;
    }
    return false;
  };
  for (const auto& [item, ok] : saved) {
    // A piece is stored by its group: it is saved when the group's save succeeded.
    if (ok && (!item->SavedByParent() || succeeded(item->parent_))) item->modified_ = false;
  }
  if (ui != nullptr) ReportSaveFailures(failures, *ui);
  return failures;
}

// ---- BadDirectoryItem -------------------------------------------------------------------

BadDirectoryItem::BadDirectoryItem(ParentLink parent) : ConfigItem(parent, "No Dir Selected") {}

// ---- DirectoryItem: the build of the site's part of the tree ------------------------------

DirectoryItem::DirectoryItem(ParentLink parent, FileItem* dir_file_item, std::string_view label,
                               std::string var_file_name, TreeBuildContext& context)
    : PageItem(parent, label, std::move(var_file_name), {kPageTitle, kPageLabel, kPageIntro}),
      dir_file_item_(dir_file_item) {
  PIX_CHECK(dir_file_item_ != nullptr);
  for (FileItem* entry = dir_file_item_->FirstChild(); entry != nullptr;
       entry = entry->NextItem()) {
    const std::string_view name = entry->FileName();
    if (IsDirectory(*entry)) {
      if (IsSubPageDir(*entry, context.names)) {
        AddChild<DirectoryItem>(entry, name, JoinPath(entry->FullFileName(), "index.txt"),
                                 context);
      }
      continue;
    }
    // Videos have no caption of their own to edit: they are not picture items.
    if (IsSitePicture(*entry) && !IsVideoFile(*entry)) {
      AddChild<PictureItem>(name, entry->FullFileName(), context, entry);
    }
  }
}

// ---- RootConfigItem ---------------------------------------------------------------------

RootConfigItem::RootConfigItem(std::string home, std::string site_dir, UserInterface* ui)
    : ConfigItem("My Web Site"), site_dir_(std::move(site_dir)) {
  SetLayoutHome(std::move(home));
  const std::string& p = layout_home();

  default_page_item = AddChild<GroupItem>("Default Page", JoinPath(p, "globals.txt"));
  default_page_item->AddChild<PieceItem>(
      "Page Start", VarNameIds{kPageHeadTemplate, kPageIntro, kPageTitle, kPageLabel,
                                kBodyTag, kPageBodyTemplate});
  default_page_item->AddChild<PieceItem>(
      "Picture File List",
      VarNameIds{kFileLeaderTemplate, kFileEntryTemplate, kFileTrailerTemplate,
                  kGroupLeaderTemplate, kGroupTrailerTemplate});
  default_page_item->AddChild<PieceItem>(
      "Sub-Page List",
      VarNameIds{kDirLeaderTemplate, kDirEntryTemplate, kDirTrailerTemplate});
  default_page_item->AddChild<PieceItem>(
      "Page End",
      VarNameIds{kPageEndTemplate, kParentPageLabel, kPossibleReturnLabel, kImageTag});
  default_page_item->AddChild<PieceItem>(
      "Detail Pages", VarNameIds{kDetailPageTemplate, kDetailPageTitle, kDetailPageLabel});
  default_page_item->AddChild<PieceItem>(
      "Default Image Fields",
      VarNameIds{kImageSubjectName, kImagePhotographerName, kImageDescription});

  general_settings_item = AddChild<IniSettingsItem>("General Settings", kGeneralSettingsEntries,
                                                   CountOf(kGeneralSettingsEntries));
  general_settings_item->AddChild<IniSettingsItem>("User", kUserEntries, CountOf(kUserEntries));
  general_settings_item->AddChild<IniSettingsItem>("Images", kImagesEntries,
                                                  CountOf(kImagesEntries));
  general_settings_item->AddChild<IniSettingsItem>("Names", kNamesEntries, CountOf(kNamesEntries));

  match_pages_item =
      AddChild<IniSettingsItem>("Match Pages", kMatchPagesEntries, CountOf(kMatchPagesEntries));
  match_pages_item->AddChild<PageItem>("Default Match Page", JoinPath(p, "mglobals.txt"));
  const std::string base_names =
      settings().GetString(kAutoOrganizeLayout, kAutoOrganizeBaseFileNames, "",
                           kMatchPageListCapacity);
  StringTokenList list(base_names, ',');
  while (std::optional<std::string_view> token = list.GetNextToken()) {
    if (token->empty()) break;
    const std::string base_name(*token);
    match_pages_item->AddChild<MatchItem>(MatchPageLabel(base_name), base_name,
                                         BuildFileName(p, base_name, "txt"));
  }

  dir_index_pages_item = AddChild<PageItem>("Directory Index Pages", JoinPath(p, "dglobals.txt"));
  if (ValidateSiteDirectory(site_dir_, layout_home(), nullptr)) {
    Result<std::unique_ptr<FileItem>> scanned = FileItem::CreateRoot(site_dir_, true, &problems_);
    if (scanned.ok()) site_file_list_ = std::move(scanned).value();
  }
  if (site_file_list_ != nullptr) {
    TreeBuildContext context;
    context.ui = ui;
    const RunSettings settings = ReadRunSettings(layout_home(), problems_);
    context.names = settings.names;
    // The tree shows the pictures a run would put on the site. Which inline folders are a
    // run's the site's record knows; without one (a site not yet generated, or one a run is
    // writing now) a file named after a picture beside the folder is taken for a run's,
    // which only decides what the tree shows.
    const std::unique_ptr<SiteRecord> record = SiteRecord::OpenToRead(site_dir_);
    const auto is_output = [&record](const FileItem& file) {
      if (record != nullptr) {
        return record->FindOutput(record->SitePath(file.FullFileName())).has_value();
      }
      const FileItem* directory = file.Parent() != nullptr ? file.Parent()->Parent() : nullptr;
      if (directory != nullptr && file.Parent()->FileName() == kDetailImageDirName) {
        directory = directory->Parent();
      }
      const std::string_view name = file.FileName();
      const std::string_view base = name.substr(0, name.size() - file.Extension().size());
      for (const FileItem* item = directory != nullptr ? directory->FirstChild() : nullptr;
           item != nullptr; item = item->NextItem()) {
        const std::string_view other = item->FileName();
        if (!IsDirectory(*item) && other.substr(0, other.size() - item->Extension().size()) == base) {
          return true;
        }
      }
      return false;
    };
    for (const std::string& left_out : SettlePictureNames(
             *site_file_list_, settings.names, settings.MatchPageNames(), is_output)) {
      problems_.Problem(left_out);
    }
    FileItem& node = *site_file_list_;
    root_dir_item = dir_index_pages_item->AddChild<DirectoryItem>(
        &node, node.FullFileName(), JoinPath(node.FullFileName(), "index.txt"), context);
  } else {
    // A directory that passes the checks but cannot be listed (it was removed, or it is
    // not a directory) is no more usable than one that fails them.
    dir_index_pages_item->AddChild<BadDirectoryItem>();
  }
}

RootConfigItem::~RootConfigItem() { DeleteChildren(); }

}  // namespace pix
