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

#include "app/ui/helpwindow.h"
#include "app/ui/samplesdlg.h"
#include "app/ui/statusdlg.h"
#include "base/dialogs.h"
#include "base/sidecolumn.h"
#include "base/ui/icons.h"
#include "base/ui/qttrash.h"
#include "base/ui/qttext.h"
#include "layout/inspector.h"
#include "layout/ui/inspectorwindow.h"
#include "picture/ui/imagewindow.h"

namespace pix::ui {

// ---- Rows ------------------------------------------------------------------------------

int TConfigRowDelegate::RowHeight(const QFont& font) {
  return std::max(16, QFontMetrics(font).height() + 2);
}

QSize TConfigRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  const int height = RowHeight(option.font);
  const auto& rows = Model.ListedItems();
  const auto row = static_cast<std::size_t>(index.row());
  if (index.row() < 0 || row >= rows.size()) return QSize(height, height);
  const ConfigItem* item = rows[row];
  const int indent =
      LayoutModel::RowIndent(item->Level(), DialogBaseUnitsOf(option.font).horizontal);
  return QSize(
      indent + height + QFontMetrics(option.font).horizontalAdvance(ToQt(item->Label())) + 4,
      height);
}

void TConfigRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const auto& rows = Model.ListedItems();
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
  const int indent =
      LayoutModel::RowIndent(item->Level(), DialogBaseUnitsOf(option.font).horizontal);
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

// ---- The panes -------------------------------------------------------------------------

namespace {

// A pane whose children all cover it whole: the inspector over its frame.
class TStackPane : public QWidget {
 public:
  explicit TStackPane(QWidget* parent) : QWidget(parent) {}
  QSize minimumSizeHint() const override {
    QSize size;
    for (const QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      size = size.expandedTo(child->minimumSize().expandedTo(child->minimumSizeHint()));
    }
    return size;
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      child->setGeometry(rect());
    }
  }
};

// The column beside the inspector: the preview over its frame at the top and the buttons
// below it, placed by LayoutSideColumn.
class TSideColumnPane : public QWidget {
 public:
  TSideColumnPane(QWidget* parent, QWidget* previewFrame, QWidget* preview,
                  std::vector<QPushButton*> buttons, int templateWidth)
      : QWidget(parent),
        PreviewFrame(previewFrame),
        Preview(preview),
        Buttons(std::move(buttons)),
        TemplateWidth(templateWidth) {
    PreviewFrame->setParent(this);
    Preview->setParent(this);
    for (QPushButton* button : Buttons) button->setParent(this);
  }

  SideColumnShape Shape() const {
    SideColumnShape shape;
    shape.button_count = static_cast<int>(Buttons.size());
    int width = 0;
    int height = 0;
    for (const QPushButton* button : Buttons) {
      width = std::max(width, button->sizeHint().width());
      height = std::max(height, button->sizeHint().height());
    }
    // The buttons follow the window's height, but never below what their text needs and
    // never to the sprawling size a large window would give them.
    shape.button = SizeLimits{width, height, width * 8 / 5, height * 3 / 2};
    shape.min_preview_side = height * 2;
    return shape;
  }
  QSize minimumSizeHint() const override {
    const DialogPixelRect minimum = MinimumSideColumn(Shape());
    return QSize(minimum.width, minimum.height);
  }
  QSize sizeHint() const override {
    const QSize minimum = minimumSizeHint();
    return QSize(std::max(minimum.width() * 5 / 4, TemplateWidth), minimum.height());
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const SideColumn column = LayoutSideColumn(width(), height(), Shape());
    const DialogPixelRect& p = column.preview;
    PreviewFrame->setGeometry(p.left, p.top, p.width, p.height);
    Preview->setGeometry(PreviewFrame->geometry());
    for (std::size_t i = 0; i < Buttons.size() && i < column.buttons.size(); ++i) {
      const DialogPixelRect& b = column.buttons[i];
      Buttons[i]->setGeometry(b.left, b.top, b.width, b.height);
    }
  }

 private:
  QWidget* PreviewFrame;
  QWidget* Preview;
  std::vector<QPushButton*> Buttons;
  int TemplateWidth;
};

}  // namespace

// ---- The window ------------------------------------------------------------------------

