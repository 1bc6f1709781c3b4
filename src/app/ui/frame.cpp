#include "app/ui/frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>

#include "app/ui/aboutdlg.h"
#include "app/ui/configwindow.h"
#include "app/ui/helpwindow.h"
#include "base/ui/icons.h"

namespace pix::ui {

SDIDecFrame::SDIDecFrame(TUserInterface& ui) : QMainWindow(nullptr), Ui(ui) {
  setWindowTitle(QStringLiteral("pixamond"));
  setObjectName(QStringLiteral("SDIDecFrame"));
  setWindowIcon(ResourceIcon(1001));
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  Client = new TConfigWindow(this, Ui);
  Client->OpenHelp = [this](int context) { OpenHelp(context); };
  connect(Client, &TConfigWindow::CloseRequested, this, &QWidget::close);
  setCentralWidget(Client);
  resize(Client->TemplateSize() +
         QSize(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height() + 40));
  qApp->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateEditActions(); });
  UpdateEditActions();
}

SDIDecFrame::~SDIDecFrame() {
  qApp->removeEventFilter(this);
  disconnect(qApp, nullptr, this, nullptr);
  if (bHelpMode) QApplication::restoreOverrideCursor();
}

QAction* SDIDecFrame::MakeAction(int id, const QString& text, const QString& hint) {
  auto* action = new QAction(text, this);
  action->setStatusTip(hint);
  action->setData(id);
  connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
  Actions.insert(id, action);
  return action;
}

void SDIDecFrame::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(
      MakeAction(24333, QStringLiteral("&Save"), QStringLiteral("Saves this document")));
  file->addAction(MakeAction(206, QStringLiteral("Select &Directory..."), QString()));
  file->addAction(MakeAction(215, QStringLiteral("Delete"), QString()));
  file->addAction(MakeAction(219, QStringLiteral("Rename"), QString()));
  file->addSeparator();
  file->addAction(MakeAction(210, QStringLiteral("&Cancel"), QString()));
  file->addAction(
      MakeAction(24310, QStringLiteral("E&xit\tAlt+F4"),
                 QStringLiteral("Quits pixamondApp and prompts to save the documents")));

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  struct EditItem {
    int id;
    const char* text;
    const char* hint;
    QKeySequence key;
  };
  const EditItem editItems[] = {
      {24321, "&Undo\tAlt+BkSp", "Reverses the last operation",
       QKeySequence(Qt::ALT | Qt::Key_Backspace)},
      {24322, "Cu&t\tShift+Del", "Cuts the selection and puts it on the Clipboard",
       QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
      {24323, "&Copy\tCtrl+Ins", "Copies the selection and puts it on the Clipboard",
       QKeySequence(Qt::CTRL | Qt::Key_Insert)},
      {24324, "&Paste\tShift+Ins", "Inserts the clipboard contents at the insertion point",
       QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
      {24326, "Clear &All\tCtrl+Del", "Clear the document",
       QKeySequence(Qt::CTRL | Qt::Key_Delete)},
      {24325, "&Delete\tDel", "Deletes the selection", QKeySequence(Qt::Key_Delete)},
  };
  for (const EditItem& item : editItems) {
    QAction* action =
        MakeAction(item.id, QString::fromUtf8(item.text), QString::fromUtf8(item.hint));
    action->setShortcut(item.key);
    // Inside an edit field the field's own keys win; elsewhere the frame routes them.
    action->setShortcutContext(Qt::WindowShortcut);
    action->setEnabled(false);
    edit->addAction(action);
    if (item.id == 24321 || item.id == 24324) edit->addSeparator();
  }

  QMenu* pages = menuBar()->addMenu(QStringLiteral("&Pages"));
  pages->addAction(MakeAction(302, QStringLiteral("&Sample Layouts..."), QString()));
  pages->addAction(MakeAction(211, QStringLiteral("&Generate Site"), QString()));
  pages->addAction(MakeAction(212, QStringLiteral("&Auto Organize..."), QString()));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(MakeAction(401, QStringLiteral("&Contents"), QString()));
  help->addAction(MakeAction(2009, QStringLiteral("&About..."),
                             QStringLiteral("About the pixamond application")));

  // Commands without a menu item: the tool bar's help, help on help, and F3.
  MakeAction(2001, QStringLiteral("Help"), QStringLiteral("Help table of contents"));
  MakeAction(2002, QStringLiteral("Help on Help"), QStringLiteral("Help on using online Help"));
  QAction* findNext =
      MakeAction(24353, QStringLiteral("Find Next"), QStringLiteral("Finds the next match"));
  findNext->setShortcut(QKeySequence(Qt::Key_F3));
  addAction(findNext);
  for (QMenu* menu : {file, edit, pages, help}) menu->installEventFilter(this);
}

void SDIDecFrame::BuildToolBar() {
  QToolBar* bar = addToolBar(QStringLiteral("Tools"));
  bar->setObjectName(QStringLiteral("32041"));
  bar->setMovable(false);
  QFont gadget = bar->font();
  gadget.setPointSize(10);
  bar->setFont(gadget);
  bar->setIconSize(QSize(20, 20));
  for (int id : {24333, 24322, 24323, 24324, 24321}) {
    Actions.value(id)->setIcon(ResourceIcon(id));
    bar->addAction(Actions.value(id));
  }
  auto* gap = new QWidget(bar);
  gap->setFixedWidth(6);
  bar->addWidget(gap);
  Actions.value(2001)->setIcon(ResourceIcon(2001));
  bar->addAction(Actions.value(2001));
  for (QAction* action : bar->actions()) action->setToolTip(action->statusTip());
}

void SDIDecFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  QFont gadget = bar->font();
  gadget.setPointSize(10);
  bar->setFont(gadget);
  // The lock keys cannot be read on every desktop; the indicators name them, and Overtype
  // follows the focused edit field.
  for (const char* name : {"CAP", "NUM", "SCRL"}) {
    auto* label = new QLabel(QString::fromUtf8(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setEnabled(false);
    bar->addPermanentWidget(label);
  }
  OvertypeIndicator = new QLabel(QStringLiteral("OVR"));
  OvertypeIndicator->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  OvertypeIndicator->setEnabled(false);
  bar->addPermanentWidget(OvertypeIndicator);
}

THelpWindow* SDIDecFrame::HelpWindow() {
  if (Help.isNull()) Help = new THelpWindow(this);
  return Help.data();
}

void SDIDecFrame::OpenHelp(int context) { HelpWindow()->ShowTopic(context); }

void SDIDecFrame::UpdateEditActions() {
  QWidget* focus = QApplication::focusWidget();
  const bool editFocused =
      qobject_cast<QLineEdit*>(focus) != nullptr || qobject_cast<QPlainTextEdit*>(focus) != nullptr;
  for (int id : {24322, 24323, 24324, 24326, 24325}) Actions.value(id)->setEnabled(editFocused);
  // Undo reaches the layout window when no edit field has the focus.
  Actions.value(24321)->setEnabled(true);
  bool overtype = false;
  if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) overtype = plain->overwriteMode();
  if (OvertypeIndicator != nullptr) OvertypeIndicator->setEnabled(overtype);
}

void SDIDecFrame::EditCommand(int id) {
  QWidget* focus = QApplication::focusWidget();
  if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    switch (id) {
      case 24321:
        line->undo();
        break;
      case 24322:
        line->cut();
        break;
      case 24323:
        line->copy();
        break;
      case 24324:
        line->paste();
        break;
      case 24326:
        line->selectAll();
        line->del();
        break;
      case 24325:
        line->del();
        break;
      default:
        break;
    }
    return;
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) {
    switch (id) {
      case 24321:
        plain->undo();
        break;
      case 24322:
        plain->cut();
        break;
      case 24323:
        plain->copy();
        break;
      case 24324:
        plain->paste();
        break;
      case 24326:
        plain->selectAll();
        plain->textCursor().removeSelectedText();
        break;
      case 24325:
        plain->textCursor().deleteChar();
        break;
      default:
        break;
    }
    return;
  }
  if (id == 24321) Client->Command(id);
}

