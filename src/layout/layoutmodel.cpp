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

std::string DescribeDeletion(const TDeletionSummary& summary) {
  if (summary.FileCount == 0) return "no files";
  return std::to_string(summary.FileCount) + (summary.FileCount == 1 ? " file of " : " files of ") +
         FormatFileSize(summary.Bytes);
}

TLayoutModel::TLayoutModel(UserInterface& ui) : Ui(ui) {
  LoadLayout();
  FillList();
}

TLayoutModel::~TLayoutModel() = default;

// ---- The tree and its list ---------------------------------------------------------------

void TLayoutModel::LoadLayout() {
  const ProgramAndSearchDirs dirs = GetProgramAndSearchDirs();
  szProgramDir = dirs.program_dir;
  szSiteDir = dirs.search_dir;
  Selected = nullptr;
  SelectedRow = -1;
  Rows.clear();
  Root.reset();
  Root = std::make_unique<TRootConfigItem>(szProgramDir, szSiteDir, &Ui);
  Root->SetTrash(TrashBin);
}

void TLayoutModel::SetTrash(Trash* trash) {
  TrashBin = trash;
  if (Root != nullptr) Root->SetTrash(trash);
}

void TLayoutModel::RefreshLayout() {
  LoadLayout();
  FillList();
  InspectorModel.Reset();
  if (Preview != nullptr) Preview->ClearPicture();
}

void TLayoutModel::FillList() {
  Rows.clear();
  // Pre-order, children in order; an item that is no longer shown hides its subtree.
  std::vector<TConfigItem*> pending{Root.get()};
  while (!pending.empty()) {
    TConfigItem* item = pending.back();
    pending.pop_back();
    if (!item->IsShown()) continue;
    item->ListBoxID = static_cast<int>(Rows.size());
    Rows.push_back(item);
    for (int i = item->ChildCount() - 1; i >= 0; --i) pending.push_back(item->Child(i));
  }
}

// ---- Selection ---------------------------------------------------------------------------

void TLayoutModel::Select(int row) {
  if (row < 0 || row == SelectedRow || row >= static_cast<int>(Rows.size())) return;
  if (Selected != nullptr) Selected->TakeFromInspector(InspectorModel);
  SelectedRow = row;
  Selected = Rows[static_cast<std::size_t>(row)];
  // Only pictures show something: any other item leaves the preview empty rather than
  // showing the picture selected before it.
  if (Preview != nullptr) Preview->ClearPicture();
  Selected->ShowInInspector(InspectorModel, Preview);
}

// ---- Commands on the selected item -------------------------------------------------------

void TLayoutModel::Save() {
  if (Selected == nullptr) return;
  Selected->TakeFromInspector(InspectorModel);
  // The rows now stand for what the item holds: show them afresh, so that the same edits
  // are not taken a second time and untouched rows keep what the item holds.
  Selected->ShowInInspector(InspectorModel, nullptr);
  if (Selected->HasCrossedOut() && !ConfirmDeletions(*Selected, false)) Selected->UncrossTree();
  const std::string label = Selected->Label();
  const std::vector<Status> failures = Selected->SaveTree(&Ui);
  szStatusText = failures.empty() ? "Saved \"" + label + "\" at " + ClockNow() + "."
                                  : "Saving \"" + label + "\" failed at " + ClockNow() + ": " +
                                        Counted(static_cast<int>(failures.size()), "problem") +
                                        ".";
}