TConfigWindow::TConfigWindow(QWidget* parent, UserInterface& ui)
    : ParentWindow(parent, QStringLiteral("Config Window"), kConfigWindowId),
      Ui(ui),
      trash_(std::make_unique<QtTrash>()),
      layout_model_(std::make_unique<LayoutModel>(ui)),
      ListBox(FindControlAs<QListWidget>(kObjListBoxId)),
      InspectWindow(new InspectorWindow(this, layout_model_->Inspector())),
      PreviewWindow(new ImageWindow(this)) {
  setObjectName(QStringLiteral("TConfigWindow"));
  PIX_CHECK(ListBox != nullptr);
  layout_model_->SetPreviewTarget(PreviewWindow);
  layout_model_->SetTrash(trash_.get());
  ListBox->setItemDelegate(new TConfigRowDelegate(ListBox, *layout_model_));
  // Each row is as wide as its label, so that a long one scrolls sideways rather than
  // being cut.
  ListBox->setUniformItemSizes(false);
  ListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  ListBox->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  ListBox->setContextMenuPolicy(Qt::CustomContextMenu);
  ListBox->installEventFilter(this);
  connect(ListBox, &QListWidget::itemSelectionChanged, this, &TConfigWindow::SelectionChanged);
  connect(ListBox, &QListWidget::doubleClicked, this, &TConfigWindow::OpenIfPossible);
  connect(ListBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    std::unique_ptr<QMenu> menu(BuildContextMenu(this));
    menu->exec(ListBox->viewport()->mapToGlobal(at));
  });
  PreviewWindow->setFocusPolicy(Qt::NoFocus);
  PreviewWindow->ClearPicture();

  ChooseDirectory = [this](const std::string& start) -> std::optional<std::string> {
    // Directory names are file names, not text: they cross as the file system spells them,
    // so a chosen folder comes back as exactly the folder on disk.
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select Directory"), PathToQt(start));
    if (chosen.isEmpty()) return std::nullopt;
    return PathFromQt(chosen).native();
  };
  ExecDialog = [](QDialog& dialog) { return dialog.exec(); };

  const std::pair<int, void (TConfigWindow::*)()> buttons[] = {
      {kOkButtonId, &TConfigWindow::CmExit},
      {kCancelButtonId, &TConfigWindow::CmCancel},
      {kHelpButtonId, &TConfigWindow::CmHelp},
      {kGenerateSiteButtonId, &TConfigWindow::CmGenerateSite},
      {kSelectDirButtonId, &TConfigWindow::CmSelectDirectory},
  };
  std::vector<QPushButton*> column;
  for (const auto& [id, handler] : buttons) {
    if (auto* button = FindControlAs<QPushButton>(id)) {
      connect(button, &QPushButton::clicked, this, handler);
      column.push_back(button);
    }
  }

  // Three panes the user can widen or narrow: the tree, the inspector over its frame, and
  // the column of the preview and the buttons (top to bottom as the template has them).
  Splitter = new QSplitter(Qt::Horizontal, this);
  Splitter->setObjectName(QStringLiteral("LayoutPanes"));
  Splitter->setChildrenCollapsible(false);
  Splitter->addWidget(ListBox);
  auto* inspectorPane = new TStackPane(Splitter);
  FindControl(kInspectorFrameId)->setParent(inspectorPane);
  InspectWindow->setParent(inspectorPane);
  Splitter->addWidget(inspectorPane);
  const DialogBaseUnits units = DialogBaseUnitsOf(font());
  const int columnWidth =
      DialogUnitsToPixels(0, 0, Sizer().Child(*Sizer().FindChild(kOkButtonId)).CX, 0, units).width;
  side_column_ = new TSideColumnPane(Splitter, FindControl(kPreviewFrameId), PreviewWindow,
                                   std::move(column), columnWidth);
  Splitter->addWidget(side_column_);
  Splitter->setStretchFactor(0, 1);
  Splitter->setStretchFactor(1, 3);
  Splitter->setStretchFactor(2, 1);
  ListBox->setMinimumWidth(10 * units.horizontal);
  InspectWindow->setMinimumSize(24 * units.horizontal,
                                InspectWindow->RowHeight() + 2 * InspectWindow->frameWidth());
  connect(InspectWindow, &InspectorWindow::RowsChanged, this, &TConfigWindow::UpdateTabOrder);
  for (QWidget* placeholder : {FindControl(kInspectorFrameId), FindControl(kPreviewFrameId)}) {
    placeholder->setFocusPolicy(Qt::NoFocus);
  }

  FillList();
  UpdateTabOrder();
  Splitter->setSizes(PreferredPaneWidths());
  resize(sizeHint());
  ListBox->setFocus();
}

