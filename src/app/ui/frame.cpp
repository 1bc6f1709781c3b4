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

MainWindow::MainWindow(UserInterface& ui, const std::filesystem::path& layout_home)
    : QMainWindow(nullptr), ui_(ui), settings_(layout_home) {
  setWindowTitle(QStringLiteral("pixamond"));
  setObjectName(QStringLiteral("MainWindow"));
  setWindowIcon(ResourceIcon(1001));
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  client_ = new LayoutWindow(this, ui_, layout_home);
  client_->open_help = [this](int context) { OpenHelp(context); };
  connect(client_, &LayoutWindow::CloseRequested, this, &QWidget::close);
  connect(client_, &LayoutWindow::StatusMessage, this, [this](const QString& text) {
    status_text_->setText(text);
    status_text_->setToolTip(text);  // The whole line, when a narrow window cuts it.
  });
  setCentralWidget(client_);
  // A folder dropped anywhere on the window becomes the site directory.
  setAcceptDrops(true);
  PlaceWindow();
  qApp->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateEditActions(); });
  UpdateEditActions();
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  disconnect(qApp, nullptr, this, nullptr);
  if (help_mode_) QApplication::restoreOverrideCursor();
}

QAction* MainWindow::MakeAction(int id, const QString& text, const QString& hint) {
  auto* action = new QAction(text, this);
  action->setStatusTip(hint);
  action->setData(id);
  connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
  actions_.insert(id, action);
  return action;
}

void MainWindow::BuildMenus() {
  // Today's keys beside the design's own: they work everywhere in the window, and an edit
  // field keeps its own meaning of a key (Ctrl+Z, Ctrl+X, Del...) while it has the focus.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(
      MakeAction(24333, QStringLiteral("&Save"), QStringLiteral("Saves this document")));
  actions_.value(24333)->setShortcut(QKeySequence::Save);
  file->addAction(MakeAction(206, QStringLiteral("Select &Directory..."), QString()));
  actions_.value(206)->setShortcut(QKeySequence::Open);
  file->addAction(MakeAction(24332, QStringLiteral("&Open Picture"),
                             QStringLiteral("Opens the picture in the picture editor")));
  file->addAction(MakeAction(215, QStringLiteral("Delete"), QString()));
  file->addAction(MakeAction(219, QStringLiteral("Rename"), QString()));
  actions_.value(219)->setShortcut(QKeySequence(Qt::Key_F2));
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
  actions_.value(24310)->setShortcuts(quit);
  connect(file, &QMenu::aboutToShow, this, [this] {
    actions_.value(24332)->setEnabled(client_->Model().CanOpenSelected());
  });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  struct EditItem {
    int id;
    const char* text;
    const char* hint;
    QList<QKeySequence> keys;
  };
  const EditItem edit_items[] = {
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
  for (const EditItem& item : edit_items) {
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
  actions_.value(211)->setShortcuts(
      {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_G)});
  pages->addAction(MakeAction(212, QStringLiteral("&Auto Organize..."), QString()));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(MakeAction(401, QStringLiteral("&Contents"), QString()));
  help->addAction(MakeAction(2009, QStringLiteral("&About..."),
                             QStringLiteral("About the pixamond application")));

  // Commands without a menu item: the tool bar's help, help on help, and F3.
  MakeAction(2001, QStringLiteral("Help"), QStringLiteral("Help table of contents"));
  MakeAction(2002, QStringLiteral("Help on Help"), QStringLiteral("Help on using online Help"));
  QAction* find_next =
      MakeAction(24353, QStringLiteral("Find Next"), QStringLiteral("Finds the next match"));
  find_next->setShortcut(QKeySequence(Qt::Key_F3));
  addAction(find_next);
  for (QMenu* menu : {file, edit, pages, help}) menu->installEventFilter(this);
}

void MainWindow::BuildToolBar() {
  QToolBar* bar = addToolBar(QStringLiteral("Tools"));
  bar->setObjectName(QStringLiteral("32041"));
  bar->setMovable(false);
  QFont gadget = bar->font();
  gadget.setPointSize(10);
  bar->setFont(gadget);
  bar->setIconSize(QSize(20, 20));
  for (int id : {24333, 24322, 24323, 24324, 24321}) {
    actions_.value(id)->setIcon(ResourceIcon(id));
    bar->addAction(actions_.value(id));
  }
  auto* gap = new QWidget(bar);
  gap->setFixedWidth(6);
  bar->addWidget(gap);
  actions_.value(2001)->setIcon(ResourceIcon(2001));
  bar->addAction(actions_.value(2001));
  for (QAction* action : bar->actions()) action->setToolTip(action->statusTip());
}

void MainWindow::BuildStatusBar() {
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
  status_text_ = new QLabel;
  status_text_->setObjectName(QStringLiteral("StatusLine"));
  status_text_->setTextFormat(Qt::PlainText);
  status_text_->setMinimumWidth(1);  // Long lines are cut at the edge, not widening the window.
  bar->addWidget(status_text_, 1);
  overtype_indicator_ = new QLabel(QStringLiteral("OVR"));
  overtype_indicator_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  overtype_indicator_->setEnabled(false);
  bar->addPermanentWidget(overtype_indicator_);
}

HelpWindow* MainWindow::help_window() {
  if (help_.isNull()) help_ = new HelpWindow(this);
  return help_.data();
}

void MainWindow::OpenHelp(int context) { help_window()->ShowTopic(context); }

