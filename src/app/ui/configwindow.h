// The layout window: three panes side by side in a splitter, the layout tree as an
// owner-drawn list, the object inspector, and a column of the preview above the buttons
// Close, Cancel, Help, Generate Site and Select Dir. It draws LayoutModel and forwards every
// command to it; the dialogs it opens (directory chooser, sample layouts, the status of a
// run) hand their results to the model.
#pragma once

#include <QStyledItemDelegate>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "layout/layoutmodel.h"

class QDialog;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;

namespace pix {
class Trash;
class UserInterface;
}

namespace pix::ui {

class ImageWindow;
class InspectorWindow;
class StatusDialog;

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
  /// The size to open at: every row of the tree (or as many as fit on the screen, which
  /// the frame sees to) and five rows of the inspector. The smallest size is the layout's:
  /// every button's text and one inspector row show whole.
  QSize sizeHint() const override;
  /// The menu of a list row: Open, Rename, Delete, Undo and Save, each enabled when it
  /// applies to the selected item. The caller owns it.
  QMenu* BuildContextMenu(QWidget* parent);

  LayoutModel& Model() { return *layout_model_; }
  QListWidget* ObjListBox() const { return list_box_; }
  InspectorWindow* inspector_window() const { return inspect_window_; }
  ImageWindow* image_window() const { return preview_window_; }
  QPushButton* Button(LayoutButton which) const;
  /// The buttons, top to bottom.
  const std::vector<QPushButton*>& Buttons() const { return buttons_; }

  /// Asks for the new site directory, starting at the current one; nothing when the user
  /// cancels. A directory chooser by default.
  std::function<std::optional<std::string>(const std::string&)> choose_directory;
  /// Runs a modal dialog of the window (the sample layouts) and returns its result.
  std::function<int(QDialog&)> exec_dialog;
  /// Opens a help topic by context number.
  std::function<void(int)> open_help;

  // The commands.
  void CmSave();
  void CmSelectDirectory();
  void CmDelete();
  void CmRename();
  void CmExit();
  void CmCancel();
  void CmUndo();
  void CmSampleLayouts();
  void CmGenerateSite();
  void CmAutoOrganize();
  void CmHelpContents();
  void CmHelp();
  void CmOpen();

 signals:
  /// Exit or Cancel: the window is done and its frame should close (which asks
  /// LayoutModel::QueryClose about edits not saved).
  void CloseRequested();
  /// A generation run shows its progress in `dialog` until it ends.
  void RunStarted(StatusDialog* dialog);
  /// A command finished something worth a line in the status bar.
  void StatusMessage(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillList();
  void SelectionChanged();
  void RepaintList();
  // Hands the model's status line, if it has a new one, to the status bar.
  void ShowStatus();
  // Tab goes in reading order: the tree, the inspector's rows, then the buttons.
  void UpdateTabOrder();
  // Open for the keyboard and the mouse: only items that can be opened are.
  void OpenIfPossible();
  // Runs `job` under the wait cursor with a status dialog; refills the list when the job
  // rebuilt the tree.
  void RunWithStatus(const std::function<void(Progress&)>& job);

  UserInterface& ui_;
  // The desktop's trash for the files of crossed-out items; outlives the model.
  std::unique_ptr<Trash> trash_;
  std::unique_ptr<LayoutModel> layout_model_;
  QListWidget* list_box_;
  InspectorWindow* inspect_window_;
  ImageWindow* preview_window_;
  QSplitter* splitter_ = nullptr;
  QWidget* side_column_ = nullptr;     // The preview and the buttons; a pane of splitter_.
  std::vector<QPushButton*> buttons_;  // In LayoutButton order; children of side_column_.
};

/// Draws one row of the layout list: the item's icon at the row height, drawn for the
/// screen's pixel ratio, indented two average character widths per level, and its label. Colours
/// come from the palette: a selected row in Highlight with HighlightedText, any other in
/// Base with Text; the line across a crossed-out row is drawn in the row's text colour.
class ConfigRowDelegate : public QStyledItemDelegate {
 public:
  ConfigRowDelegate(QObject* parent, const LayoutModel& model)
      : QStyledItemDelegate(parent), model_(model) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  /// The height of every row: one line of the label.
  static int RowHeight(const QFont& font);

 private:
  const LayoutModel& model_;  // Owned by the layout window, which owns this delegate.
};

}  // namespace pix::ui