QList<int> TConfigWindow::PreferredPaneWidths() const {
  const DialogBaseUnits units = DialogBaseUnitsOf(font());
  // The tree: its widest row and the frame and scroll bar around it, within reason.
  int widest = 0;
  for (int row = 0; row < ListBox->count(); ++row) {
    widest = std::max(widest, ListBox->sizeHintForIndex(ListBox->model()->index(row, 0)).width());
  }
  const int chrome = 2 * ListBox->frameWidth() + ListBox->verticalScrollBar()->sizeHint().width() + 4;
  const int tree = std::clamp(widest + chrome, ListBox->minimumWidth(), 56 * units.horizontal);
  // The inspector: room for a line of a template.
  const int inspector = std::max(InspectWindow->minimumWidth(), 64 * units.horizontal);
  return {tree, inspector, side_column_->sizeHint().width()};
}

static int PaneMargin(const QFont& font) { return std::max(2, DialogBaseUnitsOf(font).horizontal / 2); }

QSize TConfigWindow::sizeHint() const {
  const QList<int> widths = PreferredPaneWidths();
  int width = Splitter->handleWidth() * 2;
  for (int pane : widths) width += pane;
  const int rowHeight = TConfigRowDelegate::RowHeight(ListBox->font());
  const int tree = ListBox->count() * rowHeight + 2 * ListBox->frameWidth() +
                   ListBox->horizontalScrollBar()->sizeHint().height() + 4;
  const int inspector = 5 * InspectWindow->RowHeight() + 2 * InspectWindow->frameWidth();
  const int height = std::max({tree, inspector, side_column_->minimumSizeHint().height()});
  const int margin = PaneMargin(font());
  return QSize(width + 2 * margin, height + 2 * margin);
}

QSize TConfigWindow::minimumSizeHint() const {
  const int margin = PaneMargin(font());
  return Splitter->minimumSizeHint() + QSize(2 * margin, 2 * margin);
}

void TConfigWindow::LayoutControls() {
  if (Splitter == nullptr) return;
  const int margin = PaneMargin(font());
  Splitter->setGeometry(rect().adjusted(margin, margin, -margin, -margin));
}

TConfigWindow::~TConfigWindow() {
  // The rows edit the model's inspector: they go before the model does.
  layout_model_->SetPreviewTarget(nullptr);
  delete InspectWindow;
  delete PreviewWindow;
}

bool TConfigWindow::Command(int id) {
  switch (id) {
    case CM_SAVE:
      CmSave();
      return true;
    case CM_SELECTDIR:
      CmSelectDirectory();
      return true;
    case CM_DELETE:
      CmDelete();
      return true;
    case CM_RENAME:
      CmRename();
      return true;
    case CM_EXIT:
      CmExit();
      return true;
    case CM_UNDO:
      CmUndo();
      return true;
    case CM_SAMPLELAYOUTS:
      CmSampleLayouts();
      return true;
    case CM_GENERATESITE:
      CmGenerateSite();
      return true;
    case CM_AUTOORGANIZE:
      CmAutoOrganize();
      return true;
    case CM_HELPCONTENTS:
      CmHelpContents();
      return true;
    case CM_OPEN:
      CmOpen();
      return true;
    default:
      return false;
  }
}

void TConfigWindow::FillList() {
  const QSignalBlocker block(ListBox);
  ListBox->clear();
  const int count = static_cast<int>(layout_model_->ListedItems().size());
  for (int row = 0; row < count; ++row) ListBox->addItem(new QListWidgetItem);
  // The caret goes to the first row, but nothing is selected until the user picks a row.
  if (count > 0) {
    ListBox->selectionModel()->setCurrentIndex(ListBox->model()->index(0, 0),
                                               QItemSelectionModel::NoUpdate);
  }
  // A list filled again for the same tree keeps showing the model's selection.
  const int selected = layout_model_->SelectedIndex();
  if (selected >= 0 && selected < count) ListBox->setCurrentRow(selected);
  InspectWindow->ShowModel();
}

void TConfigWindow::SelectionChanged() {
  const QList<QListWidgetItem*> selected = ListBox->selectedItems();
  if (selected.isEmpty()) return;
  layout_model_->Select(ListBox->row(selected.front()));
  InspectWindow->ShowModel();
}

void TConfigWindow::RepaintList() {
  // A renamed row may be wider or narrower than before.
  ListBox->doItemsLayout();
  ListBox->viewport()->update();
}

void TConfigWindow::ShowStatus() {
  const std::string text = layout_model_->TakeStatusText();
  if (!text.empty()) emit StatusMessage(ToQt(text));
}

