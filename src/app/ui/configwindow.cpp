#include "app/ui/configwindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>

#include "app/ui/helpwindow.h"
#include "app/ui/samplesdlg.h"
#include "app/ui/statusdlg.h"
#include "base/dialogs.h"
#include "base/ui/icons.h"
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
  const TConfigItem* item = rows[row];
  const int indent =
      TLayoutModel::RowIndent(item->Level(), DialogBaseUnitsOf(option.font).Horizontal);
  return QSize(
      indent + height + QFontMetrics(option.font).horizontalAdvance(ToQt(item->Label())) + 4,
      height);
}

void TConfigRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const auto& rows = Model.ListedItems();
  const auto row = static_cast<std::size_t>(index.row());
  if (index.row() < 0 || row >= rows.size()) return;
  const TConfigItem* item = rows[row];
  const QRect r = option.rect;
  painter->save();
  painter->fillRect(
      r, (option.state & QStyle::State_Selected) ? QColor(192, 192, 192) : QColor(255, 255, 255));
  const int height = r.height();
  const int indent =
      TLayoutModel::RowIndent(item->Level(), DialogBaseUnitsOf(option.font).Horizontal);
  painter->drawPixmap(QRect(r.left() + indent, r.top(), height, height),
                      ResourcePixmap(item->GetBitmapId(), height));
  painter->setPen(option.palette.color(QPalette::Text));
  painter->setFont(option.font);
  painter->drawText(QRect(r.left() + indent + height + 2, r.top(), r.width(), height),
                    Qt::AlignLeft | Qt::AlignVCenter, ToQt(item->Label()));
  if (item->IsCrossedOut()) {
    // The row's bottom edge lies one pixel below the rectangle's last line.
    const int middle = (r.top() + r.top() + height) / 2;
    painter->setPen(QPen(QColor(255, 0, 0), 1));
    painter->drawLine(0, middle, r.right(), middle);
  }
  painter->restore();
}

// ---- The window ------------------------------------------------------------------------

TConfigWindow::TConfigWindow(QWidget* parent, TUserInterface& ui)
    : TParentWindow(parent, QStringLiteral("Config Window"), kConfigWindowId),
      Ui(ui),
      LayoutModel(std::make_unique<TLayoutModel>(ui)),
      ListBox(FindControlAs<QListWidget>(kObjListBoxId)),
      InspectWindow(new TObjInspectWindow(this, LayoutModel->Inspector())),
      PreviewWindow(new TImageWindow(this)) {
  setObjectName(QStringLiteral("TConfigWindow"));
  PIX_CHECK(ListBox != nullptr);
  LayoutModel->SetPreviewTarget(PreviewWindow);
  ListBox->setItemDelegate(new TConfigRowDelegate(ListBox, *LayoutModel));
  ListBox->setUniformItemSizes(true);
  ListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(ListBox, &QListWidget::itemSelectionChanged, this, &TConfigWindow::SelectionChanged);

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
  for (const auto& [id, handler] : buttons) {
    if (auto* button = FindControlAs<QPushButton>(id)) {
      connect(button, &QPushButton::clicked, this, handler);
    }
  }
  FillList();
  ControlsMoved();
  ListBox->setFocus();
}

TConfigWindow::~TConfigWindow() {
  // The rows edit the model's inspector: they go before the model does.
  LayoutModel->SetPreviewTarget(nullptr);
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
  const int count = static_cast<int>(LayoutModel->ListedItems().size());
  for (int row = 0; row < count; ++row) ListBox->addItem(new QListWidgetItem);
  // The caret goes to the first row, but nothing is selected until the user picks a row.
  if (count > 0) {
    ListBox->selectionModel()->setCurrentIndex(ListBox->model()->index(0, 0),
                                               QItemSelectionModel::NoUpdate);
  }
  // A list filled again for the same tree keeps showing the model's selection.
  const int selected = LayoutModel->SelectedIndex();
  if (selected >= 0 && selected < count) ListBox->setCurrentRow(selected);
  InspectWindow->ShowModel();
}

void TConfigWindow::SelectionChanged() {
  const QList<QListWidgetItem*> selected = ListBox->selectedItems();
  if (selected.isEmpty()) return;
  LayoutModel->Select(ListBox->row(selected.front()));
  InspectWindow->ShowModel();
}

void TConfigWindow::RepaintList() { ListBox->viewport()->update(); }

void TConfigWindow::ControlsMoved() {
  if (InspectWindow == nullptr || PreviewWindow == nullptr) return;
  InspectWindow->setGeometry(FindControl(kInspectorFrameId)->geometry());
  PreviewWindow->setGeometry(FindControl(kPreviewFrameId)->geometry());
  InspectWindow->raise();
  PreviewWindow->raise();
  update();
}

// ---- Commands on the selected item -----------------------------------------------------

void TConfigWindow::CmSave() {
  LayoutModel->Save();
  InspectWindow->ShowModel();
  RepaintList();
}

void TConfigWindow::CmDelete() {
  LayoutModel->Delete();
  RepaintList();
}

void TConfigWindow::CmUndo() {
  LayoutModel->Undo();
  RepaintList();
}

void TConfigWindow::CmRename() {
  if (LayoutModel->Rename()) RepaintList();
}

void TConfigWindow::CmOpen() { LayoutModel->Open(); }

void TConfigWindow::CmExit() {
  LayoutModel->SaveLayout();
  InspectWindow->ShowModel();
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
  const std::optional<std::string> chosen = ChooseDirectory(LayoutModel->SiteDir());
  if (chosen) SelectSiteDirectory(*chosen);
}

bool TConfigWindow::SelectSiteDirectory(const std::string& directory) {
  // The tree is replaced by the new directory's: what was edited is saved first rather
  // than dropped with the old tree.
  if (LayoutModel->RootItem()->IsModified() || LayoutModel->Inspector().FieldsModified()) {
    LayoutModel->SaveLayout();
  }
  if (!LayoutModel->SelectDirectory(directory)) return false;
  FillList();
  return true;
}

void TConfigWindow::RunWithStatus(const std::function<void(TProgress&)>& job) {
  TStatusDlg status(this);
  emit RunStarted(&status);
  setCursor(Qt::WaitCursor);
  job(status);
  status.hide();
  unsetCursor();
  // The job may have rebuilt the tree (after a run) or left it (a refused directory).
  FillList();
}

void TConfigWindow::CmGenerateSite() {
  RunWithStatus([this](TProgress& progress) { LayoutModel->GenerateSite(progress); });
}

void TConfigWindow::CmAutoOrganize() {
  RunWithStatus([this](TProgress& progress) { LayoutModel->AutoOrganize(progress); });
}

void TConfigWindow::CmSampleLayouts() {
  LayoutModel->SaveLayout();
  setCursor(Qt::WaitCursor);
  {
    TSamplesDlg dialog(this, Ui);
    dialog.OpenHelp = OpenHelp;
    if (ExecDialog) ExecDialog(dialog);
  }
  LayoutModel->RefreshLayout();
  FillList();
  unsetCursor();
}

}  // namespace pix::ui
