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
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "app/ui/aboutdlg.h"
#include "app/ui/configwindow.h"
#include "app/ui/helpwindow.h"
#include "app/ui/pagepreviewpane.h"
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
  connect(client_, &LayoutWindow::RunningChanged, this, [this](bool running) {
    for (int id : {24333, 206, 215, 219, 302, 211, 212}) actions_.value(id)->setEnabled(!running);
    if (!running) UpdateUnsavedMarks();
  });
  connect(client_, &LayoutWindow::EditsChanged, this, &MainWindow::UpdateUnsavedMarks);
  // The menu's check mark follows the preview's tab, however it was chosen.
  connect(client_->PreviewTabs(), &QTabWidget::currentChanged, this, [this] {
    actions_.value(kShowPagePreview)
        ->setChecked(client_->PreviewTabs()->currentWidget() == client_->page_preview());
  });
  setCentralWidget(client_);
  // A folder dropped anywhere on the window becomes the site directory.
  setAcceptDrops(true);
  PlaceWindow();
  qApp->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateEditActions(); });
  UpdateEditActions();
  UpdateUnsavedMarks();
}

void MainWindow::UpdateUnsavedMarks() {
  const bool unsaved = client_->Model().HasUnsavedEdits();
  // The desktop's convention: the title starts with "*" while there is something to save.
  setWindowTitle(unsaved ? QStringLiteral("*pixamond") : QStringLiteral("pixamond"));
  if (!client_->IsRunning()) actions_.value(24333)->setEnabled(unsaved);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  disconnect(qApp, nullptr, this, nullptr);
  // The preview's tabs change as the window's children go, after this window's members.
  disconnect(client_->PreviewTabs(), nullptr, this, nullptr);
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
  file->addAction(MakeAction(kOpenInBrowser, QStringLiteral("Open in &Browser"),
                             QStringLiteral("Shows the generated page of the selection in the "
                                            "web browser")));
  file->addAction(MakeAction(215, QStringLiteral("Delete"), QString()));
  file->addAction(MakeAction(219, QStringLiteral("Rename"), QString()));
  actions_.value(219)->setShortcut(QKeySequence(Qt::Key_F2));
  file->addSeparator();
  file->addAction(MakeAction(210, QStringLiteral("&Cancel"), QString()));
  file->addAction(
      MakeAction(24310, QStringLiteral("E&xit"),
                 QStringLiteral("Quits pixamondApp and prompts to save the documents")));
  // The menu shows Ctrl+Q, the desktop's Quit key; Alt+F4 acts too, also where no window
  // manager takes it, and Ctrl+W closes the window like the title bar's button.
  QList<QKeySequence> quit{QKeySequence(Qt::CTRL | Qt::Key_Q)};
  for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Quit)) {
    if (!quit.contains(key)) quit.append(key);
  }
  quit.append(QKeySequence(Qt::ALT | Qt::Key_F4));
  quit.append(QKeySequence(Qt::CTRL | Qt::Key_W));
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
  // The menu shows the first key of each item, today's standard one; the older keys of
  // the same command keep working beside it.
  const EditItem edit_items[] = {
      {24321,
       "&Undo",
       "Reverses the last operation",
       {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)}},
      {kEditRedo,
       "&Redo",
       "Does again what Undo reversed",
       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}},
      {24322,
       "Cu&t",
       "Cuts the selection and puts it on the Clipboard",
       {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
      {24323,
       "&Copy",
       "Copies the selection and puts it on the Clipboard",
       {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
      {24324,
       "&Paste",
       "Inserts the clipboard contents at the insertion point",
       {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
      {24326, "Clear &All", "Clear the document", {QKeySequence(Qt::CTRL | Qt::Key_Delete)}},
      {24325, "&Delete", "Deletes the selection", {QKeySequence(Qt::Key_Delete)}},
  };
  for (const EditItem& item : edit_items) {
    QAction* action =
        MakeAction(item.id, QString::fromUtf8(item.text), QString::fromUtf8(item.hint));
    action->setShortcuts(item.keys);
    // Inside an edit field the field's own keys win; elsewhere the frame routes them.
    action->setShortcutContext(Qt::WindowShortcut);
    action->setEnabled(false);
    edit->addAction(action);
    if (item.id == kEditRedo || item.id == 24324) edit->addSeparator();
  }

  QMenu* pages = menuBar()->addMenu(QStringLiteral("&Pages"));
  pages->addAction(MakeAction(302, QStringLiteral("&Sample Layouts..."), QString()));
  pages->addAction(MakeAction(211, QStringLiteral("&Generate Site"), QString()));
  actions_.value(211)->setShortcuts(
      {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_G)});
  pages->addAction(MakeAction(212, QStringLiteral("&Auto Organize..."), QString()));
  pages->addSeparator();
  QAction* page_preview =
      MakeAction(kShowPagePreview, QStringLiteral("&Page Preview"),
                 QStringLiteral("Shows the selection's page as a browser shows it, with the "
                                "edits not saved yet"));
  page_preview->setCheckable(true);
  pages->addAction(page_preview);

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
  // The commands as verbs beside their icons; those without an icon show the word alone.
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  for (int id : {24333, 24322, 24323, 24324, 24321}) {
    actions_.value(id)->setIcon(ResourceIcon(id));
    bar->addAction(actions_.value(id));
  }
  bar->addSeparator();
  for (int id : {211, 212, 302, static_cast<int>(kOpenInBrowser)}) {
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
  // The whole width is the message's: lock-key indicators, which this desktop cannot read
  // anyway, would only cut it.
  // The last save, run or site directory; a menu item's hint covers it only for a while.
  status_text_ = new QLabel;
  status_text_->setObjectName(QStringLiteral("StatusLine"));
  status_text_->setTextFormat(Qt::PlainText);
  status_text_->setMinimumWidth(1);  // Long lines are cut at the edge, not widening the window.
  bar->addWidget(status_text_, 1);
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
  // Undo and Redo reach the layout window when no edit field has the focus.
  actions_.value(24321)->setEnabled(true);
  actions_.value(kEditRedo)->setEnabled(true);
}

void MainWindow::EditCommand(int id) {
  QWidget* focus = QApplication::focusWidget();
  if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    switch (id) {
      case 24321:
        line->undo();
        break;
      case kEditRedo:
        line->redo();
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
      case kEditRedo:
        plain->redo();
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
  if (id == 24321 || id == kEditRedo) client_->Command(id);
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
    case kEditRedo:
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
  if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier &&
      qobject_cast<QWidget*>(watched) != nullptr &&
      static_cast<QWidget*>(watched)->window() == this &&
      qobject_cast<QMenu*>(watched) == nullptr) {
    // F10 opens the menu bar's first menu, as on every desktop.
    const QList<QAction*> menus = menuBar()->actions();
    if (!menus.isEmpty()) {
      menuBar()->setFocus(Qt::MenuBarFocusReason);
      menuBar()->setActiveAction(menus.front());
    }
    return true;
  }
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
  // A run in the background is asked to stop first; the window closes once it has.
  if (client_->IsRunning()) {
    event->ignore();
    client_->CancelRunThen([this] { close(); });
    return;
  }
  // Every way of closing (Exit, the Close and Cancel buttons, the title bar, the window
  // manager's Alt+F4, Ctrl+W, Ctrl+Q) asks about edits that are not saved.
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
  PlaceOnScreen(shown != nullptr ? shown->availableGeometry() : QRect(0, 0, 1366, 768));
}

void MainWindow::PlaceOnScreen(const QRect& desktop) {
  // The window manager's title bar and borders come around the window's own rectangle:
  // room is kept for them, so that the title bar never lies above the top of the screen.
  const int title_bar = std::max(32, 2 * fontMetrics().height());
  const QRect room = desktop.adjusted(4, title_bar, -4, -4);
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
  // The first time: most of the screen, so that the tree, the inspector and a large
  // preview show side by side, but not a sprawling window on a large screen; centred.
  const QSize wanted =
      QSize(std::min(room.width() * 92 / 100, 1600), std::min(room.height() * 92 / 100, 1000))
          .expandedTo(minimum);
  const PixelRect centred{room.x() + (room.width() - wanted.width()) / 2,
                           room.y() + (room.height() - wanted.height()) / 2, wanted.width(),
                           wanted.height()};
  const PixelRect r =
      FitWindowOnScreen(centred, ToWindowRect(room), minimum.width(), minimum.height());
  setGeometry(r.left, r.top, r.width, r.height);
  client_->PaneSplitter()->setSizes(client_->PaneWidthsFor(r.width));
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  QTimer::singleShot(0, this, [this] {
    const QScreen* shown = screen();
    if (shown == nullptr || isMaximized() || isFullScreen()) return;
    const QRect desktop = shown->availableGeometry();
    const QRect framed = frameGeometry();
    if (framed.top() < desktop.top() || framed.left() < desktop.left()) {
      move(std::max(framed.left(), desktop.left()), std::max(framed.top(), desktop.top()));
    }
  });
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
