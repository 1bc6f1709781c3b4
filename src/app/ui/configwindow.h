// The layout window: three panes side by side in a splitter, the layout tree as an
// owner-drawn list, the object inspector, and a column of the preview above the buttons
// Close, Cancel, Help, Generate Site and Select Dir; below them the problems of the last run
// and, while one works in the background, its progress. It draws LayoutModel and forwards
// every command to it; the dialogs it opens (directory chooser, sample layouts) hand their
// results to the model.
#pragma once

#include <QStyledItemDelegate>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "layout/layoutmodel.h"

class QDialog;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;
class QUndoStack;
class QTabWidget;

namespace pix {
class Diagnostics;
class Trash;
class UserInterface;
}

namespace pix::ui {

class CaptionPane;
class ImageWindow;
class InspectorWindow;
class PagePreviewPane;
struct PageRequest;
class PictureGrid;
class ProblemsList;
class RunPanel;

/// Command ids of the layout window, as the menus and buttons send them.
enum ConfigCommand : int {
  kSave = 24333,
  kSelectDir = 206,
  kDelete = 215,
  kRename = 219,
  kExit = 24310,
  kUndo = 24321,
  kSampleLayouts = 302,
  kGenerateSite = 211,
  kAutoOrganize = 212,
  kShowHelpContents = 401,
  kOpen = 24332,
  kRedo = 24327,
  kOpenInBrowser = 24334,
  kShowPagePreview = 24335,
};

/// The buttons of the layout window, top to bottom.
enum class LayoutButton { kClose, kCancel, kHelp, kGenerateSite, kSelectDir };

class LayoutWindow : public QWidget {
  Q_OBJECT

 public:
  /// Builds the window and the layout of the layout home and the remembered site
  /// directory. `ui` shows every message and question and must outlive the window.
  LayoutWindow(QWidget* parent, UserInterface& ui, const std::filesystem::path& layout_home);
  ~LayoutWindow() override;

  /// Carries out a command id; false when the window has no such command.
  bool Command(int id);

  /// Makes `directory` the site directory, with the same checks and messages as Select
  /// Dir (a file names the directory it lies in): the edits of the old tree are saved and
  /// the window shows the new tree. False, with everything as it was, when it is refused.
  /// Used for a folder dropped on the window and a site named at start-up.
  bool OpenSiteDirectory(const std::string& directory);

  /// The splitter between the three panes: the tree, the inspector, and the column of the
  /// preview and the buttons.
  QSplitter* PaneSplitter() const { return splitter_; }
  /// The panes' widths for a first showing: the whole widest row, the inspector's rows at
  /// a comfortable width, the column at its buttons' width.
  QList<int> PreferredPaneWidths() const;
  /// The panes' widths in a window `window_width` wide: the tree its preferred width (at
  /// most a third), the inspector room for a line of a template (at most a third), and the
  /// rest, most of a wide window, for the preview.
  QList<int> PaneWidthsFor(int window_width) const;
  /// The size to open at: every row of the tree (or as many as fit on the screen, which
  /// the frame sees to) and five rows of the inspector. The smallest size is the layout's:
  /// every button's text and one inspector row show whole.
  QSize sizeHint() const override;
  /// The menu of a list row: Open, Rename, Delete, Undo and Save, each enabled when it
  /// applies to the selected item. The caller owns it.
  QMenu* BuildContextMenu(QWidget* parent);

