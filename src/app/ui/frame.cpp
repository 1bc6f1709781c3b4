#include "app/ui/frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/ui/aboutdlg.h"
#include "app/ui/configwindow.h"
#include "app/ui/helpwindow.h"
#include "app/windowplacement.h"
#include "base/ui/icons.h"
#include "base/ui/qttext.h"

namespace pix::ui {

SDIDecFrame::SDIDecFrame(UserInterface& ui) : QMainWindow(nullptr), Ui(ui) {
  setWindowTitle(QStringLiteral("pixamond"));
  setObjectName(QStringLiteral("SDIDecFrame"));
  setWindowIcon(ResourceIcon(1001));
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  Client = new TConfigWindow(this, Ui);
  Client->OpenHelp = [this](int context) { OpenHelp(context); };
  connect(Client, &TConfigWindow::CloseRequested, this, &QWidget::close);
  connect(Client, &TConfigWindow::StatusMessage, this, [this](const QString& text) {
    StatusText->setText(text);
    StatusText->setToolTip(text);  // The whole line, when a narrow window cuts it.
  });
  setCentralWidget(Client);
  // A folder dropped anywhere on the window becomes the site directory.
  setAcceptDrops(true);
  PlaceWindow();
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
  // Today's keys beside the design's own: they work everywhere in the window, and an edit
  // field keeps its own meaning of a key (Ctrl+Z, Ctrl+X, Del...) while it has the focus.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(
      MakeAction(24333, QStringLiteral("&Save"), QStringLiteral("Saves this document")));
  Actions.value(24333)->setShortcut(QKeySequence::Save);
  file->addAction(MakeAction(206, QStringLiteral("Select &Directory..."), QString()));
  Actions.value(206)->setShortcut(QKeySequence::Open);
  file->addAction(MakeAction(24332, QStringLiteral("&Open Picture"),
                             QStringLiteral("Opens the picture in the picture editor")));
  file->addAction(MakeAction(215, QStringLiteral("Delete"), QString()));
  file->addAction(MakeAction(219, QStringLiteral("Rename"), QString()));
  Actions.value(219)->setShortcut(QKeySequence(Qt::Key_F2));
  file->addSeparator();
  file->addAction(MakeAction(210, QStringLiteral("&Cancel"), QString()));
  file->addAction(
      MakeAction(24310, QStringLiteral("E&xit\tAlt+F4"),
                 QStringLiteral("Quits pixamondApp and prompts to save the documents")));
  // The key the menu shows acts, also where no window manager takes it; so do the desktop's
  // Quit key, and Ctrl+Q where the desktop names none.
  QList<QKeySequence> quit{QKeySequence(Qt::ALT | Qt::Key_F4)};
  quit.append(QKeySequence::keyBindings(QKeySequence::Quit));
  if (!quit.contains(QKeySequence(Qt::CTRL | Qt::Key_Q))) quit.append(Qt::CTRL | Qt::Key_Q);
  Actions.value(24310)->setShortcuts(quit);
  connect(file, &QMenu::aboutToShow, this, [this] {
    Actions.value(24332)->setEnabled(Client->Model().CanOpenSelected());
  });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  struct EditItem {
    int id;
    const char* text;
    const char* hint;
    QList<QKeySequence> keys;
  };
  const EditItem editItems[] = {
      {24321, "&Undo\tAlt+BkSp", "Reverses the last operation",
       {QKeySequence(Qt::ALT | Qt::Key_Backspace), QKeySequence(Qt::CTRL | Qt::Key_Z)}},
      {24322, "Cu&t\tShift+Del", "Cuts the selection and puts it on the Clipboard",
       {QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_X)}},
      {24323, "&Copy\tCtrl+Ins", "Copies the selection and puts it on the Clipboard",
       {QKeySequence(Qt::CTRL | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_C)}},
      {24324, "&Paste\tShift+Ins", "Inserts the clipboard contents at the insertion point",
       {QKeySequence(Qt::SHIFT | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_V)}},
      {24326, "Clear &All\tCtrl+Del", "Clear the document",
       {QKeySequence(Qt::CTRL | Qt::Key_Delete)}},
      {24325, "&Delete\tDel", "Deletes the selection", {QKeySequence(Qt::Key_Delete)}},
  };
  for (const EditItem& item : editItems) {
    QAction* action =
        MakeAction(item.id, QString::fromUtf8(item.text), QString::fromUtf8(item.hint));
    action->setShortcuts(item.keys);
    // Inside an edit field the field's own keys win; elsewhere the frame routes them.
    action->setShortcutContext(Qt::WindowShortcut);
    action->setEnabled(false);
    edit->addAction(action);
    if (item.id == 24321 || item.id == 24324) edit->addSeparator();
  }

  QMenu* pages = menuBar()->addMenu(QStringLiteral("&Pages"));
  pages->addAction(MakeAction(302, QStringLiteral("&Sample Layouts..."), QString()));
  pages->addAction(MakeAction(211, QStringLiteral("&Generate Site"), QString()));
  Actions.value(211)->setShortcuts(
      {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_G)});
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
  // The last save, run or site directory; a menu item's hint covers it only for a while.
  StatusText = new QLabel;
  StatusText->setObjectName(QStringLiteral("StatusLine"));
  StatusText->setTextFormat(Qt::PlainText);
  StatusText->setMinimumWidth(1);  // Long lines are cut at the edge, not widening the window.
  bar->addWidget(StatusText, 1);
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
  for (int id : {24322, 24323, 24324, 24326}) Actions.value(id)->setEnabled(editFocused);
  // Del deletes in an edit field, and crosses out the selected item in the tree.
  Actions.value(24325)->setEnabled(editFocused || focus == Client->ObjListBox());
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
  if (id == 24325 && focus == Client->ObjListBox()) Client->Command(CM_DELETE);
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
  if (HandleDrag(watched, event)) return true;
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
  // Every way of closing (Exit, the Cancel button, the title bar, the window manager's
  // Alt+F4) asks about edits that are not saved.
  if (!Client->Model().QueryClose()) {
    event->ignore();
    return;
  }
  // The help window belongs to the program; it goes with the frame.
  if (!Help.isNull()) Help->close();
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) RememberPlacement();
}

