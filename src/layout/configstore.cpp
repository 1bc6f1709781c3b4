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
bool AnotherMatchPageUses(const TMatchItem& self, std::string_view baseName) {
  const TConfigItem* parent = self.GetParentConfigItem();
  if (parent == nullptr) return false;
  for (int i = 0; i < parent->ChildCount(); ++i) {
    const auto* other = dynamic_cast<const TMatchItem*>(parent->Child(i));
    if (other == nullptr || other == &self || other->IsCrossedOut()) continue;
    if (EqualsNoCase(other->BaseName(), baseName)) return true;
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

// ---- TGroupItem and TPieceItem -----------------------------------------------------------

TGroupItem::TGroupItem(TParentLink parent, std::string_view label, std::string varFileName)
    : TConfigItem(parent, label), szVarFileName(std::move(varFileName)) {
  Load();
}

void TGroupItem::Load() { ParseVarText(LoadVarFileText(szVarFileName)); }

Status TGroupItem::Save() {
  // What no piece claimed comes first, then each piece's variables in tree order.
  std::string text = FormatVarText();
  for (int i = 0; i < ChildCount(); ++i) {
    if (dynamic_cast<const TPieceItem*>(Child(i)) != nullptr) text += Child(i)->FormatVarText();
  }
  return WriteVarFile(szVarFileName, text);
}

TPieceItem::TPieceItem(TParentLink group, std::string_view label, TVarNameIds names)
    : TConfigItem(group, label, names) {
  PIX_CHECK(dynamic_cast<TGroupItem*>(&group.Parent()) != nullptr);
  Load();
}

void TPieceItem::Load() {
  TConfigItem* group = GetParentConfigItem();
  for (int i = 0; i < ItemCount(); ++i) {
    Variable& variable = Item(i);
    variable.SetVarValue(group->GetVarValue(variable.var_name), false);
    group->DeleteVar(variable.var_name);
  }
}

// ---- TIniSettingsItem --------------------------------------------------------------------

TIniSettingsItem::TIniSettingsItem(TParentLink parent, std::string_view label,
                                   const TIniEntry* entries, int entryCount)
    : TConfigItem(parent, label), EntryArray(entries), EntryCountValue(entryCount) {
  Load();
}

void TIniSettingsItem::Load() {
  for (int i = 0; i < EntryCountValue; ++i) {
    const std::string_view key = EntryArray[i].Key;
    const std::string value = GetIniString(EntryArray[i].Section, key, "", 256);
    if (FindVar(key) != nullptr) {
      SetVar(key, value);
    } else {
      AddVarAt(key, value, ItemCount());
    }
  }
}

Status TIniSettingsItem::Save() {
  // Each entry takes the value of the variable bearing its key, wherever the variable is;
  // nothing else is ever written, so the settings file cannot gain or lose keys here.
  Status failures;
  for (int i = 0; i < EntryCountValue; ++i) {
    const std::string_view key = EntryArray[i].Key;
    const Variable* variable = FindVar(key);
    if (variable == nullptr) continue;
    Collect(failures,
            WriteIniString(EntryArray[i].Section, key, variable->var_value));
  }
  return failures;
}

// ---- TPageItem and TDirectoryItem --------------------------------------------------------

TPageItem::TPageItem(TParentLink parent, std::string_view label, std::string varFileName,
                     TVarNameIds names)
    : TConfigItem(parent, label, names), szVarFileName(std::move(varFileName)) {
  ParseVarText(LoadVarFileText(szVarFileName));
}

Status TPageItem::Save() {
  if (!IsCrossedOut()) return WriteVarFile(szVarFileName, FormatVarText());
  return RemoveCrossedOutFile(szVarFileName, trash());
}

void TPageItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (IsCrossedOut()) paths.push_back(szVarFileName);
}

void TDirectoryItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (!IsCrossedOut()) return;
  TPageItem::CollectDeletedFiles(paths);
  for (const FileItem* entry = DirFileItemValue->FirstChild(); entry != nullptr;
       entry = entry->NextItem()) {
    if (!IsDirectory(*entry)) paths.push_back(entry->szFullFileName());
  }
}