void TConfigWindow::UpdateTabOrder() {
  QWidget* previous = ListBox;
  for (int row = 0; row < InspectWindow->FieldCount(); ++row) {
    VarField* field = InspectWindow->Field(row);
    for (QWidget* box : {static_cast<QWidget*>(field->LabelEditBox()),
                         static_cast<QWidget*>(field->ValueEditBox())}) {
      setTabOrder(previous, box);
      previous = box;
    }
  }
  for (int id : {kOkButtonId, kCancelButtonId, kHelpButtonId, kGenerateSiteButtonId,
                 kSelectDirButtonId}) {
    if (QWidget* button = FindControl(id)) {
      setTabOrder(previous, button);
      previous = button;
    }
  }
}

void TConfigWindow::OpenIfPossible() {
  if (layout_model_->CanOpenSelected()) CmOpen();
}

bool TConfigWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListBox && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && layout_model_->CanOpenSelected()) {
      CmOpen();
      return true;
    }
  }
  return ParentWindow::eventFilter(watched, event);
}

QMenu* TConfigWindow::BuildContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const ConfigItem* item = layout_model_->SelectedItem();
  auto add = [&](const QString& text, int id, bool enabled) {
    QAction* action = menu->addAction(text, this, [this, id] { Command(id); });
    action->setEnabled(enabled);
    action->setData(id);
  };
  add(QStringLiteral("&Open"), CM_OPEN, layout_model_->CanOpenSelected());
  add(QStringLiteral("Rename\tF2"), CM_RENAME, item != nullptr && item->CanRename());
  add(QStringLiteral("Delete\tDel"), CM_DELETE, item != nullptr && item->CanDelete());
  add(QStringLiteral("&Undo\tCtrl+Z"), CM_UNDO, item != nullptr && item->IsCrossedOut());
  menu->addSeparator();
  add(QStringLiteral("&Save\tCtrl+S"), CM_SAVE, item != nullptr);
  return menu;
}

// ---- Commands on the selected item -----------------------------------------------------

void TConfigWindow::CmSave() {
  layout_model_->Save();
  InspectWindow->ShowModel();
  RepaintList();
  ShowStatus();
}

void TConfigWindow::CmDelete() {
  layout_model_->Delete();
  RepaintList();
}

void TConfigWindow::CmUndo() {
  layout_model_->Undo();
  RepaintList();
}

void TConfigWindow::CmRename() {
  if (layout_model_->Rename()) RepaintList();
}

void TConfigWindow::CmOpen() { layout_model_->Open(); }

void TConfigWindow::CmExit() {
  layout_model_->SaveLayout();
  InspectWindow->ShowModel();
  ShowStatus();
  emit CloseRequested();
}

void TConfigWindow::CmCancel() { emit CloseRequested(); }

void TConfigWindow::CmHelpContents() {
  if (OpenHelp) OpenHelp(kHelpContents);
}

void TConfigWindow::CmHelp() {
  if (OpenHelp) OpenHelp(kHelpLayoutWindow);
}

// ---- Commands on the site --------------------------------------------------------------

void TConfigWindow::CmSelectDirectory() {
  if (!ChooseDirectory) return;
  const std::optional<std::string> chosen = ChooseDirectory(layout_model_->SiteDir());
  if (!chosen) return;
  OpenSiteDirectory(*chosen);
}

bool TConfigWindow::OpenSiteDirectory(const std::string& directory) {
  const bool taken = layout_model_->SelectDirectory(directory);
  if (taken) FillList();  // Refused, the old tree and its edits stay as they were.
  ShowStatus();
  return taken;
}

void TConfigWindow::RunWithStatus(const std::function<void(Progress&)>& job) {
  TStatusDlg status(this);
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

void TConfigWindow::CmGenerateSite() {
  RunWithStatus([this](Progress& progress) { layout_model_->GenerateSite(progress); });
}

void TConfigWindow::CmAutoOrganize() {
  RunWithStatus([this](Progress& progress) { layout_model_->AutoOrganize(progress); });
}

void TConfigWindow::CmSampleLayouts() {
  layout_model_->SaveLayout();
  setCursor(Qt::WaitCursor);
  {
    TSamplesDlg dialog(this, Ui);
    dialog.OpenHelp = OpenHelp;
    if (ExecDialog) ExecDialog(dialog);
  }
  layout_model_->RefreshLayout();
  FillList();
  unsetCursor();
  ShowStatus();
}

}  // namespace pix::ui
