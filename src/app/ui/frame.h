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

class QAction;
class QLabel;
class QMimeData;

namespace pix {
class UserInterface;
}

namespace pix::ui {

class TConfigWindow;
class THelpWindow;

/// Frame command ids that the layout window does not handle.
enum FrameCommand : int {
  CM_FILECANCEL = 210,
  CM_EDITCUT = 24322,
  CM_EDITCOPY = 24323,
  CM_EDITPASTE = 24324,
  CM_EDITCLEAR = 24326,
  CM_EDITDELETE = 24325,
  CM_HELPABOUT = 2009,
  CM_HELPINDEX = 2001,
  CM_HELPHELP = 2002,
  CM_EDITFINDNEXT = 24353,
};

class SDIDecFrame : public QMainWindow {
  Q_OBJECT

 public:
  /// `ui` shows the program's messages and must outlive the frame.
  SDIDecFrame(UserInterface& ui);
  ~SDIDecFrame() override;

  /// Carries out a command id as the menu, tool bar or keyboard would.
  void Dispatch(int id);
  QAction* Action(int id) const { return Actions.value(id); }
  TConfigWindow* ConfigWindow() const { return Client; }
  THelpWindow* HelpWindow();
  /// True once help was opened from the frame (tool bar or help on help).
  bool HelpState() const { return bHelpState; }
  bool InHelpMode() const { return bHelpMode; }
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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

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
  void EnterHelpMode();
  void LeaveHelpMode();

  UserInterface& Ui;
  TConfigWindow* Client;
  QPointer<THelpWindow> Help;
  QHash<int, QAction*> Actions;
  QLabel* OvertypeIndicator = nullptr;
  QLabel* StatusText = nullptr;
  bool bHelpState = false;
  bool bHelpMode = false;
  bool bF1Down = false;
};

}  // namespace pix::ui
