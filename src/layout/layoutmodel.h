// The layout window without its widgets: the tree it shows, the list rows, the selection,
// the inspector's rows and every command of the window.
//
// The desktop window draws ListedItems() (indent by Level(), icon GetBitmapId(), label,
// a red line across crossed-out rows), draws the inspector's rows, and calls the command
// functions when the user acts. Every message, confirmation and prompt goes through the
// UserInterface the model was made with; the inline image of a selected picture goes to
// the preview target. The window's own dialogs (the file chooser of Select Directory, the
// sample layout dialog, the status window of a run) stay with the window; the model takes
// their results.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "layout/config.h"
#include "layout/inspector.h"

namespace pix {

class Diagnostics;
class Progress;
class Trash;
class UserInterface;

/// The answer of the Auto Organize question.
enum class AutoOrganizeChoice { kOrganizeAndGenerate, kOrganizeOnly, kAborted };

/// What a save removes from the disk for the crossed-out items of a subtree.
struct DeletionSummary {
  int file_count = 0;          ///< Files there now that the save removes.
  std::uint64_t bytes = 0;    ///< Their sizes added up.
  bool to_trash = false;      ///< They go to the trash; otherwise they are deleted for good.
};

/// A file size as a person reads it: "512 bytes", "340 K" (1024 bytes each, rounded toward
/// zero), "2.4 MB", "1.2 GB".
std::string FormatFileSize(std::uint64_t bytes);

/// "no files", "1 file of 3 K", "12 files of 2.4 MB".
std::string DescribeDeletion(const DeletionSummary& summary);

class LayoutModel {
 public:
  /// The model of the layout of `layout_home` and of the site directory its settings last
  /// chose. `ui` must outlive the model. The tree is built at once (LoadLayout) and listed.
  LayoutModel(UserInterface& ui, const std::filesystem::path& layout_home);
  ~LayoutModel();
  LayoutModel(const LayoutModel&) = delete;
  LayoutModel& operator=(const LayoutModel&) = delete;

  /// Where the selected picture's inline image is shown; may be null. Must outlive its use.
  void SetPreviewTarget(PreviewTarget* preview) { preview_ = preview; }
  /// Where the files of crossed-out items go; none (the default) deletes them for good.
  /// Must outlive the model; every tree the model builds uses it.
  void SetTrash(Trash* trash);

  // ---- The tree and its list ----

  /// Reads the site directory from the settings and builds a new tree;
  /// the selection is forgotten. The list is not refilled (RefreshLayout does both).
  void LoadLayout();
  /// Builds the tree again, refills the list, empties the inspector and the preview.
  void RefreshLayout();

  RootConfigItem* RootItem() const { return root_.get(); }
  const std::string& layout_home() const { return layout_home_; }
  const std::string& SiteDir() const { return site_dir_; }

  /// The rows of the list: the items in tree order, each before its children, leaving out
  /// every item that is no longer shown together with everything below it. An item's
  /// ListBoxID is its row. The rows change only when the list is refilled.
  const std::vector<ConfigItem*>& ListedItems() const { return rows_; }
  /// The horizontal offset of a row's icon: two dialog base units per level.
  static int RowIndent(int level, int dialog_base_unit_x) { return 2 * dialog_base_unit_x * level; }

  // ---- Selection and inspector ----

  /// The list reports row `row` as selected: the inspector's edits go into the item that
  /// was selected, and the new item is shown. Selecting the selected row again, or a row
  /// below 0, changes nothing.
  void Select(int row);
  ConfigItem* SelectedItem() const { return selected_; }
  int SelectedIndex() const { return selected_row_; }
  InspectorModel& Inspector() { return inspector_model_; }
  const InspectorModel& Inspector() const { return inspector_model_; }

  // ---- Commands ----

  /// Save: takes the edits into the selected item and saves its subtree, after asking
  /// whether crossed-out items below it may go.
  void Save();
  /// Delete: crosses out the selected item and everything below it, or says it cannot.
  void Delete();
  /// Undo: takes the crossing out back from the selected item, when it is crossed out.
  void Undo();
  /// Rename: asks for the new name and renames the selected item. True when renamed.
  bool Rename();
  /// Renames `item` to `name` as Rename does after the prompt (the label follows). True when
  /// renamed; a failure was shown to the user.
  bool RenameItem(ConfigItem& item, std::string_view name);
  /// The name that RenameItem takes to give `item` its present name back: a picture's file
  /// name, a directory's name, a match page's base name.
  static std::string NameToRename(const ConfigItem& item);
  /// Open: opens the selected item outside the program.
  void Open();
  /// True when an item is selected and Open starts something for it (a picture).
  bool CanOpenSelected() const { return selected_ != nullptr && selected_->CanOpen(); }
  /// The save before leaving or regenerating: edits, the question about crossed-out items,
  /// then the whole tree. True when everything was saved.
  bool SaveLayout();

