#include "layout/layoutmodel.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "base/progress.h"
#include "base/trash.h"
#include "base/userinterface.h"
#include "files/autoorganize.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/utils.h"
#include "layout/pictureitem.h"
#include "site/website.h"

namespace pix {

namespace {

// The time of day, for the status line: "14:05:32".
std::string ClockNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

// "1 problem", "2 problems".
std::string Counted(int count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string FormatFileSize(std::uint64_t bytes) {
  constexpr std::uint64_t kK = 1024;
  if (bytes < kK) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  if (bytes < kK * kK) return std::to_string(bytes / kK) + " K";
  char text[32];
  const bool giga = bytes >= kK * kK * kK;
  std::snprintf(text, sizeof text, "%.1f %s",
                static_cast<double>(bytes) / static_cast<double>(giga ? kK * kK * kK : kK * kK),
                giga ? "GB" : "MB");
  return text;
}

std::string DescribeDeletion(const DeletionSummary& summary) {
  if (summary.file_count == 0) return "no files";
  return std::to_string(summary.file_count) + (summary.file_count == 1 ? " file of " : " files of ") +
         FormatFileSize(summary.bytes);
}

LayoutModel::LayoutModel(UserInterface& ui, const std::filesystem::path& layout_home)
    : ui_(ui), layout_home_(layout_home.string()) {
  LoadLayout();
  FillList();
}

LayoutModel::~LayoutModel() = default;

// ---- The tree and its list ---------------------------------------------------------------

void LayoutModel::LoadLayout() {
  site_dir_ = LastSiteDirectory(SettingsFile(layout_home_));
  selected_ = nullptr;
  selected_row_ = -1;
  rows_.clear();
  root_.reset();
  root_ = std::make_unique<RootConfigItem>(layout_home_, site_dir_, &ui_);
  root_->SetTrash(trash_bin_);
}

void LayoutModel::SetTrash(Trash* trash) {
  trash_bin_ = trash;
  if (root_ != nullptr) root_->SetTrash(trash);
}

void LayoutModel::RefreshLayout() {
  LoadLayout();
  FillList();
  inspector_model_.Reset();
  if (preview_ != nullptr) preview_->ClearPicture();
}

void LayoutModel::FillList() {
  rows_.clear();
  // Pre-order, children in order; an item that is no longer shown hides its subtree.
  std::vector<ConfigItem*> pending{root_.get()};
  while (!pending.empty()) {
    ConfigItem* item = pending.back();
    pending.pop_back();
    if (!item->IsShown()) continue;
    item->list_box_id = static_cast<int>(rows_.size());
    rows_.push_back(item);
    for (int i = item->ChildCount() - 1; i >= 0; --i) pending.push_back(item->Child(i));
  }
}

void LayoutModel::DropDeletedRows() {
  const bool any_deleted = std::any_of(rows_.begin(), rows_.end(),
                                       [](const ConfigItem* item) { return !item->IsShown(); });
  if (!any_deleted) return;
  FillList();
  if (selected_ == nullptr) return;
  if (std::find(rows_.begin(), rows_.end(), selected_) == rows_.end()) {
    // The selected item itself went: nothing is selected, the inspector is empty.
    selected_ = nullptr;
    selected_row_ = -1;
    inspector_model_.Reset();
    if (preview_ != nullptr) preview_->ClearPicture();
  } else {
    selected_row_ = selected_->list_box_id;
  }
}

// ---- Selection ---------------------------------------------------------------------------

void LayoutModel::Select(int row) {
  if (row < 0 || row == selected_row_ || row >= static_cast<int>(rows_.size())) return;
  if (selected_ != nullptr) selected_->TakeFromInspector(inspector_model_);
  selected_row_ = row;
  selected_ = rows_[static_cast<std::size_t>(row)];
  // Only pictures show something: any other item leaves the preview empty rather than
  // showing the picture selected before it.
  if (preview_ != nullptr) preview_->ClearPicture();
  selected_->ShowInInspector(inspector_model_, preview_);
}

// ---- Commands on the selected item -------------------------------------------------------

void LayoutModel::Save() {
  if (selected_ == nullptr) return;
  selected_->TakeFromInspector(inspector_model_);
  // The rows now stand for what the item holds: show them afresh, so that the same edits
  // are not taken a second time and untouched rows keep what the item holds.
  selected_->ShowInInspector(inspector_model_, nullptr);
  if (selected_->HasCrossedOut() && !ConfirmDeletions(*selected_, false)) selected_->UncrossTree();
  const std::string label = selected_->Label();
  const std::vector<Status> failures = selected_->SaveTree(&ui_);
  DropDeletedRows();
  status_text_ = failures.empty() ? "Saved \"" + label + "\" at " + ClockNow() + "."
                                  : "Saving \"" + label + "\" failed at " + ClockNow() + ": " +
                                        Counted(static_cast<int>(failures.size()), "problem") +
                                        ".";
}

DeletionSummary LayoutModel::SummarizeDeletions(const ConfigItem& item) const {
  std::vector<std::string> paths;
  std::vector<const ConfigItem*> pending{&item};
  while (!pending.empty()) {
    const ConfigItem* next = pending.back();
    pending.pop_back();
    if (next->IsShown()) next->CollectDeletedFiles(paths);
    for (int i = 0; i < next->ChildCount(); ++i) pending.push_back(next->Child(i));
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  DeletionSummary summary;
  summary.to_trash = trash_bin_ != nullptr && trash_bin_->IsAvailable();
  for (const std::string& path : paths) {
    struct stat status;
    if (path.empty() || ::lstat(path.c_str(), &status) != 0) continue;
    ++summary.file_count;
    summary.bytes += static_cast<std::uint64_t>(status.st_size);
  }
  return summary;
}

bool LayoutModel::ConfirmDeletions(const ConfigItem& item, bool question) {
  const DeletionSummary summary = SummarizeDeletions(item);
  const std::string what = DescribeDeletion(summary);
  if (!question) {
    const std::string text =
        summary.to_trash
            ? "Crossed out item(s) will be deleted: " + what + " will be moved to the Trash."
            : "Crossed out item(s) (including physical disk files) will be permanently deleted "
              "off the disk forever: " +
                  what + ". There is no Trash to take them back from.";
    return ui_.ShowMessage(text, "Confirm", MessageButtons::kOkCancel, MessageIcon::kQuestion) ==
           MessageAnswer::kOk;
  }
  const std::string text =
      summary.to_trash ? "Delete crossed-out items: " + what + " will be moved to the Trash."
                       : "Permanently delete crossed-out items: " + what +
                             ". There is no Trash to take them back from.";
  return ui_.ShowMessage(text, "Question", MessageButtons::kYesNo, MessageIcon::kQuestion) ==
         MessageAnswer::kYes;
}

void LayoutModel::Delete() {
  if (selected_ == nullptr) return;
  if (selected_->CanDelete()) {
    selected_->CrossOutTree();
  } else {
    ui_.ShowMessage("It is not possible to delete this item.", "Error", MessageButtons::kOk,
                   MessageIcon::kStop);
  }
}

void LayoutModel::Undo() {
  if (selected_ != nullptr && selected_->IsCrossedOut()) selected_->UncrossTree();
}

bool LayoutModel::Rename() {
  if (selected_ == nullptr || !selected_->CanRename()) return false;
  const std::optional<std::string> typed =
      ui_.PromptLine("File Rename", "Please enter new name of file:", selected_->Label(), 259);
  if (!typed) return false;
  return RenameItem(*selected_, *typed);
}

bool LayoutModel::RenameItem(ConfigItem& item, std::string_view name) {
  if (!item.CanRename() || !item.Rename(ui_, name)) return false;
  item.SetLabel(LabelAfterRename(item, name));
  // Renaming the site directory changes the remembered site directory.
  site_dir_ = LastSiteDirectory(SettingsFile(layout_home_));
  return true;
}

std::string LayoutModel::NameToRename(const ConfigItem& item) {
  if (const auto* picture = dynamic_cast<const PictureItem*>(&item)) {
    const std::string& path = picture->FullFileName();
    return path.substr(path.rfind('/') + 1);
  }
  if (const auto* match = dynamic_cast<const MatchItem*>(&item)) return match->BaseName();
  if (const auto* directory = dynamic_cast<const DirectoryItem*>(&item)) {
    return std::string(directory->DirFileItem()->FileName());
  }
  return item.Label();
}

std::string LayoutModel::LabelAfterRename(const ConfigItem& item, std::string_view typed) const {
  if (const auto* picture = dynamic_cast<const PictureItem*>(&item)) {
    const std::string& path = picture->FullFileName();
    return path.substr(path.rfind('/') + 1);
  }
  if (const auto* directory = dynamic_cast<const DirectoryItem*>(&item)) {
    const FileItem* node = directory->DirFileItem();
    if (node->Parent() == nullptr) return node->FullFileName();
    return std::string(node->FileName());
  }
  if (const auto* match = dynamic_cast<const MatchItem*>(&item)) {
    return MatchPageLabel(match->BaseName());
  }
  return std::string(typed);
}

void LayoutModel::Open() {
  if (selected_ != nullptr) selected_->Open(ui_);
}

bool LayoutModel::SaveLayout() {
  if (selected_ != nullptr) {
    selected_->TakeFromInspector(inspector_model_);
    selected_->ShowInInspector(inspector_model_, nullptr);
  }
  if (root_->HasCrossedOut() && !ConfirmDeletions(*root_, true)) root_->UncrossTree();
  const std::vector<Status> failures = root_->SaveTree(&ui_);
  DropDeletedRows();
  status_text_ = failures.empty() ? "Layout saved at " + ClockNow() + "."
                                  : "Saving the layout failed at " + ClockNow() + ": " +
                                        Counted(static_cast<int>(failures.size()), "problem") +
                                        ".";
  return failures.empty();
}

// ---- Closing -----------------------------------------------------------------------------

bool LayoutModel::HasUnsavedEdits() const {
  return root_->IsModified() || inspector_model_.FieldsModified();
}

bool LayoutModel::QueryClose() {
  if (!HasUnsavedEdits()) return true;
  switch (ui_.ShowMessage("The layout has changes that are not saved. Save them before closing?",
                         "Question", MessageButtons::kSaveDiscardCancel, MessageIcon::kQuestion)) {
    case MessageAnswer::kSave:
      // What could not be saved was reported; the window stays so that it is not lost.
      return SaveLayout();
    case MessageAnswer::kDiscard:
      return true;
    default:
      return false;
  }
}

// ---- Commands on the site ----------------------------------------------------------------

bool LayoutModel::SelectDirectory(std::string_view chosen) {
  std::string directory(chosen);
  if (!IsDirectoryPath(directory)) {
    const std::size_t slash = directory.rfind('/');
    directory =
        slash == std::string::npos ? std::string() : directory.substr(0, slash == 0 ? 1 : slash);
  }
  if (directory.size() > 1) StripTrailingChar(directory, '/');
  if (!ValidateSiteDirectory(directory, layout_home_, &ui_)) return false;
  // The tree is replaced by the new directory's: what was edited is neither written nor
  // dropped without the user's word.
  if (HasUnsavedEdits()) {
    switch (ui_.ShowMessage(
        "The layout has changes that are not saved. Save them before opening " + directory + "?",
        "Question", MessageButtons::kSaveDiscardCancel, MessageIcon::kQuestion)) {
      case MessageAnswer::kSave:
        // What could not be saved was reported; the old tree stays so that it is not lost.
        if (!SaveLayout()) return false;
        break;
      case MessageAnswer::kDiscard:
        break;
      default:
        return false;
    }
  }
  const Status remembered =
      SettingsFile(layout_home_).WriteString(kFilesSection, kSearchDirectory, directory);
  if (!remembered.ok()) {
    ui_.ShowMessage("The site directory could not be remembered:\n" + remembered.message(), "Error",
                   MessageButtons::kOk, MessageIcon::kWarning);
    return false;
  }
  RefreshLayout();
  status_text_ = "Site directory: " + directory;
  return true;
}

bool LayoutModel::CheckSiteDirectory() {
  return ValidateSiteDirectory(site_dir_, layout_home_, &ui_);
}

void LayoutModel::ShowProblems(const CollectedDiagnostics& problems) {
  // What the user should know but is no problem (a page kept as edited by hand) comes after
  // the problems, in the same box.
  std::string text = problems.ProblemText();
  for (const std::string& notice : problems.Notices()) text += notice + "\n";
  if (text.empty()) return;
  ui_.ShowMessage(text, problems.ProblemCount() > 0 ? "Problems" : "Note", MessageButtons::kOk,
                 problems.ProblemCount() > 0 ? MessageIcon::kWarning : MessageIcon::kInformation);
}

void LayoutModel::RunGeneration(Progress& progress, UserInterface& ui, Diagnostics& problems,
                                bool list_problems) {
  WebSite site(site_dir_, layout_home_, ui, progress, problems);
  site.SetJobs(WebSite::DefaultJobs());
  site.ReportToDiagnostics(list_problems);
  const Status prepared = site.Prepare();
  if (!prepared.ok()) {
    ui.ShowMessage(prepared.message(), "Error", MessageButtons::kOk, MessageIcon::kStop);
    return;
  }
  site.Execute();
  // Problems that went to boxes were counted by the run; listed ones are in `problems`.
  const int reported = list_problems ? problems.ProblemCount()
                                     : site.Stats().problems_reported + problems.ProblemCount();
  status_text_ = RunStatusText(site.Cancelled(), progress.Position(), progress.StepCount(),
                               reported, ClockNow());
}

std::string LayoutModel::RunStatusText(bool cancelled, int done, int steps, int problems,
                                        std::string_view clock) {
  const std::string at(clock);
  std::string text;
  if (cancelled) {
    const int left = std::max(0, steps - done);
    text = "Generate Site cancelled at " + at + " after " + std::to_string(done) + " of " +
           Counted(steps, "picture") + ": ";
    if (left == 0) return text + "every picture had its entry and page written.";
    text += "the other " + std::to_string(left) + (left == 1 ? " has" : " have") +
            " no entry or detail page yet, so the site is incomplete until the next Generate "
            "Site.";
  } else {
    text = "Site generated at " + at + ": " + Counted(done, "picture");
    if (problems > 0) text += ", " + Counted(problems, "problem") + " reported";
    text += ".";
  }
  return text;
}

bool LayoutModel::BeginGeneration() {
  if (!CheckSiteDirectory()) return false;
  SaveLayout();
  return true;
}

void LayoutModel::GenerateSite(Progress& progress) {
  if (!BeginGeneration()) return;
  CollectedDiagnostics problems;
  RunGeneration(progress, ui_, problems, false);
  ShowProblems(problems);
  RefreshLayout();
}

AutoOrganizeChoice LayoutModel::BeginAutoOrganize() {
  if (!CheckSiteDirectory()) return AutoOrganizeChoice::kAborted;
  const MessageAnswer answer =
      ui_.ShowMessage("Regenerate Web Sight after creating layout design.", "Auto Layout",
                     MessageButtons::kYesNoCancel, MessageIcon::kQuestion);
  if (answer == MessageAnswer::kCancel) {
    ui_.ShowMessage("Auto-Organize aborted.", "", MessageButtons::kOk, MessageIcon::kNone);
    return AutoOrganizeChoice::kAborted;
  }
  SaveLayout();
  return answer == MessageAnswer::kYes ? AutoOrganizeChoice::kOrganizeAndGenerate
                                       : AutoOrganizeChoice::kOrganizeOnly;
}

Status LayoutModel::Organize(Diagnostics& problems) {
  const Status organized = BuildAutoOrganizeLayout(site_dir_, layout_home_, problems);
  if (organized.ok()) {
    status_text_ = "Layout organized at " + ClockNow() + "; the site was not generated.";
  }
  return organized;
}

AutoOrganizeChoice LayoutModel::AutoOrganize(Progress& progress) {
  const AutoOrganizeChoice choice = BeginAutoOrganize();
  if (choice == AutoOrganizeChoice::kAborted) return choice;
  CollectedDiagnostics problems;
  const Status organized = Organize(problems);
  ShowProblems(problems);
  if (!organized.ok()) {
    ui_.ShowMessage(organized.message(), "Error", MessageButtons::kOk, MessageIcon::kStop);
  } else if (choice == AutoOrganizeChoice::kOrganizeAndGenerate) {
    CollectedDiagnostics run_problems;
    RunGeneration(progress, ui_, run_problems, false);
    ShowProblems(run_problems);
  }
  RefreshLayout();
  return choice;
}

}  // namespace pix
