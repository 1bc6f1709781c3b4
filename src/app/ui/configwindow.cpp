#include "app/ui/configwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/captionpane.h"
#include "app/ui/helpwindow.h"
#include "app/ui/pagepreviewpane.h"
#include "app/ui/picturegrid.h"
#include "app/ui/runpanel.h"
#include "app/ui/samplesdlg.h"
#include "base/ui/icons.h"
#include "base/ui/qttext.h"
#include "base/ui/qttrash.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/settings.h"
#include "files/utils.h"
#include "layout/inspector.h"
#include "layout/livepreview.h"
#include "layout/pictureitem.h"
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

// ---- Undo and Redo -------------------------------------------------------------------------

namespace {

// Every command names items of the tree that was shown when it was done; the stack is
// emptied whenever that tree goes.

// Crossing out an item and everything below it.
class CrossOutCommand : public QUndoCommand {
 public:
  CrossOutCommand(LayoutWindow& window, ConfigItem& item)
      : QUndoCommand(QStringLiteral("Delete %1").arg(ToQt(item.Label()))),
        window_(window),
        item_(item) {}
  void redo() override {
    item_.CrossOutTree();
    window_.ShowItemsAgain();
  }
  void undo() override {
    item_.UncrossTree();
    window_.ShowItemsAgain();
  }

 private:
  LayoutWindow& window_;
  ConfigItem& item_;
};

// A rename, already done when the command is made.
class RenameCommand : public QUndoCommand {
 public:
  RenameCommand(LayoutWindow& window, ConfigItem& item, std::string old_name, std::string new_name)
      : QUndoCommand(QStringLiteral("Rename %1").arg(ToQt(old_name))),
        window_(window),
        item_(item),
        old_name_(std::move(old_name)),
        new_name_(std::move(new_name)) {}
  void redo() override {
    if (std::exchange(first_, false)) return;
    if (!window_.Model().RenameItem(item_, new_name_)) setObsolete(true);
    window_.ShowItemsAgain();
  }
  void undo() override {
    if (!window_.Model().RenameItem(item_, old_name_)) setObsolete(true);
    window_.ShowItemsAgain();
  }

 private:
  LayoutWindow& window_;
  ConfigItem& item_;
  std::string old_name_;
  std::string new_name_;
  bool first_ = true;
};

// Typing in one caption field of one picture; the keys typed in a row make one command.
class CaptionEditCommand : public QUndoCommand {
 public:
  CaptionEditCommand(LayoutWindow& window, ConfigItem& item, std::string variable, QString before,
                     QString after)
      : QUndoCommand(QStringLiteral("Edit caption")),
        window_(window),
        item_(item),
        variable_(std::move(variable)),
        before_(std::move(before)),
        after_(std::move(after)) {}
  int id() const override { return 1; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = static_cast<const CaptionEditCommand*>(other);
    if (&next->item_ != &item_ || next->variable_ != variable_) return false;
    after_ = next->after_;
    return true;
  }
  void redo() override {
    if (std::exchange(first_, false)) return;
    Put(after_);
  }
  void undo() override { Put(before_); }

 private:
  void Put(const QString& text) {
    if (window_.Model().SelectedItem() == &item_) {
      // The item shows in the inspector, whose rows go into it at the next save.
      window_.caption_pane()->SetFieldText(variable_, text);
    } else {
      // The edit was taken into the item when another item was selected.
      item_.SetVar(variable_, FromQt(text));
      item_.SetModified();
    }
    window_.ShowItemsAgain();
  }

  LayoutWindow& window_;
  ConfigItem& item_;
  std::string variable_;
  QString before_;
  QString after_;
  bool first_ = true;
};

// An edit in the All Variables inspector: the item's variables, names and values in order,
// before and after it. Typing on in the same row of the same item makes one edit.
class InspectorEditCommand : public QUndoCommand {
 public:
  InspectorEditCommand(LayoutWindow& window, ConfigItem& item, int row,
                       LayoutWindow::Variables before, LayoutWindow::Variables after)
      : QUndoCommand(QStringLiteral("Edit %1").arg(ToQt(item.Label()))),
        window_(window),
        item_(item),
        row_(row),
        before_(std::move(before)),
        after_(std::move(after)) {}
  int id() const override { return 2; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = static_cast<const InspectorEditCommand*>(other);
    if (&next->item_ != &item_ || next->row_ != row_) return false;
    after_ = next->after_;
    return true;
  }
  void redo() override {
    if (std::exchange(first_, false)) return;  // Done already, by the typing.
    window_.PutVariables(item_, after_);
  }
  void undo() override { window_.PutVariables(item_, before_); }

