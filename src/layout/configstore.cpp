// Where each kind of configuration item keeps its variables: reading them while the tree is
// built, writing them on save, deleting them when the item is crossed out, and the renames
// of directories and match pages.
#include "layout/configstore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/check.h"
#include "base/safefile.h"
#include "base/trash.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/profile.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/utils.h"
#include "layout/config.h"
#include "layout/pictureitem.h"

namespace pix {
namespace {

constexpr const char* kSearchPatternName = "SearchPattern";

// Adds the failure `status` (when it is one) to the failures kept in `first`: the first
// failure keeps its code, and later messages are added on lines of their own.
void Collect(Status& first, const Status& status) {
  if (status.ok()) return;
  if (first.ok()) {
    first = status;
  } else {
    first = Status::IoError(first.message() + "\n" + status.message());
  }
}

// The match pages beside `self` (children of the same parent) that are not crossed out.
bool AnotherMatchPageUses(const MatchItem& self, std::string_view base_name) {
  const ConfigItem* parent = self.GetParentConfigItem();
  if (parent == nullptr) return false;
  for (int i = 0; i < parent->ChildCount(); ++i) {
    const auto* other = dynamic_cast<const MatchItem*>(parent->Child(i));
    if (other == nullptr || other == &self || other->IsCrossedOut()) continue;
    if (EqualsNoCase(other->BaseName(), base_name)) return true;
  }
  return false;
}

// Refuses names that cannot be a match page: a settings key, an entry of the comma list and
// a file name of the layout home must all be able to hold them.
bool IsUsableMatchPageName(std::string_view name) {
  if (name.empty() || name == "..") return false;
  if (name.front() == ' ' || name.back() == ' ' || name.front() == ';' || name.front() == '[') {
    return false;
  }
  for (char c : name) {
    if (c == '/' || c == ',' || c == '=' || c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

}  // namespace

Status DeleteFileIfPresent(const std::string& path) {
  if (path.empty()) return Status::OK();
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return Status::OK();
  return Status::IoError("Cannot delete " + path + ": " + std::strerror(errno));
}

Status RemoveCrossedOutFile(const std::string& path, Trash* trash) {
  if (trash == nullptr || !trash->IsAvailable()) return DeleteFileIfPresent(path);
  struct stat status;
  if (path.empty() || ::lstat(path.c_str(), &status) != 0) return Status::OK();
  return trash->MoveToTrash(path);
}

Status WriteVarFile(const std::string& path, std::string_view text) {
  return WriteFileAtomically(path, text);
}

// ---- GroupItem and PieceItem -----------------------------------------------------------

GroupItem::GroupItem(ParentLink parent, std::string_view label, std::string var_file_name)
    : ConfigItem(parent, label), var_file_name_(std::move(var_file_name)) {
  Load();
}

void GroupItem::Load() { ParseVarText(LoadVarFileText(var_file_name_)); }

Status GroupItem::Save() {
  // What no piece claimed comes first, then each piece's variables in tree order.
  std::string text = FormatVarText();
  for (int i = 0; i < ChildCount(); ++i) {
    if (dynamic_cast<const PieceItem*>(Child(i)) != nullptr) text += Child(i)->FormatVarText();
  }
  return WriteVarFile(var_file_name_, text);
}

PieceItem::PieceItem(ParentLink group, std::string_view label, VarNameIds names)
    : ConfigItem(group, label, names) {
  PIX_CHECK(dynamic_cast<GroupItem*>(&group.Parent()) != nullptr);
  Load();
}

void PieceItem::Load() {
  ConfigItem* group = GetParentConfigItem();
  for (int i = 0; i < ItemCount(); ++i) {
    Variable& variable = Item(i);
    variable.SetVarValue(group->GetVarValue(variable.name()), false);
    group->DeleteVar(variable.name());
  }
}

// ---- IniSettingsItem --------------------------------------------------------------------

IniSettingsItem::IniSettingsItem(ParentLink parent, std::string_view label,
                                   const IniEntry* entries, int entry_count)
    : ConfigItem(parent, label), entry_array_(entries), entry_count_(entry_count) {
  Load();
}

void IniSettingsItem::Load() {
  for (int i = 0; i < entry_count_; ++i) {
    const std::string_view key = entry_array_[i].key;
    const std::string value = settings().GetString(entry_array_[i].section, key, "", 256);
    if (FindVar(key) != nullptr) {
      SetVar(key, value);
    } else {
      AddVarAt(key, value, ItemCount());
    }
  }
}

Status IniSettingsItem::Save() {
  // Each entry takes the value of the variable bearing its key, wherever the variable is;
  // nothing else is ever written, so the settings file cannot gain or lose keys here.
  Status failures;
  for (int i = 0; i < entry_count_; ++i) {
    const std::string_view key = entry_array_[i].key;
    const Variable* variable = FindVar(key);
    if (variable == nullptr) continue;
    Collect(failures,
            settings().WriteString(entry_array_[i].section, key, variable->value()));
  }
  return failures;
}

// ---- PageItem and DirectoryItem --------------------------------------------------------

PageItem::PageItem(ParentLink parent, std::string_view label, std::string var_file_name,
                     VarNameIds names)
    : ConfigItem(parent, label, names), var_file_name_(std::move(var_file_name)) {
  ParseVarText(LoadVarFileText(var_file_name_));
}

Status PageItem::Save() {
  if (!IsCrossedOut()) return WriteVarFile(var_file_name_, FormatVarText());
  return RemoveCrossedOutFile(var_file_name_, trash());
}

void PageItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (IsCrossedOut()) paths.push_back(var_file_name_);
}

void DirectoryItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (!IsCrossedOut()) return;
  PageItem::CollectDeletedFiles(paths);
  for (const FileItem* entry = dir_file_item_->FirstChild(); entry != nullptr;
       entry = entry->NextItem()) {
    if (!IsDirectory(*entry)) paths.push_back(entry->FullFileName());
  }
}

Status DirectoryItem::Save() {
  Status failures = PageItem::Save();
  if (!IsCrossedOut()) return failures;
  // The files as they were listed when the tree was built; sub-directories were saved (so
  // deleted) before their parent. A directory that still holds anything (its inline
  // sub-directory, files that came later) stays.
  for (const FileItem* entry = dir_file_item_->FirstChild(); entry != nullptr;
       entry = entry->NextItem()) {
    if (!IsDirectory(*entry)) {
      Collect(failures, RemoveCrossedOutFile(entry->FullFileName(), trash()));
    }
  }
  ::rmdir(dir_file_item_->FullFileName().c_str());
  return failures;
}

bool DirectoryItem::Rename(UserInterface& ui, std::string_view new_name) {
  if (new_name.find('.') != std::string_view::npos) {
    ui.ShowMessage("Do not include a '.' in the new name", "", MessageButtons::kOk,
                   MessageIcon::kNone);
    return false;
  }
  const Status renamed = RenameFileItem(*dir_file_item_, new_name);
  if (!renamed.ok()) {
    // The box keeps the program's own words and says why in its body.
    ui.ShowMessage(
        "It was not possible to change the name of the directory\n\n" + renamed.message(), "",
        MessageButtons::kOk, MessageIcon::kWarning);
    return false;
  }
  FollowFileList();
  if (dir_file_item_->Parent() == nullptr) {
    // The site directory itself: the next start must find it under its new name.
    const Status remembered = settings().WriteString(kFilesSection, kSearchDirectory,
                                             dir_file_item_->FullFileName());
    if (!remembered.ok()) {
      ui.ShowMessage(
          "The directory was renamed, but the settings could not be changed to its "
          "new name:\n" +
              remembered.message(),
          "Error", MessageButtons::kOk, MessageIcon::kWarning);
    }
  }
  return true;
}

void DirectoryItem::FollowFileList() {
  // The file list has already taken the new name into every full path below the directory;
  // every item of the subtree takes its paths from there.
  std::vector<ConfigItem*> pending{this};
  while (!pending.empty()) {
    ConfigItem* item = pending.back();
    pending.pop_back();
    if (auto* directory = dynamic_cast<DirectoryItem*>(item)) {
      std::string path = directory->dir_file_item_->FullFileName();
      AppendWithSep(path, '/', "index.txt");
      directory->var_file_name_ = std::move(path);
    } else if (auto* picture = dynamic_cast<PictureItem*>(item)) {
      picture->FollowFileItem();
    }
    for (int i = 0; i < item->ChildCount(); ++i) pending.push_back(item->Child(i));
  }
}

// ---- MatchItem --------------------------------------------------------------------------

MatchItem::MatchItem(ParentLink parent, std::string_view label, std::string base_name,
                       std::string var_file_name)
    : ConfigItem(parent, label),
      var_file_name_(std::move(var_file_name)),
      base_name_(std::move(base_name)),
      stored_base_name_(base_name_),
      stored_var_file_name_(var_file_name_) {
  AddVarAt(kSearchPatternName,
           settings().GetString(kMatchPageSearchStrings, base_name_, "", 256), ItemCount());
  AddVarAt(kPageTitle, "", ItemCount());
  AddVarAt(kPageLabel, "", ItemCount());
  AddVarAt(kPageIntro, "", ItemCount());
  ParseVarText(LoadVarFileText(var_file_name_));
}

Status MatchItem::Save() {
  const std::string_view section = kMatchPageSearchStrings;
  Status failures;
  if (IsCrossedOut()) {
    for (const std::string* name : {&base_name_, &stored_base_name_}) {
      if (AnotherMatchPageUses(*this, *name)) continue;
      Collect(failures, RemoveCrossedOutFile(
                            name == &base_name_ ? var_file_name_ : stored_var_file_name_, trash()));
      Collect(failures, settings().Remove(section, *name));
    }
    return failures;
  }
  // The pattern always goes to the settings, an emptied one too, so that it does not come
  // back from an older value there. The file holds the other records; it is written when
  // there are some or when it exists (it may hold records that were emptied, or an old
  // pattern that would override the settings), and is never created empty.
  Collect(failures, settings().WriteString(section, base_name_, GetVarValue(kSearchPatternName)));
  std::string text;
  for (int i = 0; i < ItemCount(); ++i) {
    const Variable& variable = Item(i);
    if (EqualsNoCase(variable.name(), kSearchPatternName)) continue;
    if (variable.name().empty() || variable.value().empty()) continue;
    text += variable.name() + ":\r\n" + variable.value() + "\r\n\r\n";
  }
  if (!text.empty() || FileExists(var_file_name_)) {
    Collect(failures, WriteVarFile(var_file_name_, text));
  }
  // After a rename, what the old name left behind goes once the new name is written.
  if (failures.ok() && !EqualsNoCase(stored_base_name_, base_name_) &&
      !AnotherMatchPageUses(*this, stored_base_name_)) {
    Collect(failures, DeleteFileIfPresent(stored_var_file_name_));
    Collect(failures, settings().Remove(section, stored_base_name_));
  }
  if (failures.ok()) {
    stored_base_name_ = base_name_;
    stored_var_file_name_ = var_file_name_;
  }
  return failures;
}

void MatchItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (!IsCrossedOut()) return;
  for (const std::string* name : {&base_name_, &stored_base_name_}) {
    if (!AnotherMatchPageUses(*this, *name)) {
      paths.push_back(name == &base_name_ ? var_file_name_ : stored_var_file_name_);
    }
  }
}

bool MatchItem::Rename(UserInterface& ui, std::string_view new_name) {
  if (new_name.find('.') != std::string_view::npos) {
    ui.ShowMessage("Do not include a '.' in the new name", "", MessageButtons::kOk,
                   MessageIcon::kNone);
    return false;
  }
  if (!IsUsableMatchPageName(new_name)) {
    ui.ShowMessage(
        "A match page name cannot be empty, hold '/', ',' or '=', begin with ';' "
        "or '[', or begin or end with a blank.",
        "", MessageButtons::kOk, MessageIcon::kNone);
    return false;
  }
  if (!EqualsNoCase(new_name, base_name_) && AnotherMatchPageUses(*this, new_name)) {
    ui.ShowMessage("There is already a match page of that name.", "", MessageButtons::kOk,
                   MessageIcon::kNone);
    return false;
  }
  // The file keeps its directory and extension and takes the new name.
  const std::size_t slash = var_file_name_.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string() : var_file_name_.substr(0, slash);
  const std::string name = var_file_name_.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  var_file_name_ = BuildFileName(directory, new_name, extension);
  base_name_.assign(new_name);
  // The new name must reach the settings and the layout home at the next save, so the
  // item counts as changed.
  SetModified();
  return true;
}

// ---- RootConfigItem ---------------------------------------------------------------------

Status RootConfigItem::Save() {
  std::string names;
  for (int i = 1; match_pages_item != nullptr && i < match_pages_item->ChildCount(); ++i) {
    const auto* match = dynamic_cast<const MatchItem*>(match_pages_item->Child(i));
    PIX_CHECK(match != nullptr);
    if (match->IsCrossedOut() || match->BaseName().empty()) continue;
    AppendWithSep(names, ',', match->BaseName());
  }
  if (names.size() >= kMatchPageListCapacity) {
    return Status::TooLarge("The list of match pages is longer than " +
                            std::to_string(kMatchPageListCapacity - 1) +
                            " characters and was not saved");
  }
  return settings().WriteString(kAutoOrganizeLayout,
                        kAutoOrganizeBaseFileNames, names);
}

}  // namespace pix
