#include "app/ui/configwindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/helpwindow.h"
#include "app/ui/samplesdlg.h"
#include "app/ui/statusdlg.h"
#include "base/ui/icons.h"
#include "base/ui/qttext.h"
#include "base/ui/qttrash.h"
#include "layout/inspector.h"
#include "layout/ui/inspectorwindow.h"
#include "picture/ui/imagewindow.h"

namespace pix::ui {

namespace {

// The average width of a character of `font`: the unit of the panes' widths and of the
// tree's indent.
int CharWidth(const QFont& font) { return std::max(1, QFontMetrics(font).averageCharWidth()); }

// The gap around the panes.
int PaneMargin(const QFont& font) { return std::max(2, CharWidth(font) / 2); }

}  // namespace

// ---- Rows ------------------------------------------------------------------------------

int ConfigRowDelegate::RowHeight(const QFont& font) {
  return std::max(16, QFontMetrics(font).height() + 2);
}

QSize ConfigRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  const int height = RowHeight(option.font);
  const auto& rows = model_.ListedItems();
  const auto row = static_cast<std::size_t>(index.row());
  if (index.row() < 0 || row >= rows.size()) return QSize(height, height);
  const ConfigItem* item = rows[row];
  const int indent = LayoutModel::RowIndent(item->Level(), CharWidth(option.font));
  return QSize(
      indent + height + QFontMetrics(option.font).horizontalAdvance(ToQt(item->Label())) + 4,
      height);
}

void ConfigRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const auto& rows = model_.ListedItems();
  const auto row = static_cast<std::size_t>(index.row());
  if (index.row() < 0 || row >= rows.size()) return;
  const ConfigItem* item = rows[row];
  const QRect r = option.rect;
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  const QPalette::ColorGroup group =
      (option.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
  const QColor text =
      option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
  painter->save();
  painter->fillRect(r, option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base));
  const int height = r.height();
  const int indent = LayoutModel::RowIndent(item->Level(), CharWidth(option.font));
  const qreal scale = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
  painter->drawPixmap(QRect(r.left() + indent, r.top(), height, height),
                      ResourcePixmap(item->GetBitmapId(), height, scale));
  painter->setPen(text);
  painter->setFont(option.font);
  painter->drawText(QRect(r.left() + indent + height + 2, r.top(), r.width(), height),
                    Qt::AlignLeft | Qt::AlignVCenter, ToQt(item->Label()));
  if (item->IsCrossedOut()) {
    // The row's bottom edge lies one pixel below the rectangle's last line.
    const int middle = (r.top() + r.top() + height) / 2;
    painter->setPen(QPen(text, 1));
    painter->drawLine(0, middle, r.right(), middle);
  }
  painter->restore();
}

// ---- The window ------------------------------------------------------------------------