 private:
  LayoutWindow& window_;
  ConfigItem& item_;
  int row_;
  LayoutWindow::Variables before_;
  LayoutWindow::Variables after_;
  bool first_ = true;
};

}  // namespace

// ---- Rows ------------------------------------------------------------------------------

QRect ConfigRowDelegate::ArrowRect(const QRect& rect, int level, const QFont& font) {
  const int indent = LayoutModel::RowIndent(level, CharWidth(font));
  const int width = std::min(indent, 2 * CharWidth(font));
  return QRect(rect.left() + indent - width, rect.top(), width, rect.height());
}

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
  if (foldable_ && foldable_(index.row())) {
    // The arrow that folds and unfolds the item, in the indent before its icon.
    QStyleOption arrow;
    arrow.rect = ArrowRect(r, item->Level(), option.font);
    arrow.palette = option.palette;
    arrow.palette.setColor(QPalette::ButtonText, text);
    arrow.palette.setColor(QPalette::WindowText, text);
    arrow.state = option.state;
    QApplication::style()->drawPrimitive(folded_ && folded_(index.row())
                                             ? QStyle::PE_IndicatorArrowRight
                                             : QStyle::PE_IndicatorArrowDown,
                                         &arrow, painter);
  }
  painter->drawPixmap(QRect(r.left() + indent, r.top(), height, height),
                      ResourcePixmap(item->GetBitmapId(), height, scale));
  painter->setPen(text);
  painter->setFont(option.font);
  const QString label = ToQt(item->Label());
  painter->drawText(QRect(r.left() + indent + height + 2, r.top(), r.width(), height),
                    Qt::AlignLeft | Qt::AlignVCenter, label);
  if (marked_ && marked_(index.row())) {
    // The last run had a problem with this picture.
    const int after =
        r.left() + indent + height + 6 + QFontMetrics(option.font).horizontalAdvance(label);
    QApplication::style()
        ->standardIcon(QStyle::SP_MessageBoxWarning)
        .paint(painter, QRect(after, r.top() + 1, height - 2, height - 2));
  }
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
  auto* rows_delegate = new ConfigRowDelegate(list_box_, *layout_model_);
  rows_delegate->SetMarked([this](int row) { return RowHasProblem(row); });
  rows_delegate->SetFolding([this](int row) { return IsFoldable(row); },
                            [this](int row) { return IsFolded(row); });
  list_box_->viewport()->installEventFilter(this);
  list_box_->setItemDelegate(rows_delegate);
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
  open_in_browser = [](const QString& page) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
  };

  // The column: the preview takes the height the buttons leave.
  side_column_ = new QWidget;
  side_column_->setObjectName(QStringLiteral("PreviewAndButtons"));
  auto* column = new QVBoxLayout(side_column_);
  column->setContentsMargins(0, 0, 0, 0);
  preview_window_->setObjectName(QStringLiteral("Preview"));
  preview_window_->setFocusPolicy(Qt::NoFocus);
  preview_window_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  preview_window_->ClearPicture();
  // The preview above the thumbnails of the directory, the two sharing the height that
  // the buttons leave.
  picture_grid_ = new PictureGrid(nullptr);
  picture_grid_->hide();
  connect(picture_grid_, &PictureGrid::PictureChosen, this, &LayoutWindow::SelectFile);
  // The preview shows the picture, or the page as a browser shows it.
  page_preview_ = new PagePreviewPane(nullptr);
  page_preview_->prepare_page = [this] { return PreparePagePreview({}); };
  preview_tabs_ = new QTabWidget;
  preview_tabs_->setObjectName(QStringLiteral("PreviewTabs"));
  preview_tabs_->setDocumentMode(true);
  preview_tabs_->addTab(preview_window_, QStringLiteral("Picture"));
  preview_tabs_->addTab(page_preview_, QStringLiteral("Page"));
  preview_tabs_->tabBar()->setFocusPolicy(Qt::ClickFocus);
  connect(this, &LayoutWindow::EditsChanged, page_preview_, &PagePreviewPane::Schedule);
  auto* pictures = new QSplitter(Qt::Vertical);
  pictures->setObjectName(QStringLiteral("PreviewAndThumbnails"));
  pictures->setChildrenCollapsible(false);
  pictures->addWidget(preview_tabs_);
  pictures->addWidget(picture_grid_);
  pictures->setStretchFactor(0, 3);
  pictures->setStretchFactor(1, 2);
  // The same shares from the start, whatever the panes' own size hints say: a page needs
  // the height as much as a picture does.
  pictures->setSizes({3000, 2000});
  column->addWidget(pictures, 1);
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
  // The inspector pane: a picture's caption in labelled fields, and one click away every
  // variable of the selected item.
  caption_pane_ = new CaptionPane(nullptr, layout_model_->Inspector());
  inspector_tabs_ = new QTabWidget;
  inspector_tabs_->setObjectName(QStringLiteral("InspectorTabs"));
  inspector_tabs_->setDocumentMode(true);
  inspector_tabs_->addTab(caption_pane_, QStringLiteral("Caption"));
  inspector_tabs_->addTab(inspect_window_, QStringLiteral("All Variables"));
  // Tab goes from the tree straight into the fields; the pages switch with a click or
  // Ctrl+PgUp and Ctrl+PgDown.
  inspector_tabs_->tabBar()->setFocusPolicy(Qt::ClickFocus);
  connect(inspector_tabs_, &QTabWidget::currentChanged, this, [this](int page) {
    if (dynamic_cast<const PictureItem*>(layout_model_->SelectedItem()) != nullptr) {
      caption_preferred_ = page == 0;
    }
  });
  undo_stack_ = new QUndoStack(this);
  connect(caption_pane_, &CaptionPane::Edited, this, [this] {
    inspect_window_->ShowModel();
    emit EditsChanged();
  });
  connect(caption_pane_, &CaptionPane::FieldChanged, this,
          [this](const std::string& variable, const QString& before, const QString& after) {
            if (ConfigItem* item = layout_model_->SelectedItem()) {
              undo_stack_->push(new CaptionEditCommand(*this, *item, variable, before, after));
            }
            shown_variables_ = VariablesShown();
          });
  connect(inspect_window_, &InspectorWindow::Edited, caption_pane_, &CaptionPane::ShowValues);
  connect(inspect_window_, &InspectorWindow::RowChanged, this, [this](int row) {
    ConfigItem* item = layout_model_->SelectedItem();
    if (item == nullptr) return;
    Variables after = VariablesShown();
    if (after == shown_variables_) return;
    undo_stack_->push(new InspectorEditCommand(*this, *item, row, shown_variables_, after));
    shown_variables_ = std::move(after);
  });
  splitter_->addWidget(list_box_);
  splitter_->addWidget(inspector_tabs_);
  splitter_->addWidget(side_column_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 3);
  splitter_->setStretchFactor(2, 1);
  // Below the panes: the problems of the last run (shown when there are any) and the
  // progress of a run in the background.
  problems_ = new ProblemsList(this);
  problems_->hide();
  connect(problems_, &ProblemsList::FileChosen, this, &LayoutWindow::SelectFile);
  run_panel_ = new RunPanel(this, ui_, problems_);
  auto* layout = new QVBoxLayout(this);
  const int margin = PaneMargin(font());
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->addWidget(splitter_, 1);
  layout->addWidget(problems_);
  layout->addWidget(run_panel_);

  const int unit = CharWidth(font());
  list_box_->setMinimumWidth(10 * unit);
  inspect_window_->setMinimumSize(24 * unit,
                                  inspect_window_->RowHeight() + 2 * inspect_window_->frameWidth());
  connect(inspect_window_, &InspectorWindow::RowsChanged, this, &LayoutWindow::UpdateTabOrder);
  connect(inspect_window_, &InspectorWindow::Edited, this, &LayoutWindow::EditsChanged);

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

