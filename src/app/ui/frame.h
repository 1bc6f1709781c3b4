// The main frame: the menus, tool bar and status bar around the layout window, the about
// box, the help window and context help (F1, Shift+F1 help mode, F1 on a menu item).
//
// Commands go first to the focused edit field (the Edit menu), then to the layout window,
// then to the frame.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "files/settings.h"

class QAction;
class QLabel;
class QMimeData;

namespace pix {
class UserInterface;
}

namespace pix::ui {

class LayoutWindow;
class HelpWindow;

/// Frame command ids that the layout window does not handle.
enum FrameCommand : int {
  kFileCancel = 210,
  kEditCut = 24322,
  kEditCopy = 24323,
  kEditPaste = 24324,
  kEditClear = 24326,
  kEditDelete = 24325,
  kHelpAbout = 2009,
  kHelpIndex = 2001,
  kHelpHelp = 2002,
  kEditFindNext = 24353,
  kEditRedo = 24327,
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  /// `ui` shows the program's messages and must outlive the frame.
  MainWindow(UserInterface& ui, const std::filesystem::path& layout_home);
  ~MainWindow() override;

  /// Carries out a command id as the menu, tool bar or keyboard would.
  void Dispatch(int id);
  QAction* Action(int id) const { return actions_.value(id); }
  LayoutWindow* layout_window() const { return client_; }
  HelpWindow* help_window();
  /// True once help was opened from the frame (tool bar or help on help).
  bool HelpState() const { return help_state_; }
  bool InHelpMode() const { return help_mode_; }
  /// Opens help at a context number or command id.
  void OpenHelp(int context);

  /// Shows the site in `directory`, with the same checks and messages as Select Dir (the
  /// edits of the old site are saved first). False, with the window as it was, when the
  /// directory is refused. For a site named at start-up, and a folder dropped on the window.
  bool OpenSiteDirectory(const std::filesystem::path& directory);
  /// The one local folder that `data` (a drag) carries; nothing for anything else.
  static std::optional<std::filesystem::path> DroppedDirectory(const QMimeData* data);

  /// The text of the status line: the last save, run or site directory.
  QString StatusLine() const;
  /// Remembers the window's place, size and pane widths in the settings.
  void RememberPlacement();
  /// Places the window on a desktop whose free area is `desktop`: where it was last, made
  /// to fit, or the first time at a size that shows the tree, the inspector and a large
  /// preview. The title bar that the window manager adds always lies on the desktop.
  void PlaceOnScreen(const QRect& desktop);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Once the window manager has framed the window: a title bar higher than the room kept
  // for it would lie above the screen, and the window moves down to show it.
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  // The remembered place and size, or a first size that shows the whole tree, on the
  // screen the window opens on.
  void PlaceWindow();
  // Takes a drag carrying one folder anywhere over the window; true when it was taken.
  bool HandleDrag(QObject* watched, QEvent* event);
  QAction* MakeAction(int id, const QString& text, const QString& hint);
  void EditCommand(int id);
  void UpdateEditActions();
  // The title's "*" and the Save command follow the edits not saved.
  void UpdateUnsavedMarks();
  void EnterHelpMode();
  void LeaveHelpMode();

  UserInterface& ui_;
  SettingsFile settings_;  // The layout home's: where the placement is remembered.
  LayoutWindow* client_;
  QPointer<HelpWindow> help_;
  QHash<int, QAction*> actions_;
  QLabel* status_text_ = nullptr;
  bool help_state_ = false;
  bool help_mode_ = false;
  bool f1_down_ = false;
};

}  // namespace pix::ui