LayoutWindow::LayoutWindow(QWidget* parent, UserInterface& ui,
                           const std::filesystem::path& layout_home)
    : QWidget(parent),
      ui_(ui),
      trash_(std::make_unique<QtTrash>()),
      layout_model_(std::make_unique<LayoutModel>(ui, layout_home)),
      list_box_(new QListWidget),
      inspect_window_(new InspectorWindow(nullptr, layout_model_->Inspector())),
      preview_window_(new ImageWindow(nullptr)) {
  setObjectName(QStringLiteral("LayoutWindow"));
  layout_model_->SetPreviewTarget(preview_window_);
  layout_model_->SetTrash(trash_.get());

  // The tree: one row per item, as wide as its label, so that a long one scrolls sideways
  // rather than being cut.
  list_box_->setObjectName(QStringLiteral("LayoutTree"));
  list_box_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_box_->setItemDelegate(new ConfigRowDelegate(list_box_, *layout_model_));
  list_box_->setUniformItemSizes(false);
  list_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_box_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list_box_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_box_->installEventFilter(this);
  connect(list_box_, &QListWidget::itemSelectionChanged, this, &LayoutWindow::SelectionChanged);
  connect(list_box_, &QListWidget::doubleClicked, this, &LayoutWindow::OpenIfPossible);
  connect(list_box_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    std::unique_ptr<QMenu> menu(BuildContextMenu(this));
    menu->exec(list_box_->viewport()->mapToGlobal(at));
  });

  choose_directory = [this](const std::string& start) -> std::optional<std::string> {
    // Directory names are file names, not text: they cross as the file system spells them,
    // so a chosen folder comes back as exactly the folder on disk.
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select Directory"), PathToQt(start));
    if (chosen.isEmpty()) return std::nullopt;
    return PathFromQt(chosen).native();
  };
  exec_dialog = [](QDialog& dialog) { return dialog.exec(); };

  // The column: the preview takes the height the buttons leave.
  side_column_ = new QWidget;
  side_column_->setObjectName(QStringLiteral("PreviewAndButtons"));
  auto* column = new QVBoxLayout(side_column_);
  column->setContentsMargins(0, 0, 0, 0);
  preview_window_->setObjectName(QStringLiteral("Preview"));
  preview_window_->setFocusPolicy(Qt::NoFocus);
  preview_window_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  preview_window_->ClearPicture();
  column->addWidget(preview_window_, 1);
  const struct {
    const char* text;
    const char* name;
    void (LayoutWindow::*handler)();
  } buttons[] = {
      {"Close", "CloseButton", &LayoutWindow::CmExit},
      {"Cancel", "CancelButton", &LayoutWindow::CmCancel},
      {"Help", "HelpButton", &LayoutWindow::CmHelp},
      {"Generate Site", "GenerateSiteButton", &LayoutWindow::CmGenerateSite},
      {"Select Dir", "SelectDirButton", &LayoutWindow::CmSelectDirectory},
  };
  int button_width = 0;
  for (const auto& [text, name, handler] : buttons) {
    auto* button = new QPushButton(ToQt(text), side_column_);
    button->setObjectName(ToQt(name));
    connect(button, &QPushButton::clicked, this, handler);
    column->addWidget(button);
    buttons_.push_back(button);
    button_width = std::max(button_width, button->sizeHint().width());
  }
  // The buttons are as wide as the widest text needs; a wider column lets them grow a
  // little, centred, but never to a sprawling size.
  for (QPushButton* button : buttons_) {
    button->setMinimumWidth(button_width);
    button->setMaximumWidth(button_width * 8 / 5);
  }
  preview_window_->setMinimumSize(button_width, 2 * buttons_.front()->sizeHint().height());

  // Three panes the user can widen or narrow.
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName(QStringLiteral("LayoutPanes"));
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(list_box_);
  splitter_->addWidget(inspect_window_);
  splitter_->addWidget(side_column_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 3);
  splitter_->setStretchFactor(2, 1);
  auto* layout = new QHBoxLayout(this);
  const int margin = PaneMargin(font());
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->addWidget(splitter_);

  const int unit = CharWidth(font());
  list_box_->setMinimumWidth(10 * unit);
  inspect_window_->setMinimumSize(24 * unit,
                                  inspect_window_->RowHeight() + 2 * inspect_window_->frameWidth());
  connect(inspect_window_, &InspectorWindow::RowsChanged, this, &LayoutWindow::UpdateTabOrder);

  FillList();
  UpdateTabOrder();
  splitter_->setSizes(PreferredPaneWidths());
  resize(sizeHint());
  list_box_->setFocus();
}

QPushButton* LayoutWindow::Button(LayoutButton which) const {
  return buttons_.at(static_cast<std::size_t>(which));
}

QList<int> LayoutWindow::PreferredPaneWidths() const {
  const int unit = CharWidth(font());
  // The tree: its widest row and the frame and scroll bar around it, within reason.
  int widest = 0;
  for (int row = 0; row < list_box_->count(); ++row) {
    widest = std::max(widest, list_box_->sizeHintForIndex(list_box_->model()->index(row, 0)).width());
  }
  const int chrome = 2 * list_box_->frameWidth() + list_box_->verticalScrollBar()->sizeHint().width() + 4;
  const int tree = std::clamp(widest + chrome, list_box_->minimumWidth(), 56 * unit);
  // The inspector: room for a line of a template.
  const int inspector = std::max(inspect_window_->minimumWidth(), 64 * unit);
  // The column: room for an inline image of a common size in the preview, and for the
  // buttons with a little room beside them.
  const int column = std::max(side_column_->minimumSizeHint().width() * 5 / 4, 28 * unit);
  return {tree, inspector, column};
}