QList<int> LayoutWindow::PaneWidthsFor(int window_width) const {
  const QList<int> preferred = PreferredPaneWidths();
  const int room =
      std::max(0, window_width - 2 * PaneMargin(font()) - 2 * splitter_->handleWidth());
  const int tree = std::clamp(preferred[0], list_box_->minimumWidth(),
                              std::max(list_box_->minimumWidth(), room / 3));
  const int inspector = std::clamp(preferred[1], inspect_window_->minimumWidth(),
                                   std::max(inspect_window_->minimumWidth(), room / 3));
  const int column = std::max(side_column_->minimumSizeHint().width(), room - tree - inspector);
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
  // A run in the background ends before the model it reports to goes; so does the
  // decoding of thumbnails.
  delete run_panel_;
  delete picture_grid_;
  // The rows edit the model's inspector: they go before the model does.
  layout_model_->SetPreviewTarget(nullptr);
  delete caption_pane_;
  delete inspect_window_;
  delete page_preview_;
  delete preview_window_;
}

bool LayoutWindow::Command(int id) {
  if (IsRunning()) {
    // While a run works the layout is only read: what would change it waits.
    switch (id) {
      case kShowHelpContents:
      case kOpen:
      case kOpenInBrowser:
      case kShowPagePreview:
      case kExit:
        break;
      case kSave:
      case kSelectDir:
      case kDelete:
      case kRename:
      case kUndo:
      case kRedo:
      case kSampleLayouts:
      case kGenerateSite:
      case kAutoOrganize:
        emit StatusMessage(QStringLiteral("A run is working; wait for it or cancel it first."));
        return true;
      default:
        return false;
    }
  }
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
    case kRedo:
      CmRedo();
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
    case kOpenInBrowser:
      CmOpenInBrowser();
      return true;
    case kShowPagePreview:
      CmShowPagePreview();
      return true;
    default:
      return false;
  }
}