  LayoutModel& Model() { return *layout_model_; }
  /// What Undo and Redo take back and do again while the window is open: cross-outs,
  /// renames, and edits in the caption fields and the inspector. Emptied when the tree is
  /// built anew.
  QUndoStack* UndoStack() const { return undo_stack_; }
  /// Shows the tree and the inspector again after Undo or Redo changed an item.
  void ShowItemsAgain();
  /// An item's variables, names and values in order.
  using Variables = std::vector<std::pair<std::string, std::string>>;
  /// The selected item's variables as the inspector shows them, edits included.
  Variables VariablesShown() const;
  /// Gives `item` the variables `variables` (Undo and Redo of an inspector edit); the item
  /// counts as edited, and the window shows it again.
  void PutVariables(ConfigItem& item, const Variables& variables);
  QListWidget* ObjListBox() const { return list_box_; }
  InspectorWindow* inspector_window() const { return inspect_window_; }
  /// The labelled caption fields of a picture; the first page of the inspector pane.
  CaptionPane* caption_pane() const { return caption_pane_; }
  /// The inspector pane: "Caption" for a picture, and "All Variables" for every item.
  QTabWidget* InspectorTabs() const { return inspector_tabs_; }
  ImageWindow* image_window() const { return preview_window_; }
  /// The live page preview: the page of the selected item as a browser shows it, made
  /// from the layout as the window holds it, edits not saved included.
  PagePreviewPane* page_preview() const { return page_preview_; }
  /// The preview's pages: "Picture" (the inline image) and "Page" (the live page preview).
  QTabWidget* PreviewTabs() const { return preview_tabs_; }
  /// The thumbnails of the selected directory, or of the selected picture's directory.
  PictureGrid* picture_grid() const { return picture_grid_; }
  QPushButton* Button(LayoutButton which) const;
  /// The buttons, top to bottom.
  const std::vector<QPushButton*>& Buttons() const { return buttons_; }
  /// The problems of the last run, a row per file; hidden while there are none.
  ProblemsList* Problems() const { return problems_; }
  /// The progress of a run in the background; hidden while none works.
  RunPanel* run_panel() const { return run_panel_; }
  /// Folders and other items with rows below them fold: a folded item's rows are hidden.
  /// A new site opens with its sub-folders folded, so that the whole tree shows at once.
  bool IsFoldable(int row) const;
  bool IsFolded(int row) const;
  void SetFolded(int row, bool folded);
  /// Unfolds every item above `row`, so that the row shows.
  void RevealRow(int row);

  /// True when the problems list names the picture of list row `row`; the row then shows
  /// a warning sign after its label.
  bool RowHasProblem(int row) const;
  /// True while a run works in the background: the window shows the tree, the inspector
  /// and the preview for reading, and commands that would change the layout wait.
  bool IsRunning() const;
  /// Asks a run in the background to stop and calls `then` once it has ended (at once when
  /// none works).
  void CancelRunThen(std::function<void()> then);

  /// Asks for the new site directory, starting at the current one; nothing when the user
  /// cancels. A directory chooser by default.
  std::function<std::optional<std::string>(const std::string&)> choose_directory;
  /// Runs a modal dialog of the window (the sample layouts) and returns its result.
  std::function<int(QDialog&)> exec_dialog;
  /// Opens a help topic by context number.
  std::function<void(int)> open_help;
  /// Shows a generated page in the desktop's web browser. QDesktopServices by default.
  std::function<void(const QString& page)> open_in_browser;

  /// The generated page of the selected item: a picture's detail page (or, where the
  /// layout makes none, its folder's index page), a folder's index page, otherwise the
  /// site's index page. The first of these that exists; none may exist yet.
  QString GeneratedPageOfSelection() const;

  // The commands.
  void CmSave();
  void CmSelectDirectory();
  void CmDelete();
  void CmRename();
  void CmExit();
  void CmCancel();
  void CmUndo();
  void CmRedo();
  void CmSampleLayouts();
  void CmGenerateSite();
  void CmAutoOrganize();
  void CmHelpContents();
  void CmHelp();
  void CmOpen();
  /// Opens the generated page of the selection in the browser, or says that there is none
  /// yet.
  void CmOpenInBrowser();
  /// Switches the preview between the picture and the live page preview.
  void CmShowPagePreview();