Status TDirectoryItem::Save() {
  Status failures = TPageItem::Save();
  if (!IsCrossedOut()) return failures;
  // The files as they were listed when the tree was built; sub-directories were saved (so
  // deleted) before their parent. A directory that still holds anything (its inline
  // sub-directory, files that came later) stays.
  for (const FileItem* entry = DirFileItemValue->FirstChild(); entry != nullptr;
       entry = entry->NextItem()) {
    if (!IsDirectory(*entry)) {
      Collect(failures, RemoveCrossedOutFile(entry->szFullFileName(), trash()));
    }
  }
  ::rmdir(DirFileItemValue->szFullFileName().c_str());
  return failures;
}

bool TDirectoryItem::Rename(UserInterface& ui, std::string_view newName) {
  if (newName.find('.') != std::string_view::npos) {
    ui.ShowMessage("Do not include a '.' in the new name", "", MessageButtons::kOk,
                   MessageIcon::kNone);
    return false;
  }
  const Status renamed = RenameFileItem(*DirFileItemValue, newName);
  if (!renamed.ok()) {
    // The box keeps the program's own words; the reason goes in its title.
    ui.ShowMessage("It was not possible to change the name of the directory", renamed.message(),
                   MessageButtons::kOk, MessageIcon::kNone);
    return false;
  }
  FollowFileList();
  if (DirFileItemValue->Parent() == nullptr) {
    // The site directory itself: the next start must find it under its new name.
    const Status remembered = WriteIniString(kFilesSection, kSearchDirectory,
                                             DirFileItemValue->szFullFileName());
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

void TDirectoryItem::FollowFileList() {
  // The file list has already taken the new name into every full path below the directory;
  // every item of the subtree takes its paths from there.
  std::vector<TConfigItem*> pending{this};
  while (!pending.empty()) {
    TConfigItem* item = pending.back();
    pending.pop_back();
    if (auto* directory = dynamic_cast<TDirectoryItem*>(item)) {
      std::string path = directory->DirFileItemValue->szFullFileName();
      AppendWithSep(path, '/', "index.txt");
      directory->szVarFileName = std::move(path);
    } else if (auto* picture = dynamic_cast<TPictureItem*>(item)) {
      picture->FollowFileItem();
    }
    for (int i = 0; i < item->ChildCount(); ++i) pending.push_back(item->Child(i));
  }
}

// ---- TMatchItem --------------------------------------------------------------------------

TMatchItem::TMatchItem(TParentLink parent, std::string_view label, std::string baseName,
                       std::string varFileName)
    : TConfigItem(parent, label),
      szVarFileName(std::move(varFileName)),
      szBaseName(std::move(baseName)),
      szStoredBaseName(szBaseName),
      szStoredVarFileName(szVarFileName) {
  AddVarAt(kSearchPatternName,
           GetIniString(kMatchPageSearchStrings, szBaseName, "", 256), ItemCount());
  AddVarAt(kPageTitle, "", ItemCount());
  AddVarAt(kPageLabel, "", ItemCount());
  AddVarAt(kPageIntro, "", ItemCount());
  ParseVarText(LoadVarFileText(szVarFileName));
}

Status TMatchItem::Save() {
  const std::string_view section = kMatchPageSearchStrings;
  Status failures;
  if (IsCrossedOut()) {
    for (const std::string* name : {&szBaseName, &szStoredBaseName}) {
      if (AnotherMatchPageUses(*this, *name)) continue;
      Collect(failures, RemoveCrossedOutFile(
                            name == &szBaseName ? szVarFileName : szStoredVarFileName, trash()));
      Collect(failures, WriteProfileText(section, *name, std::nullopt, IniFileName()));
    }
    return failures;
  }
  // The pattern always goes to the settings, an emptied one too, so that it does not come
  // back from an older value there. The file holds the other records; it is written when
  // there are some or when it exists (it may hold records that were emptied, or an old
  // pattern that would override the settings), and is never created empty.
  Collect(failures, WriteIniString(section, szBaseName, GetVarValue(kSearchPatternName)));
  std::string text;
  for (int i = 0; i < ItemCount(); ++i) {
    const Variable& variable = Item(i);
    if (EqualsNoCase(variable.var_name, kSearchPatternName)) continue;
    if (variable.var_name.empty() || variable.var_value.empty()) continue;
    text += variable.var_name + ":\r\n" + variable.var_value + "\r\n\r\n";
  }
  if (!text.empty() || FileExists(szVarFileName)) {
    Collect(failures, WriteVarFile(szVarFileName, text));
  }
  // After a rename, what the old name left behind goes once the new name is written.
  if (failures.ok() && !EqualsNoCase(szStoredBaseName, szBaseName) &&
      !AnotherMatchPageUses(*this, szStoredBaseName)) {
    Collect(failures, DeleteFileIfPresent(szStoredVarFileName));
    Collect(failures, WriteProfileText(section, szStoredBaseName, std::nullopt, IniFileName()));
  }
  if (failures.ok()) {
    szStoredBaseName = szBaseName;
    szStoredVarFileName = szVarFileName;
  }
  return failures;
}

void TMatchItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (!IsCrossedOut()) return;
  for (const std::string* name : {&szBaseName, &szStoredBaseName}) {
    if (!AnotherMatchPageUses(*this, *name)) {
      paths.push_back(name == &szBaseName ? szVarFileName : szStoredVarFileName);
    }
  }
}

bool TMatchItem::Rename(UserInterface& ui, std::string_view newName) {
  if (newName.find('.') != std::string_view::npos) {
    ui.ShowMessage("Do not include a '.' in the new name", "", MessageButtons::kOk,
                   MessageIcon::kNone);
    return false;
  }
  if (!IsUsableMatchPageName(newName)) {
    ui.ShowMessage(
        "A match page name cannot be empty, hold '/', ',' or '=', begin with ';' "
        "or '[', or begin or end with a blank.",
        "", MessageButtons::kOk, MessageIcon::kNone);
    return false;
  }
  if (!EqualsNoCase(newName, szBaseName) && AnotherMatchPageUses(*this, newName)) {
    ui.ShowMessage("There is already a match page of that name.", "", MessageButtons::kOk,
                   MessageIcon::kNone);
    return false;
  }
  // The file keeps its directory and extension and takes the new name.
  const std::size_t slash = szVarFileName.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string() : szVarFileName.substr(0, slash);
  const std::string name = szVarFileName.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  szVarFileName = BuildFileName(directory, newName, extension);
  szBaseName.assign(newName);
  // The new name must reach the settings and the layout home at the next save, so the
  // item counts as changed.
  SetModified();
  return true;
}

// ---- TRootConfigItem ---------------------------------------------------------------------

Status TRootConfigItem::Save() {
  std::string names;
  for (int i = 1; MatchPagesItem != nullptr && i < MatchPagesItem->ChildCount(); ++i) {
    const auto* match = dynamic_cast<const TMatchItem*>(MatchPagesItem->Child(i));
    PIX_CHECK(match != nullptr);
    if (match->IsCrossedOut() || match->BaseName().empty()) continue;
    AppendWithSep(names, ',', match->BaseName());
  }
  if (names.size() >= kMatchPageListCapacity) {
    return Status::TooLarge("The list of match pages is longer than " +
                            std::to_string(kMatchPageListCapacity - 1) +
                            " characters and was not saved");
  }
  return WriteIniString(kAutoOrganizeLayout,
                        kAutoOrganizeBaseFileNames, names);
}

}  // namespace pix