void LayoutWindow::FillList() {
  // A tree built anew: the commands of the old one name items that are gone.
  const bool new_tree = layout_model_->RootItem() != shown_root_;
  if (new_tree) {
    undo_stack_->clear();
    shown_root_ = layout_model_->RootItem();
    preview_directory_.clear();
    page_preview_->Schedule();
  }
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
  if (!folds_set_ && count > 0) {
    // The first site shown opens with its sub-folders folded.
    for (const ConfigItem* item : layout_model_->ListedItems()) {
      const auto* directory = dynamic_cast<const DirectoryItem*>(item);
      if (directory != nullptr && item->GetParentConfigItem() != nullptr &&
          dynamic_cast<const DirectoryItem*>(item->GetParentConfigItem()) != nullptr &&
          item->ChildCount() > 0) {
        folded_.insert(FoldKey(*item));
      }
    }
    folds_set_ = true;
  }
  ApplyFolds();
  const int selected = layout_model_->SelectedIndex();
  if (selected >= 0 && selected < count) {
    RevealRow(selected);
    list_box_->setCurrentRow(selected);
  }
  inspect_window_->ShowModel();
  ShowInspectorPages();
  ShowPictureGrid();
  UpdateTabOrder();
}

void LayoutWindow::ShowPictureGrid() {
  const ConfigItem* selected = layout_model_->SelectedItem();
  const auto* picture = dynamic_cast<const PictureItem*>(selected);
  const ConfigItem* directory = picture != nullptr ? picture->GetParentConfigItem()
                                                   : dynamic_cast<const DirectoryItem*>(selected);
  std::vector<PictureGrid::Entry> entries;
  if (directory != nullptr) {
    for (int i = 0; i < directory->ChildCount(); ++i) {
      const auto* child = dynamic_cast<const PictureItem*>(directory->Child(i));
      if (child == nullptr || !child->IsShown()) continue;
      entries.push_back({child->FullFileName(), child->InlineImagePath()});
    }
  }
  picture_grid_->ShowPictures(entries, picture != nullptr
                                           ? std::filesystem::path(picture->FullFileName())
                                           : std::filesystem::path());
  picture_grid_->setVisible(!entries.empty());
}

void LayoutWindow::ShowInspectorPages() {
  const bool picture = dynamic_cast<const PictureItem*>(layout_model_->SelectedItem()) != nullptr;
  inspector_tabs_->setTabEnabled(0, picture);
  {
    const QSignalBlocker block(inspector_tabs_);
    inspector_tabs_->setCurrentIndex(picture && caption_preferred_ ? 0 : 1);
  }
  if (picture) caption_pane_->ShowFields(*layout_model_);
}