 signals:
  /// Exit or Cancel: the window is done and its frame should close (which asks
  /// LayoutModel::QueryClose about edits not saved).
  void CloseRequested();
  /// A run has started in the background; `panel` shows its progress until it ends.
  void RunStarted(RunPanel* panel);
  /// The run has ended and the window shows the rebuilt tree.
  void RunFinished();
  /// A run started (true) or ended (false): the frame enables its commands accordingly.
  void RunningChanged(bool running);
  /// A command finished something worth a line in the status bar.
  void StatusMessage(const QString& text);
  /// The edits not saved may have changed (an edit, a save, a deletion, a new tree).
  void EditsChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillList();
  // Hides the rows below folded items.
  void ApplyFolds();
  std::string FoldKey(const ConfigItem& item) const;
  void SelectionChanged();
  // Shows the Caption page for a picture (as the user last chose) and only All Variables
  // for any other item.
  void ShowInspectorPages();
  // Shows the thumbnails of the selected directory, or of the selected picture's directory
  // with the picture chosen; none for other items.
  void ShowPictureGrid();
  void RepaintList();
  // Hands the model's status line, if it has a new one, to the status bar.
  void ShowStatus();
  // Tab goes in reading order: the tree, the inspector's rows, then the buttons.
  void UpdateTabOrder();
  // Open for the keyboard and the mouse: only items that can be opened are.
  void OpenIfPossible();
  // Starts `job` in the background with the run panel; when it has ended the tree is built
  // again and shown.
  void RunInBackground(const QString& title,
                       std::function<void(Progress&, UserInterface&, Diagnostics&)> job);
  // Selects the row of the picture or directory at `file`, if the tree lists one.
  void SelectFile(const QString& file);
  // Commands that change the layout or the site wait while a run works.
  void SetRunning(bool running);
  // What the page of the selection is made from, as a run would make it now from the layout
  // in memory, with the sample layout file `sample` (when not empty) in place of the
  // layout's globals.txt.
  Result<PageRequest> PreparePagePreview(const std::filesystem::path& sample) const;

  UserInterface& ui_;
  // The desktop's trash for the files of crossed-out items; outlives the model.
  std::unique_ptr<Trash> trash_;
  std::unique_ptr<LayoutModel> layout_model_;
  QListWidget* list_box_;
  InspectorWindow* inspect_window_;
  ImageWindow* preview_window_;
  PagePreviewPane* page_preview_ = nullptr;
  QTabWidget* preview_tabs_ = nullptr;
  // The site folder whose pages show items that are no page of their own (page templates,
  // settings): the one of the folder or picture selected last; empty for the site's own.
  std::string preview_directory_;
  // The selected item's variables as last shown, edits included: what an edit in the
  // inspector changes, for its Undo.
  Variables shown_variables_;
  CaptionPane* caption_pane_ = nullptr;
  PictureGrid* picture_grid_ = nullptr;
  QUndoStack* undo_stack_ = nullptr;
  const RootConfigItem* shown_root_ = nullptr;  // The tree the undo stack's commands name.
  // The folded items, by the labels from the root down, so that a tree built anew (after a
  // run) keeps them folded. Empty until the first tree was shown.
  std::set<std::string> folded_;
  bool folds_set_ = false;
  QTabWidget* inspector_tabs_ = nullptr;
  // A picture opens on the Caption page unless the user last chose All Variables for one.
  bool caption_preferred_ = true;
  QSplitter* splitter_ = nullptr;
  QWidget* side_column_ = nullptr;     // The preview and the buttons; a pane of splitter_.
  std::vector<QPushButton*> buttons_;  // In LayoutButton order; children of side_column_.
  ProblemsList* problems_ = nullptr;
  RunPanel* run_panel_ = nullptr;
  std::function<void()> after_run_;  // What waits for the run to end (closing the window).
};

/// Draws one row of the layout list: the item's icon at the row height, drawn for the
/// screen's pixel ratio, indented two average character widths per level, and its label. Colours
/// come from the palette: a selected row in Highlight with HighlightedText, any other in
/// Base with Text; the line across a crossed-out row is drawn in the row's text colour.
class ConfigRowDelegate : public QStyledItemDelegate {
 public:
  ConfigRowDelegate(QObject* parent, const LayoutModel& model)
      : QStyledItemDelegate(parent), model_(model) {}
  /// Rows for which `marked` answers true show a warning sign after their label.
  void SetMarked(std::function<bool(int row)> marked) { marked_ = std::move(marked); }
  /// Rows for which `foldable` answers true show an arrow before their icon, pointing
  /// right when `folded` answers true and down otherwise.
  void SetFolding(std::function<bool(int row)> foldable, std::function<bool(int row)> folded) {
    foldable_ = std::move(foldable);
    folded_ = std::move(folded);
  }
  /// The arrow's rectangle in a row at `rect` of an item at `level`.
  static QRect ArrowRect(const QRect& rect, int level, const QFont& font);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  /// The height of every row: one line of the label.
  static int RowHeight(const QFont& font);

 private:
  const LayoutModel& model_;  // Owned by the layout window, which owns this delegate.
  std::function<bool(int row)> marked_;
  std::function<bool(int row)> foldable_;
  std::function<bool(int row)> folded_;
};

}  // namespace pix::ui