QSize LayoutWindow::sizeHint() const {
  const QList<int> widths = PreferredPaneWidths();
  int width = splitter_->handleWidth() * 2;
  for (int pane : widths) width += pane;
  const int row_height = ConfigRowDelegate::RowHeight(list_box_->font());
  const int tree = list_box_->count() * row_height + 2 * list_box_->frameWidth() +
                   list_box_->horizontalScrollBar()->sizeHint().height() + 4;
  const int inspector = 5 * inspect_window_->RowHeight() + 2 * inspect_window_->frameWidth();
  const int height = std::max({tree, inspector, side_column_->minimumSizeHint().height()});
  const int margin = PaneMargin(font());
  return QSize(width + 2 * margin, height + 2 * margin);
}

LayoutWindow::~LayoutWindow() {
  // The rows edit the model's inspector: they go before the model does.
  layout_model_->SetPreviewTarget(nullptr);
  delete inspect_window_;
  delete preview_window_;
}

bool LayoutWindow::Command(int id) {
  switch (id) {
    case kSave:
      CmSave();
      return true;
    case kSelectDir:
      CmSelectDirectory();
      return true;
    case kDelete:
      CmDelete();
      return true;
    case kRename:
      CmRename();
      return true;
    case kExit:
      CmExit();
      return true;
    case kUndo:
      CmUndo();
      return true;
    case kSampleLayouts:
      CmSampleLayouts();
      return true;
    case kGenerateSite:
      CmGenerateSite();
      return true;
    case kAutoOrganize:
      CmAutoOrganize();
      return true;
    case kShowHelpContents:
      CmHelpContents();
      return true;
    case kOpen:
      CmOpen();
      return true;
    default:
      return false;
  }
}

void LayoutWindow::FillList() {
  const QSignalBlocker block(list_box_);
  list_box_->clear();
  const int count = static_cast<int>(layout_model_->ListedItems().size());
  for (int row = 0; row < count; ++row) list_box_->addItem(new QListWidgetItem);
  // The caret goes to the first row, but nothing is selected until the user picks a row.
  if (count > 0) {
    list_box_->selectionModel()->setCurrentIndex(list_box_->model()->index(0, 0),
                                               QItemSelectionModel::NoUpdate);
  }
  // A list filled again for the same tree keeps showing the model's selection.
  const int selected = layout_model_->SelectedIndex();
  if (selected >= 0 && selected < count) list_box_->setCurrentRow(selected);
  inspect_window_->ShowModel();
}

void LayoutWindow::SelectionChanged() {
  const QList<QListWidgetItem*> selected = list_box_->selectedItems();
  if (selected.isEmpty()) return;
  layout_model_->Select(list_box_->row(selected.front()));
  inspect_window_->ShowModel();
}

void LayoutWindow::RepaintList() {
  // A renamed row may be wider or narrower than before.
  list_box_->doItemsLayout();
  list_box_->viewport()->update();
}

void LayoutWindow::ShowStatus() {
  const std::string text = layout_model_->TakeStatusText();
  if (!text.empty()) emit StatusMessage(ToQt(text));
}

void LayoutWindow::UpdateTabOrder() {
  QWidget* previous = list_box_;
  for (int row = 0; row < inspect_window_->FieldCount(); ++row) {
    VarField* field = inspect_window_->Field(row);
    for (QWidget* box : {static_cast<QWidget*>(field->LabelEditBox()),
                         static_cast<QWidget*>(field->ValueEditBox())}) {
      setTabOrder(previous, box);
      previous = box;
    }
  }
  for (QPushButton* button : buttons_) {
    setTabOrder(previous, button);
    previous = button;
  }
}