void LayoutWindow::SelectionChanged() {
  const QList<QListWidgetItem*> selected = list_box_->selectedItems();
  if (selected.isEmpty()) return;
  const int before = layout_model_->SelectedIndex();
  layout_model_->Select(list_box_->row(selected.front()));
  inspect_window_->ShowModel();
  ShowInspectorPages();
  ShowPictureGrid();
  // Another item starts at its first row, whatever was scrolled to before.
  if (layout_model_->SelectedIndex() != before) inspect_window_->ScrollToTop();
  UpdateTabOrder();
  // Page templates and settings show on the page of the folder looked at last.
  const ConfigItem* item = layout_model_->SelectedItem();
  if (const auto* folder = dynamic_cast<const DirectoryItem*>(item)) {
    preview_directory_ = folder->DirFileItem()->FullFileName();
  } else if (const auto* picture = dynamic_cast<const PictureItem*>(item)) {
    preview_directory_ = picture->FullFileName().substr(0, picture->FullFileName().rfind('/'));
  }
  shown_variables_ = VariablesShown();
  page_preview_->Schedule();
}

std::string LayoutWindow::FoldKey(const ConfigItem& item) const {
  std::string key = item.Label();
  for (const ConfigItem* above = item.GetParentConfigItem(); above != nullptr;
       above = above->GetParentConfigItem()) {
    key = above->Label() + '\n' + key;
  }
  return key;
}

bool LayoutWindow::IsFoldable(int row) const {
  const auto& rows = layout_model_->ListedItems();
  const auto next = static_cast<std::size_t>(row) + 1;
  // An item has rows below it when the next row is one of its children.
  return row >= 0 && next < rows.size() && rows[next]->GetParentConfigItem() == rows[next - 1] &&
         rows[next - 1]->Level() > 0;
}

bool LayoutWindow::IsFolded(int row) const {
  const auto& rows = layout_model_->ListedItems();
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return false;
  return folded_.count(FoldKey(*rows[static_cast<std::size_t>(row)])) > 0;
}

void LayoutWindow::SetFolded(int row, bool folded) {
  const auto& rows = layout_model_->ListedItems();
  if (!IsFoldable(row)) return;
  const std::string key = FoldKey(*rows[static_cast<std::size_t>(row)]);
  if (folded) {
    folded_.insert(key);
  } else {
    folded_.erase(key);
  }
  ApplyFolds();
}

void LayoutWindow::RevealRow(int row) {
  const auto& rows = layout_model_->ListedItems();
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return;
  bool changed = false;
  for (const ConfigItem* above = rows[static_cast<std::size_t>(row)]->GetParentConfigItem();
       above != nullptr; above = above->GetParentConfigItem()) {
    changed = folded_.erase(FoldKey(*above)) > 0 || changed;
  }
  if (changed) ApplyFolds();
}

void LayoutWindow::ApplyFolds() {
  const auto& rows = layout_model_->ListedItems();
  // Rows are in tree order: a row is hidden when an item above it is folded.
  std::vector<const ConfigItem*> folded_above;
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const ConfigItem* item = rows[row];
    while (!folded_above.empty()) {
      bool below = false;
      for (const ConfigItem* up = item->GetParentConfigItem(); up != nullptr;
           up = up->GetParentConfigItem()) {
        if (up == folded_above.back()) below = true;
      }
      if (below) break;
      folded_above.pop_back();
    }
    list_box_->setRowHidden(static_cast<int>(row), !folded_above.empty());
    if (folded_above.empty() && folded_.count(FoldKey(*item)) > 0) folded_above.push_back(item);
  }
  list_box_->viewport()->update();
}

void LayoutWindow::SelectFile(const QString& file) {
  if (file.isEmpty()) return;
  const std::string path = PathFromQt(file).native();
  const auto& rows = layout_model_->ListedItems();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const auto* picture = dynamic_cast<const PictureItem*>(rows[row]);
    if (picture != nullptr && picture->FullFileName() == path) {
      RevealRow(static_cast<int>(row));
      list_box_->setCurrentRow(static_cast<int>(row));
      list_box_->scrollToItem(list_box_->item(static_cast<int>(row)));
      return;
    }
  }
}