void MainWindow::UpdateEditActions() {
  QWidget* focus = QApplication::focusWidget();
  const bool edit_focused =
      qobject_cast<QLineEdit*>(focus) != nullptr || qobject_cast<QPlainTextEdit*>(focus) != nullptr;
  for (int id : {24322, 24323, 24324, 24326}) actions_.value(id)->setEnabled(edit_focused);
  // Del deletes in an edit field, and crosses out the selected item in the tree.
  actions_.value(24325)->setEnabled(edit_focused || focus == client_->ObjListBox());
  // Undo reaches the layout window when no edit field has the focus.
  actions_.value(24321)->setEnabled(true);
  bool overtype = false;
  if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) overtype = plain->overwriteMode();
  if (overtype_indicator_ != nullptr) overtype_indicator_->setEnabled(overtype);
}

void MainWindow::EditCommand(int id) {
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
  if (id == 24321) client_->Command(id);
  if (id == 24325 && focus == client_->ObjListBox()) client_->Command(kDelete);
}

void MainWindow::Dispatch(int id) {
  if (help_mode_ || f1_down_) {
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
    case kHelpIndex:
      help_state_ = true;
      OpenHelp(kHelpContents);
      return;
    case kHelpHelp:
      help_state_ = true;
      OpenHelp(kHelpOnHelp);
      return;
    case kHelpAbout: {
      AboutDialog about(this);
      about.exec();
      return;
    }
    case kFileCancel:
    case kEditFindNext:
      return;  // Nothing to do.
    default:
      client_->Command(id);
  }
}

void MainWindow::EnterHelpMode() {
  if (!help_mode_) QApplication::setOverrideCursor(HelpCursor());
  help_mode_ = true;
}

void MainWindow::LeaveHelpMode() {
  if (help_mode_) QApplication::restoreOverrideCursor();
  help_mode_ = false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (HandleDrag(watched, event)) return true;
  if (event->type() == QEvent::KeyRelease) {
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) f1_down_ = false;
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
      f1_down_ = true;
      OpenHelp(kHelpContents);
    }
    return true;
  }
  if (key->key() == Qt::Key_Escape && help_mode_) {
    LeaveHelpMode();
    return true;
  }
  return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Every way of closing (Exit, the Cancel button, the title bar, the window manager's
  // Alt+F4) asks about edits that are not saved.
  if (!client_->Model().QueryClose()) {
    event->ignore();
    return;
  }
  // The help window belongs to the program; it goes with the frame.
  if (!help_.isNull()) help_->close();
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) RememberPlacement();
}

// ---- Place and size ----------------------------------------------------------------------

namespace {

PixelRect ToWindowRect(const QRect& r) { return PixelRect{r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

void MainWindow::PlaceWindow() {
  const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  const QRect desktop =
      shown != nullptr ? shown->availableGeometry() : QRect(0, 0, 1366, 768);
  // The window manager's title bar and borders come on top of the window's own rectangle.
  const QRect room = desktop.adjusted(0, 0, -8, -40);
  const QSize minimum = minimumSizeHint();
  const std::optional<WindowPlacement> remembered = ReadWindowPlacement(settings_);
  if (remembered) {
    const PixelRect r =
        FitWindowOnScreen(remembered->frame, ToWindowRect(room), minimum.width(), minimum.height());
    setGeometry(r.left, r.top, r.width, r.height);
    if (remembered->pane_widths.size() == 3) {
      client_->PaneSplitter()->setSizes(QList<int>(remembered->pane_widths.begin(),
                                                  remembered->pane_widths.end()));
    }
    if (remembered->maximized) setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  // The first time: the whole tree and five rows of the inspector when the screen has
  // room for them, centred.
  const QSize wanted = sizeHint().expandedTo(minimum);
  const PixelRect centred{room.x() + (room.width() - wanted.width()) / 2,
                           room.y() + (room.height() - wanted.height()) / 2, wanted.width(),
                           wanted.height()};
  const PixelRect r =
      FitWindowOnScreen(centred, ToWindowRect(room), minimum.width(), minimum.height());
  setGeometry(r.left, r.top, r.width, r.height);
  QList<int> panes = client_->PreferredPaneWidths();
  client_->PaneSplitter()->setSizes(panes);
}

void MainWindow::RememberPlacement() {
  WindowPlacement placement;
  const bool maximized = isMaximized();
  placement.frame = ToWindowRect(maximized ? normalGeometry() : geometry());
  placement.maximized = maximized;
  for (int width : client_->PaneSplitter()->sizes()) placement.pane_widths.push_back(width);
  // Losing the window's place is not worth a message on the way out.
  (void)WriteWindowPlacement(settings_, placement);
}

QString MainWindow::StatusLine() const { return status_text_->text(); }

// ---- A site dropped on the window --------------------------------------------------------

std::optional<std::filesystem::path> MainWindow::DroppedDirectory(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  const std::filesystem::path path = PathFromQt(urls.front().toLocalFile());
  std::error_code error;
  if (!std::filesystem::is_directory(path, error)) return std::nullopt;
  return path;
}

bool MainWindow::HandleDrag(QObject* watched, QEvent* event) {
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

bool MainWindow::OpenSiteDirectory(const std::filesystem::path& directory) {
  // A name relative to the working directory is checked and remembered as a whole path.
  std::error_code error;
  std::filesystem::path whole = std::filesystem::absolute(directory, error);
  if (error) whole = directory;
  std::string name = whole.native();
  // The path as typed may end in a slash; the site directory is kept without it.
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return client_->OpenSiteDirectory(name);
}

}  // namespace pix::ui