void LayoutWindow::OpenIfPossible() {
  if (layout_model_->CanOpenSelected()) CmOpen();
}

bool LayoutWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_box_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && layout_model_->CanOpenSelected()) {
      CmOpen();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

QMenu* LayoutWindow::BuildContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const ConfigItem* item = layout_model_->SelectedItem();
  auto add = [&](const QString& text, int id, bool enabled) {
    QAction* action = menu->addAction(text, this, [this, id] { Command(id); });
    action->setEnabled(enabled);
    action->setData(id);
  };
  add(QStringLiteral("&Open"), kOpen, layout_model_->CanOpenSelected());
  add(QStringLiteral("Rename\tF2"), kRename, item != nullptr && item->CanRename());
  add(QStringLiteral("Delete\tDel"), kDelete, item != nullptr && item->CanDelete());
  add(QStringLiteral("&Undo\tCtrl+Z"), kUndo, item != nullptr && item->IsCrossedOut());
  menu->addSeparator();
  add(QStringLiteral("&Save\tCtrl+S"), kSave, item != nullptr);
  return menu;
}

// ---- Commands on the selected item -----------------------------------------------------

void LayoutWindow::CmSave() {
  layout_model_->Save();
  inspect_window_->ShowModel();
  RepaintList();
  ShowStatus();
}

void LayoutWindow::CmDelete() {
  layout_model_->Delete();
  RepaintList();
}

void LayoutWindow::CmUndo() {
  layout_model_->Undo();
  RepaintList();
}

void LayoutWindow::CmRename() {
  if (layout_model_->Rename()) RepaintList();
}

void LayoutWindow::CmOpen() { layout_model_->Open(); }

void LayoutWindow::CmExit() {
  layout_model_->SaveLayout();
  inspect_window_->ShowModel();
  ShowStatus();
  emit CloseRequested();
}

void LayoutWindow::CmCancel() { emit CloseRequested(); }

void LayoutWindow::CmHelpContents() {
  if (open_help) open_help(kHelpContents);
}

void LayoutWindow::CmHelp() {
  if (open_help) open_help(kHelpLayoutWindow);
}

// ---- Commands on the site --------------------------------------------------------------

void LayoutWindow::CmSelectDirectory() {
  if (!choose_directory) return;
  const std::optional<std::string> chosen = choose_directory(layout_model_->SiteDir());
  if (!chosen) return;
  OpenSiteDirectory(*chosen);
}

bool LayoutWindow::OpenSiteDirectory(const std::string& directory) {
  const bool taken = layout_model_->SelectDirectory(directory);
  if (taken) FillList();  // Refused, the old tree and its edits stay as they were.
  ShowStatus();
  return taken;
}

void LayoutWindow::RunWithStatus(const std::function<void(Progress&)>& job) {
  StatusDialog status(this);
  emit RunStarted(&status);
  setCursor(Qt::WaitCursor);
  job(status);
  status.hide();
  // The keyboard comes back to the window the run was started from.
  window()->activateWindow();
  unsetCursor();
  // The job may have rebuilt the tree (after a run) or left it (a refused directory).
  FillList();
  ShowStatus();
}

void LayoutWindow::CmGenerateSite() {
  RunWithStatus([this](Progress& progress) { layout_model_->GenerateSite(progress); });
}

void LayoutWindow::CmAutoOrganize() {
  RunWithStatus([this](Progress& progress) { layout_model_->AutoOrganize(progress); });
}

void LayoutWindow::CmSampleLayouts() {
  layout_model_->SaveLayout();
  setCursor(Qt::WaitCursor);
  {
    const std::filesystem::path home = layout_model_->layout_home();
    SamplesDialog dialog(this, ui_, SampleDirectories(home), home / "globals.txt");
    dialog.open_help = open_help;
    if (exec_dialog) exec_dialog(dialog);
  }
  layout_model_->RefreshLayout();
  FillList();
  unsetCursor();
  ShowStatus();
}

}  // namespace pix::ui