  /// What saving `item` would remove from the disk for its crossed-out items.
  DeletionSummary SummarizeDeletions(const ConfigItem& item) const;

  // ---- Closing ----

  /// True when the layout holds edits that are not saved: an item changed or crossed out,
  /// or inspector rows edited and not yet taken into their item.
  bool HasUnsavedEdits() const;
  /// Asked before the window closes, whichever way it is closed. With unsaved edits the
  /// user chooses: Save (the window closes when everything was saved), Discard (it closes
  /// and the edits are dropped) or Cancel (it stays open). True when it may close.
  bool QueryClose();

  /// Select Directory, after the user picked `chosen` (a file inside the wanted directory,
  /// or the directory itself, chosen in a dialog, dropped on the window or named at
  /// start-up): checks it with messages; when it may be used and the old tree holds edits
  /// not saved, asks Save / Discard / Cancel; then remembers the directory and rebuilds the
  /// tree. False, with the tree and its edits as they were, when it is refused or the user
  /// cancels.
  bool SelectDirectory(std::string_view chosen);
  /// Checks the site directory, with messages.
  bool CheckSiteDirectory();
  /// Generate Site: check, save, run the generation with `progress`, rebuild. Problems are
  /// shown in boxes, one at the end for those that do not stop a picture.
  void GenerateSite(Progress& progress);
  /// Auto Organize: check, ask, save, analyse the site, optionally generate, rebuild.
  AutoOrganizeChoice AutoOrganize(Progress& progress);

  // The same commands in steps, for a window that runs the work in the background: the
  // first and last steps on the window's thread, the work between them on another thread
  // while the window only reads the tree.

  /// Checks the site directory and saves the layout; false when the directory is refused.
  bool BeginGeneration();
  /// Checks, asks the Auto Layout question and saves; kAborted when it stops there.
  AutoOrganizeChoice BeginAutoOrganize();
  /// The auto-organize analysis of the site: writes the settings, touches no item.
  Status Organize(Diagnostics& problems);
  /// A generation run of the site: touches no item of the tree. Questions of the run go to
  /// `ui` (safe to call from the thread that runs this). With `list_problems` every problem
  /// goes to `problems` (a picture's with its file) instead of one box each.
  void RunGeneration(Progress& progress, UserInterface& ui, Diagnostics& problems,
                     bool list_problems);
  /// Sample Layouts is SaveLayout, the sample dialog, then RefreshLayout.

  // ---- The status line ----

  /// The line the window shows after the last command that finished something the user
  /// cannot see otherwise (a save, a run and how it ended, a new site directory); empty
  /// when there is nothing new. TakeStatusText hands it over once.
  const std::string& StatusText() const { return status_text_; }
  std::string TakeStatusText() { return std::exchange(status_text_, std::string()); }

  /// The status line of a generation run that ended after `done` of `steps` pictures:
  /// how far a cancelled run got and what it left incomplete.
  static std::string RunStatusText(bool cancelled, int done, int steps, int problems,
                                   std::string_view clock);

 private:
  void FillList();
  // After a save: the rows of items whose files were deleted go, and the selection follows
  // (it is dropped when the selected item itself went).
  void DropDeletedRows();
  // Shows the problems of a run or an analysis in one box, if there were any.
  void ShowProblems(const CollectedDiagnostics& problems);
  // The label a renamed item shows: what a rebuilt tree would call it.
  std::string LabelAfterRename(const ConfigItem& item, std::string_view typed) const;

  // Asks whether the crossed-out items below `item` may go; the question names what goes
  // and where. `confirmTitle` "Confirm" asks OK or Cancel, "Question" Yes or No.
  bool ConfirmDeletions(const ConfigItem& item, bool question);

  UserInterface& ui_;
  PreviewTarget* preview_ = nullptr;
  Trash* trash_bin_ = nullptr;
  std::unique_ptr<RootConfigItem> root_;
  std::vector<ConfigItem*> rows_;
  ConfigItem* selected_ = nullptr;  // An item of Root's tree, or null.
  int selected_row_ = -1;
  InspectorModel inspector_model_;
  std::string layout_home_;
  std::string site_dir_;
  std::string status_text_;
};

}  // namespace pix
