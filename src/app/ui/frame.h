// The main frame: the menus, tool bar and status bar around the layout window, the about
// box, the help window and context help (F1, Shift+F1 help mode, F1 on a menu item).
//
// Commands go first to the focused edit field (the Edit menu), then to the layout window,
// then to the frame.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>

class QAction;
class QLabel;

namespace pix {
class TUserInterface;
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
  SDIDecFrame(TUserInterface& ui);
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
  /// Selects the site directory as Select Directory does, with its checks and messages.
  /// False when refused.
  bool SelectSiteDirectory(const std::string& directory);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  QAction* MakeAction(int id, const QString& text, const QString& hint);
  void EditCommand(int id);
  void UpdateEditActions();
  void EnterHelpMode();
  void LeaveHelpMode();

  TUserInterface& Ui;
  TConfigWindow* Client;
  QPointer<THelpWindow> Help;
  QHash<int, QAction*> Actions;
  QLabel* OvertypeIndicator = nullptr;
  bool bHelpState = false;
  bool bHelpMode = false;
  bool bF1Down = false;
};

}  // namespace pix::ui
