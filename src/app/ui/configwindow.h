// The layout window on template 601: the layout tree as an owner-drawn list, the object
// inspector over frame 603, the preview over frame 604, and the buttons of the template.
// It draws TLayoutModel and forwards every command to it; the dialogs it opens (directory
// chooser, sample layouts, the status of a run) hand their results to the model.
#pragma once

#include <QStyledItemDelegate>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/ui/parentwindow.h"
#include "layout/layoutmodel.h"

class QDialog;
class QListWidget;

namespace pix {
class TUserInterface;
}

namespace pix::ui {

class TImageWindow;
class TObjInspectWindow;
class TStatusDlg;

/// Command ids of the layout window, as the menus and buttons send them.
enum ConfigCommand : int {
  CM_SAVE = 24333,
  CM_SELECTDIR = 206,
  CM_DELETE = 215,
  CM_RENAME = 219,
  CM_EXIT = 24310,
  CM_UNDO = 24321,
  CM_SAMPLELAYOUTS = 302,
  CM_GENERATESITE = 211,
  CM_AUTOORGANIZE = 212,
  CM_HELPCONTENTS = 401,
  CM_OPEN = 24332,
};

class TConfigWindow : public TParentWindow {
  Q_OBJECT

 public:
  /// Builds the window and the layout of the layout home and the remembered site
  /// directory. `ui` shows every message and question and must outlive the window.
  TConfigWindow(QWidget* parent, TUserInterface& ui);
  ~TConfigWindow() override;

  /// Carries out a command id; false when the window has no such command.
  bool Command(int id);

  TLayoutModel& Model() { return *LayoutModel; }
  QListWidget* ObjListBox() const { return ListBox; }
  TObjInspectWindow* ObjInspectWindow() const { return InspectWindow; }
  TImageWindow* ImageWindow() const { return PreviewWindow; }

  /// Asks for the new site directory, starting at the current one; nothing when the user
  /// cancels. A directory chooser by default.
  std::function<std::optional<std::string>(const std::string&)> ChooseDirectory;
  /// Runs a modal dialog of the window (the sample layouts) and returns its result.
  std::function<int(QDialog&)> ExecDialog;
  /// Opens a help topic by context number.
  std::function<void(int)> OpenHelp;

  /// Selects `directory` as the site directory, with the checks and messages of Select
  /// Directory (the edits of the current layout are saved first). False when refused.
  bool SelectSiteDirectory(const std::string& directory);

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
  /// Exit or Cancel: the window is done and its frame should close.
  void CloseRequested();
  /// A generation run shows its progress in `dialog` until it ends.
  void RunStarted(TStatusDlg* dialog);

 protected:
  void ControlsMoved() override;

 private:
  void FillList();
  void SelectionChanged();
  void RepaintList();
  // Runs `job` under the wait cursor with a status dialog; refills the list when the job
  // rebuilt the tree.
  void RunWithStatus(const std::function<void(TProgress&)>& job);

  TUserInterface& Ui;
  std::unique_ptr<TLayoutModel> LayoutModel;
  QListWidget* ListBox;
  TObjInspectWindow* InspectWindow;
  TImageWindow* PreviewWindow;
};

/// Draws one row of the layout list: the item's icon stretched to the row height, indented
/// two dialog base units per level, its label, grey when selected, and a red line across a
/// crossed-out row.
class TConfigRowDelegate : public QStyledItemDelegate {
 public:
  TConfigRowDelegate(QObject* parent, const TLayoutModel& model)
      : QStyledItemDelegate(parent), Model(model) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  /// The height of every row: one line of the label.
  static int RowHeight(const QFont& font);

 private:
  const TLayoutModel& Model;  // Owned by the layout window, which owns this delegate.
};

}  // namespace pix::ui