void LayoutWindow::RepaintList() {
  // A renamed row may be wider or narrower than before.
  list_box_->doItemsLayout();
  list_box_->viewport()->update();
}

void LayoutWindow::ShowStatus() {
  const std::string text = layout_model_->TakeStatusText();
  if (!text.empty()) emit StatusMessage(ToQt(text));
  // Every command that reports ends here: the edits not saved may have changed.
  emit EditsChanged();
}

void LayoutWindow::UpdateTabOrder() {
  // Tab visits what is worth typing into: the value of each variable, then the name box of
  // the first empty row for a new one. The other boxes take the focus from a click. The
  // page of the inspector pane that is not shown is passed over.
  QWidget* previous = list_box_;
  for (QWidget* box : caption_pane_->ShownBoxes()) {
    setTabOrder(previous, box);
    previous = box;
  }
  for (int row = 0; row < inspect_window_->FieldCount(); ++row) {
    VarField* field = inspect_window_->Field(row);
    for (QWidget* box : {static_cast<QWidget*>(field->LabelEditBox()),
                         static_cast<QWidget*>(field->ValueEditBox())}) {
      if (box->focusPolicy() != Qt::StrongFocus) continue;
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
  if (watched == list_box_->viewport() && event->type() == QEvent::MouseButtonPress) {
    // A click on a row's arrow folds or unfolds it.
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    const QModelIndex index = list_box_->indexAt(at);
    if (index.isValid() && IsFoldable(index.row())) {
      const ConfigItem* item = layout_model_->ListedItems()[static_cast<std::size_t>(index.row())];
      if (ConfigRowDelegate::ArrowRect(list_box_->visualRect(index), item->Level(),
                                       list_box_->font())
              .contains(at)) {
        SetFolded(index.row(), !IsFolded(index.row()));
        return true;
      }
    }
  }
  if (watched == list_box_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const int row = list_box_->currentRow();
    // Right unfolds, Left folds (or goes up to the item above), as in every tree.
    if (key == Qt::Key_Right && IsFoldable(row) && IsFolded(row)) {
      SetFolded(row, false);
      return true;
    }
    if (key == Qt::Key_Left && row >= 0) {
      if (IsFoldable(row) && !IsFolded(row)) {
        SetFolded(row, true);
        return true;
      }
      const ConfigItem* above =
          layout_model_->ListedItems()[static_cast<std::size_t>(row)]->GetParentConfigItem();
      if (above != nullptr && above->list_box_id >= 0) list_box_->setCurrentRow(above->list_box_id);
      return true;
    }
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
  add(QStringLiteral("&Undo\tCtrl+Z"), kUndo,
      undo_stack_->canUndo() || (item != nullptr && item->IsCrossedOut()));
  menu->addSeparator();
  add(QStringLiteral("&Save\tCtrl+S"), kSave, item != nullptr);
  return menu;
}

// ---- Commands on the selected item -----------------------------------------------------

void LayoutWindow::ShowItemsAgain() {
  RepaintList();
  inspect_window_->ShowModel();
  caption_pane_->ShowValues();
  shown_variables_ = VariablesShown();
  emit EditsChanged();
}

LayoutWindow::Variables LayoutWindow::VariablesShown() const {
  Variables variables;
  const ConfigItem* item = layout_model_->SelectedItem();
  if (item == nullptr) return variables;
  // The rows, once edited, are what the item takes at the next save or selection.
  VariableList edited;
  const InspectorModel& rows = layout_model_->Inspector();
  if (rows.FieldsModified()) rows.CommitFields(edited);
  const VariableList* shown = item;
  if (rows.FieldsModified()) shown = &edited;
  for (int i = 0; i < shown->ItemCount(); ++i) {
    variables.emplace_back(shown->Item(i).name(), shown->Item(i).value());
  }
  return variables;
}

void LayoutWindow::PutVariables(ConfigItem& item, const Variables& variables) {
  item.DeleteAllVars();
  for (const auto& [name, value] : variables) item.SetVar(name, value);
  item.SetModified();
  // The selected item shows its variables again, as rows that hold no edit of their own.
  if (layout_model_->SelectedItem() == &item) {
    item.ShowInInspector(layout_model_->Inspector(), nullptr);
  }
  ShowItemsAgain();
}

void LayoutWindow::CmSave() {
  const std::size_t rows = layout_model_->ListedItems().size();
  layout_model_->Save();
  // The files of deleted items are gone: what the commands would undo is too.
  if (layout_model_->ListedItems().size() != rows) undo_stack_->clear();
  // Items whose files the save deleted are no longer listed.
  FillList();
  RepaintList();
  ShowStatus();
}

void LayoutWindow::CmDelete() {
  ConfigItem* item = layout_model_->SelectedItem();
  if (item != nullptr && item->CanDelete() && !item->IsCrossedOut()) {
    undo_stack_->push(new CrossOutCommand(*this, *item));
    return;
  }
  layout_model_->Delete();  // Says why it cannot, or crosses out again.
  RepaintList();
  emit EditsChanged();
}

void LayoutWindow::CmUndo() {
  if (undo_stack_->canUndo()) {
    undo_stack_->undo();
    return;
  }
  layout_model_->Undo();
  RepaintList();
  emit EditsChanged();
}

void LayoutWindow::CmRedo() {
  if (undo_stack_->canRedo()) undo_stack_->redo();
}

void LayoutWindow::CmRename() {
  ConfigItem* item = layout_model_->SelectedItem();
  const std::string old_name = item != nullptr ? LayoutModel::NameToRename(*item) : std::string();
  if (layout_model_->Rename()) {
    undo_stack_->push(new RenameCommand(*this, *item, old_name, LayoutModel::NameToRename(*item)));
    RepaintList();
  }
  emit EditsChanged();
}

void LayoutWindow::CmOpen() { layout_model_->Open(); }

Result<PageRequest> LayoutWindow::PreparePagePreview(const std::filesystem::path& sample) const {
  const RootConfigItem* root = layout_model_->RootItem();
  if (root == nullptr) return Status::NotFound("No layout");
  PageRequest request;
  request.site_directory = layout_model_->SiteDir();
  request.layout_home = layout_model_->layout_home();
  CollectUnsavedLayout(*root, layout_model_->SelectedItem(), layout_model_->Inspector(),
                       request.preview);
  if (!sample.empty() && !UseSampleLayout(sample, request.layout_home, request.preview)) {
    return Status::IoError("Cannot read the sample layout " + sample.string());
  }
  // Pages are named with the extension of the settings as the window holds them.
  const SettingsValues& unsaved = request.preview.settings;
  const auto named = unsaved.find({LowerCase(kFileExtensions), LowerCase(kPageDOSFileExt)});
  const std::string extension =
      named != unsaved.end() && !named->second.empty()
          ? named->second
          : SettingsFile(request.layout_home).GetString(kFileExtensions, kPageDOSFileExt, "html", 20);
  request.pages = PagesShowing(layout_model_->SelectedItem(), request.site_directory,
                               preview_directory_, extension);
  return request;
}

QString LayoutWindow::GeneratedPageOfSelection() const {
  // Pages are written under the extension of the settings, as a run writes them. A
  // picture's own page exists only where the layout makes detail pages; its folder's index
  // page shows it otherwise.
  const std::string extension = SettingsFile(layout_model_->layout_home())
                                    .GetString(kFileExtensions, kPageDOSFileExt, "html", 20);
  const std::vector<std::string> pages =
      PagesShowing(layout_model_->SelectedItem(), layout_model_->SiteDir(), "", extension);
  for (const std::string& page : pages) {
    if (QFileInfo(PathToQt(page)).isFile()) return PathToQt(page);
  }
  return PathToQt(pages.front());
}

void LayoutWindow::CmOpenInBrowser() {
  const QString page = GeneratedPageOfSelection();
  if (!QFileInfo(page).isFile()) {
    emit StatusMessage(QStringLiteral("There is no page %1 yet: generate the site first (F5).")
                           .arg(page));
    return;
  }
  if (open_in_browser) open_in_browser(page);
}

void LayoutWindow::CmShowPagePreview() {
  const bool page = preview_tabs_->currentWidget() == page_preview_;
  preview_tabs_->setCurrentWidget(page ? static_cast<QWidget*>(preview_window_) : page_preview_);
}

void LayoutWindow::CmExit() {
  // Closing asks about edits not saved, whichever way the window is closed.
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
  if (IsRunning()) {
    // A folder dropped during a run: the tree the run will rebuild stays.
    emit StatusMessage(QStringLiteral("A run is working; wait for it or cancel it first."));
    return false;
  }
  const bool taken = layout_model_->SelectDirectory(directory);
  if (taken) FillList();  // Refused, the old tree and its edits stay as they were.
  ShowStatus();
  return taken;
}

bool LayoutWindow::RowHasProblem(int row) const {
  const auto& rows = layout_model_->ListedItems();
  if (problems_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= rows.size()) {
    return false;
  }
  const auto* picture = dynamic_cast<const PictureItem*>(rows[static_cast<std::size_t>(row)]);
  return picture != nullptr && problems_->HasFile(PathToQt(picture->FullFileName()));
}

bool LayoutWindow::IsRunning() const { return run_panel_ != nullptr && run_panel_->IsRunning(); }

void LayoutWindow::CancelRunThen(std::function<void()> then) {
  if (!IsRunning()) {
    if (then) then();
    return;
  }
  after_run_ = std::move(then);
  run_panel_->RequestCancel();
}

void LayoutWindow::SetRunning(bool running) {
  inspect_window_->SetReadOnly(running);
  caption_pane_->SetReadOnly(running);
  for (LayoutButton button : {LayoutButton::kGenerateSite, LayoutButton::kSelectDir}) {
    Button(button)->setEnabled(!running);
  }
  emit RunningChanged(running);
}

void LayoutWindow::RunInBackground(
    const QString& title, std::function<void(Progress&, UserInterface&, Diagnostics&)> job) {
  const bool started = run_panel_->Start(title, std::move(job), [this] {
    // The run may have changed every file the tree was built from.
    layout_model_->RefreshLayout();
    FillList();
    SetRunning(false);
    ShowStatus();
    emit RunFinished();
    if (after_run_) std::exchange(after_run_, nullptr)();
  });
  if (!started) return;
  SetRunning(true);
  emit RunStarted(run_panel_);
}

void LayoutWindow::CmGenerateSite() {
  if (!layout_model_->BeginGeneration()) {
    FillList();
    ShowStatus();
    return;
  }
  FillList();  // The save may have removed the rows of deleted items.
  RunInBackground(QStringLiteral("Generate Site"),
                  [this](Progress& progress, UserInterface& ui, Diagnostics& problems) {
                    layout_model_->RunGeneration(progress, ui, problems, true);
                  });
}

void LayoutWindow::CmAutoOrganize() {
  const AutoOrganizeChoice choice = layout_model_->BeginAutoOrganize();
  FillList();
  if (choice == AutoOrganizeChoice::kAborted) {
    ShowStatus();
    return;
  }
  RunInBackground(QStringLiteral("Auto Organize"),
                  [this, choice](Progress& progress, UserInterface& ui, Diagnostics& problems) {
                    progress.SetMainTask("Organizing the layout");
                    const Status organized = layout_model_->Organize(problems);
                    if (!organized.ok()) {
                      problems.ProblemWith(layout_model_->SiteDir(), organized.message());
                    } else if (choice == AutoOrganizeChoice::kOrganizeAndGenerate) {
                      layout_model_->RunGeneration(progress, ui, problems, true);
                    }
                  });
}

void LayoutWindow::CmSampleLayouts() {
  layout_model_->SaveLayout();
  setCursor(Qt::WaitCursor);
  {
    const std::filesystem::path home = layout_model_->layout_home();
    SamplesDialog dialog(this, ui_, SampleDirectories(home), home / "globals.txt");
    dialog.open_help = open_help;
    // The highlighted sample on the page of the selection, before it replaces anything.
    dialog.ShowPagePreview(
        [this](const std::filesystem::path& sample) { return PreparePagePreview(sample); });
    if (exec_dialog) exec_dialog(dialog);
  }
  layout_model_->RefreshLayout();
  FillList();
  unsetCursor();
  ShowStatus();
}

}  // namespace pix::ui