TDeletionSummary TLayoutModel::SummarizeDeletions(const TConfigItem& item) const {
  std::vector<std::string> paths;
  std::vector<const TConfigItem*> pending{&item};
  while (!pending.empty()) {
    const TConfigItem* next = pending.back();
    pending.pop_back();
    if (next->IsShown()) next->CollectDeletedFiles(paths);
    for (int i = 0; i < next->ChildCount(); ++i) pending.push_back(next->Child(i));
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  TDeletionSummary summary;
  summary.bToTrash = TrashBin != nullptr && TrashBin->IsAvailable();
  for (const std::string& path : paths) {
    struct stat status;
    if (path.empty() || ::lstat(path.c_str(), &status) != 0) continue;
    ++summary.FileCount;
    summary.Bytes += static_cast<std::uint64_t>(status.st_size);
  }
  return summary;
}

bool TLayoutModel::ConfirmDeletions(const TConfigItem& item, bool bQuestion) {
  const TDeletionSummary summary = SummarizeDeletions(item);
  const std::string what = DescribeDeletion(summary);
  if (!bQuestion) {
    const std::string text =
        summary.bToTrash
            ? "Crossed out item(s) will be deleted: " + what + " will be moved to the Trash."
            : "Crossed out item(s) (including physical disk files) will be permanently deleted "
              "off the disk forever: " +
                  what + ". There is no Trash to take them back from.";
    return Ui.ShowMessage(text, "Confirm", MessageButtons::kOkCancel, MessageIcon::kQuestion) ==
           MessageAnswer::kOk;
  }
  const std::string text =
      summary.bToTrash ? "Delete crossed-out items: " + what + " will be moved to the Trash."
                       : "Permanently delete crossed-out items: " + what +
                             ". There is no Trash to take them back from.";
  return Ui.ShowMessage(text, "Question", MessageButtons::kYesNo, MessageIcon::kQuestion) ==
         MessageAnswer::kYes;
}

void TLayoutModel::Delete() {
  if (Selected == nullptr) return;
  if (Selected->CanDelete()) {
    Selected->CrossOutTree();
  } else {
    Ui.ShowMessage("It is not possible to delete this item.", "Error", MessageButtons::kOk,
                   MessageIcon::kStop);
  }
}

void TLayoutModel::Undo() {
  if (Selected != nullptr && Selected->IsCrossedOut()) Selected->UncrossTree();
}

bool TLayoutModel::Rename() {
  if (Selected == nullptr || !Selected->CanRename()) return false;
  const std::optional<std::string> typed =
      Ui.PromptLine("File Rename", "Please enter new name of file:", Selected->Label(), 259);
  if (!typed) return false;
  if (!Selected->Rename(Ui, *typed)) return false;
  Selected->SetLabel(LabelAfterRename(*Selected, *typed));
  // Renaming the site directory changes the remembered site directory.
  szSiteDir = GetProgramAndSearchDirs().search_dir;
  return true;
}

std::string TLayoutModel::LabelAfterRename(const TConfigItem& item, std::string_view typed) const {
  if (const auto* picture = dynamic_cast<const TPictureItem*>(&item)) {
    const std::string& path = picture->FullFileName();
    return path.substr(path.rfind('/') + 1);
  }
  if (const auto* directory = dynamic_cast<const TDirectoryItem*>(&item)) {
    const FileItem* node = directory->DirFileItem();
    if (node->Parent() == nullptr) return node->szFullFileName();
    return std::string(node->szFileName());
  }
  if (const auto* match = dynamic_cast<const TMatchItem*>(&item)) {
    return MatchPageLabel(match->BaseName());
  }
  return std::string(typed);
}

void TLayoutModel::Open() {
  if (Selected != nullptr) Selected->Open(Ui);
}

bool TLayoutModel::SaveLayout() {
  if (Selected != nullptr) {
    Selected->TakeFromInspector(InspectorModel);
    Selected->ShowInInspector(InspectorModel, nullptr);
  }
  if (Root->HasCrossedOut() && !ConfirmDeletions(*Root, true)) Root->UncrossTree();
  const std::vector<Status> failures = Root->SaveTree(&Ui);
  szStatusText = failures.empty() ? "Layout saved at " + ClockNow() + "."
                                  : "Saving the layout failed at " + ClockNow() + ": " +
                                        Counted(static_cast<int>(failures.size()), "problem") +
                                        ".";
  return failures.empty();
}

// ---- Closing -----------------------------------------------------------------------------

bool TLayoutModel::HasUnsavedEdits() const {
  return Root->IsModified() || InspectorModel.FieldsModified();
}

bool TLayoutModel::QueryClose() {
  if (!HasUnsavedEdits()) return true;
  switch (Ui.ShowMessage("The layout has changes that are not saved. Save them before closing?",
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

bool TLayoutModel::SelectDirectory(std::string_view chosen) {
  std::string directory(chosen);
  if (!IsDirectoryPath(directory)) {
    const std::size_t slash = directory.rfind('/');
    directory =
        slash == std::string::npos ? std::string() : directory.substr(0, slash == 0 ? 1 : slash);
  }
  if (directory.size() > 1) StripTrailingChar(directory, '/');
  if (!ValidateSiteDirectory(directory, szProgramDir, &Ui)) return false;
  // The tree is replaced by the new directory's: what was edited is saved first rather
  // than dropped with the old tree.
  if (Root->IsModified() || InspectorModel.FieldsModified()) SaveLayout();
  const Status remembered =
      WriteIniString(kFilesSection, kSearchDirectory, directory);
  if (!remembered.ok()) {
    Ui.ShowMessage("The site directory could not be remembered:\n" + remembered.message(), "Error",
                   MessageButtons::kOk, MessageIcon::kWarning);
    return false;
  }
  RefreshLayout();
  szStatusText = "Site directory: " + directory;
  return true;
}

bool TLayoutModel::CheckSiteDirectory() {
  return ValidateSiteDirectory(szSiteDir, szProgramDir, &Ui);
}

void TLayoutModel::ShowProblems(const CollectedDiagnostics& problems) {
  // What the user should know but is no problem (a page kept as edited by hand) comes after
  // the problems, in the same box.
  std::string text = problems.ProblemText();
  for (const std::string& notice : problems.Notices()) text += notice + "\n";
  if (text.empty()) return;
  Ui.ShowMessage(text, problems.ProblemCount() > 0 ? "Problems" : "Note", MessageButtons::kOk,
                 problems.ProblemCount() > 0 ? MessageIcon::kWarning : MessageIcon::kInformation);
}

void TLayoutModel::RunGeneration(Progress& progress) {
  CollectedDiagnostics problems;
  WebSite site(szSiteDir, szProgramDir, Ui, progress, problems);
  site.SetJobs(WebSite::DefaultJobs());
  const Status prepared = site.Prepare();
  if (!prepared.ok()) {
    Ui.ShowMessage(prepared.message(), "Error", MessageButtons::kOk, MessageIcon::kStop);
    return;
  }
  site.Execute();
  ShowProblems(problems);
  szStatusText = RunStatusText(site.Cancelled(), progress.Position(), progress.StepCount(),
                               site.Stats().problems_reported + problems.ProblemCount(),
                               ClockNow());
}

std::string TLayoutModel::RunStatusText(bool cancelled, int done, int steps, int problems,
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

void TLayoutModel::GenerateSite(Progress& progress) {
  if (!CheckSiteDirectory()) return;
  SaveLayout();
  RunGeneration(progress);
  RefreshLayout();
}

AutoOrganizeChoice TLayoutModel::AutoOrganize(Progress& progress) {
  if (!CheckSiteDirectory()) return AutoOrganizeChoice::kAborted;
  const MessageAnswer answer =
      Ui.ShowMessage("Regenerate Web Sight after creating layout design.", "Auto Layout",
                     MessageButtons::kYesNoCancel, MessageIcon::kQuestion);
  if (answer == MessageAnswer::kCancel) {
    Ui.ShowMessage("Auto-Organize aborted.", "", MessageButtons::kOk, MessageIcon::kNone);
    return AutoOrganizeChoice::kAborted;
  }
  SaveLayout();
  CollectedDiagnostics problems;
  const Status organized = BuildAutoOrganizeLayout(szSiteDir, szProgramDir, problems);
  ShowProblems(problems);
  if (!organized.ok()) {
    Ui.ShowMessage(organized.message(), "Error", MessageButtons::kOk, MessageIcon::kStop);
  } else if (answer == MessageAnswer::kYes) {
    RunGeneration(progress);
  } else {
    szStatusText = "Layout organized at " + ClockNow() + "; the site was not generated.";
  }
  RefreshLayout();
  return answer == MessageAnswer::kYes ? AutoOrganizeChoice::kOrganizeAndGenerate
                                      : AutoOrganizeChoice::kOrganizeOnly;
}

}  // namespace pix