// ---- Place and size ----------------------------------------------------------------------

namespace {

DialogPixelRect ToWindowRect(const QRect& r) { return DialogPixelRect{r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

void SDIDecFrame::PlaceWindow() {
  const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  const QRect desktop =
      shown != nullptr ? shown->availableGeometry() : QRect(0, 0, 1366, 768);
  // The window manager's title bar and borders come on top of the window's own rectangle.
  const QRect room = desktop.adjusted(0, 0, -8, -40);
  const QSize minimum = minimumSizeHint();
  const std::optional<TWindowPlacement> remembered = ReadWindowPlacement();
  if (remembered) {
    const DialogPixelRect r = FitWindowOnScreen(remembered->Frame, ToWindowRect(room),
                                            minimum.width(), minimum.height());
    setGeometry(r.left, r.top, r.width, r.height);
    if (remembered->PaneWidths.size() == 3) {
      Client->PaneSplitter()->setSizes(QList<int>(remembered->PaneWidths.begin(),
                                                  remembered->PaneWidths.end()));
    }
    if (remembered->bMaximized) setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  // The first time: the whole tree and five rows of the inspector when the screen has
  // room for them, centred.
  const QSize wanted = sizeHint().expandedTo(minimum);
  const DialogPixelRect centred{room.x() + (room.width() - wanted.width()) / 2,
                            room.y() + (room.height() - wanted.height()) / 2, wanted.width(),
                            wanted.height()};
  const DialogPixelRect r =
      FitWindowOnScreen(centred, ToWindowRect(room), minimum.width(), minimum.height());
  setGeometry(r.left, r.top, r.width, r.height);
  QList<int> panes = Client->PreferredPaneWidths();
  Client->PaneSplitter()->setSizes(panes);
}

void SDIDecFrame::RememberPlacement() {
  TWindowPlacement placement;
  const bool maximized = isMaximized();
  placement.Frame = ToWindowRect(maximized ? normalGeometry() : geometry());
  placement.bMaximized = maximized;
  for (int width : Client->PaneSplitter()->sizes()) placement.PaneWidths.push_back(width);
  // Losing the window's place is not worth a message on the way out.
  (void)WriteWindowPlacement(placement);
}

QString SDIDecFrame::StatusLine() const { return StatusText->text(); }

// ---- A site dropped on the window --------------------------------------------------------

std::optional<std::filesystem::path> SDIDecFrame::DroppedDirectory(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  const std::filesystem::path path = PathFromQt(urls.front().toLocalFile());
  std::error_code error;
  if (!std::filesystem::is_directory(path, error)) return std::nullopt;
  return path;
}

bool SDIDecFrame::HandleDrag(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  auto* drag = static_cast<QDropEvent*>(event);
  const std::optional<std::filesystem::path> directory = DroppedDirectory(drag->mimeData());
  if (!directory) return false;
  drag->acceptProposedAction();
  if (type == QEvent::Drop) {
    activateWindow();
    OpenSiteDirectory(*directory);
  }
  return true;
}

bool SDIDecFrame::OpenSiteDirectory(const std::filesystem::path& directory) {
  // A name relative to the working directory is checked and remembered as a whole path.
  std::error_code error;
  std::filesystem::path whole = std::filesystem::absolute(directory, error);
  if (error) whole = directory;
  std::string name = whole.native();
  // The path as typed may end in a slash; the site directory is kept without it.
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return Client->OpenSiteDirectory(name);
}

}  // namespace pix::ui
