#include "app/ui/samplesdlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/helpwindow.h"
#include "app/ui/pagepreviewpane.h"
#include "base/ui/qttext.h"

namespace pix::ui {

SamplesDialog::SamplesDialog(QWidget* parent, UserInterface& ui,
                             const std::vector<std::filesystem::path>& directories,
                             const std::filesystem::path& target)
    : QDialog(parent),
      ui_(ui),
      model_(std::make_unique<SampleLayouts>(directories, target)),
      list_box_(new QListWidget(this)),
      description_box_(new QPlainTextEdit(this)),
      ok_button_(new QPushButton(QStringLiteral("Ok"), this)),
      cancel_button_(new QPushButton(QStringLiteral("Cancel"), this)),
      help_button_(new QPushButton(QStringLiteral("Help"), this)) {
  setWindowTitle(QStringLiteral("Sample Layout Selection"));
  setObjectName(QStringLiteral("SamplesDialog"));
  list_box_->setObjectName(QStringLiteral("SampleList"));
  list_box_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  description_box_->setObjectName(QStringLiteral("SampleDescription"));
  description_box_->setReadOnly(true);
  description_box_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  description_box_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  description_box_->setTabChangesFocus(true);
  // Room for a long title or a line of a description, several titles and a few lines.
  const QFontMetrics metrics = fontMetrics();
  list_box_->setMinimumSize(60 * std::max(1, metrics.averageCharWidth()), 8 * metrics.height());
  description_box_->setMinimumHeight(5 * metrics.lineSpacing());
  for (const SampleItem& sample : model_->Samples()) list_box_->addItem(ToQt(sample.title));
  connect(list_box_, &QListWidget::itemSelectionChanged, this, &SamplesDialog::Highlight);

  // Enter presses Ok wherever the focus is, Escape cancels.
  ok_button_->setObjectName(QStringLiteral("OkButton"));
  cancel_button_->setObjectName(QStringLiteral("CancelButton"));
  help_button_->setObjectName(QStringLiteral("HelpButton"));
  for (QPushButton* button : {ok_button_, cancel_button_, help_button_})
    button->setAutoDefault(false);
  ok_button_->setDefault(true);
  connect(ok_button_, &QPushButton::clicked, this, &SamplesDialog::PressOk);
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);
  connect(help_button_, &QPushButton::clicked, this, [this] {
    if (open_help) open_help(kHelpSampleLayouts);
  });
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(ok_button_, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel_button_, QDialogButtonBox::RejectRole);
  buttons->addButton(help_button_, QDialogButtonBox::HelpRole);

  auto* layout = new QVBoxLayout(this);
  auto* choice = new QVBoxLayout;
  choice->addWidget(list_box_, 3);
  choice->addWidget(description_box_, 2);
  panes_ = new QHBoxLayout;
  panes_->addLayout(choice, 2);
  layout->addLayout(panes_, 1);
  layout->addWidget(buttons);
  // It opens at the size those need; the list and the description grow with the dialog.
  resize(minimumSizeHint());
}

void SamplesDialog::ShowPagePreview(
    std::function<Result<PageRequest>(const std::filesystem::path& sample)> prepare_page) {
  if (page_preview_ == nullptr) {
    page_preview_ = new PagePreviewPane(this);
    // Room for the top of a page: its heading and a row of pictures.
    const QFontMetrics metrics = fontMetrics();
    page_preview_->setMinimumSize(60 * std::max(1, metrics.averageCharWidth()),
                                  24 * metrics.height());
    panes_->addWidget(page_preview_, 3);
    resize(minimumSizeHint());
  }
  // Before any sample is highlighted, the page as the layout makes it now.
  page_preview_->prepare_page = [this, prepare_page = std::move(prepare_page)] {
    const SampleItem* sample = model_->SelectedSample();
    return prepare_page(sample != nullptr ? sample->file_name : std::filesystem::path());
  };
  page_preview_->Schedule();
}

void SamplesDialog::Highlight() {
  const QList<QListWidgetItem*> selected = list_box_->selectedItems();
  const int row = selected.isEmpty() ? -1 : list_box_->row(selected.front());
  QString text = ToQt(model_->Highlight(row));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  description_box_->setPlainText(text.left(16384));
  if (page_preview_ != nullptr) page_preview_->Schedule();
}

void SamplesDialog::PressOk() {
  switch (model_->PressOk(ui_)) {
    case SampleLayouts::OkOutcome::kClosedUnchanged:
    case SampleLayouts::OkOutcome::kCopied:
      accept();
      break;
    case SampleLayouts::OkOutcome::kStayOpen:
      break;
  }
}

}  // namespace pix::ui