void SDIDecFrame::Dispatch(int id) {
  if (bHelpMode || bF1Down) {
    // In help mode a command is not carried out: its help topic opens instead.
    LeaveHelpMode();
    OpenHelp(id);
    return;
  }
  switch (id) {
    case 24321:
    case 24322:
    case 24323:
    case 24324:
    case 24326:
    case 24325:
      EditCommand(id);
      return;
    case CM_HELPINDEX:
      bHelpState = true;
      OpenHelp(kHelpContents);
      return;
    case CM_HELPHELP:
      bHelpState = true;
      OpenHelp(kHelpOnHelp);
      return;
    case CM_HELPABOUT: {
      pixamondAboutDlg about(this);
      about.exec();
      return;
    }
    case CM_FILECANCEL:
    case CM_EDITFINDNEXT:
      return;  // Nothing to do.
    default:
      Client->Command(id);
  }
}

void SDIDecFrame::EnterHelpMode() {
  if (!bHelpMode) QApplication::setOverrideCursor(HelpCursor());
  bHelpMode = true;
}

void SDIDecFrame::LeaveHelpMode() {
  if (bHelpMode) QApplication::restoreOverrideCursor();
  bHelpMode = false;
}

bool SDIDecFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease) {
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) bF1Down = false;
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_F1) {
    if (key->isAutoRepeat()) return true;
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
      // F1 on a highlighted menu item opens that item's help.
      if (QAction* active = menu->activeAction(); active != nullptr && active->data().isValid()) {
        menu->close();
        OpenHelp(active->data().toInt());
        return true;
      }
    }
    if (key->modifiers() & Qt::ShiftModifier) {
      EnterHelpMode();
    } else {
      bF1Down = true;
      OpenHelp(kHelpContents);
    }
    return true;
  }
  if (key->key() == Qt::Key_Escape && bHelpMode) {
    LeaveHelpMode();
    return true;
  }
  return false;
}

void SDIDecFrame::closeEvent(QCloseEvent* event) {
  // The help window belongs to the program; it goes with the frame.
  if (!Help.isNull()) Help->close();
  QMainWindow::closeEvent(event);
}

bool SDIDecFrame::SelectSiteDirectory(const std::string& directory) {
  return Client->SelectSiteDirectory(directory);
}

}  // namespace pix::ui
