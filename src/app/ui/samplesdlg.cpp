#include "app/ui/samplesdlg.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/helpwindow.h"
#include "base/dialogs.h"
#include "base/ui/parentwindow.h"
#include "base/ui/qttext.h"

namespace pix::ui {

SamplesDialog::SamplesDialog(QWidget* parent, UserInterface& ui,
                         const std::vector<std::filesystem::path>& directories,
                         std::filesystem::path target)
    : QDialog(parent),
      ui_(ui),
      model_(directories.empty() ? std::make_unique<SampleLayouts>()
                                : std::make_unique<SampleLayouts>(directories)),
      target_(std::move(target)),
      body_(new ParentWindow(this, QStringLiteral("Sample Layout Selection"), kSamplesDialogId)) {
  setWindowTitle(QStringLiteral("Sample Layout Selection"));
  setObjectName(QStringLiteral("SamplesDialog"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(body_);
  list_box_ = body_->FindControlAs<QListWidget>(kSampleListId);
  description_box_ = body_->FindControlAs<QPlainTextEdit>(kSampleDescriptionId);
  PIX_CHECK(list_box_ != nullptr && description_box_ != nullptr);
  for (const SampleItem& sample : model_->Samples()) list_box_->addItem(ToQt(sample.title));
  connect(list_box_, &QListWidget::itemSelectionChanged, this, &SamplesDialog::Highlight);
  if (auto* ok = qobject_cast<QPushButton*>(Button(kOkButtonId))) {
    connect(ok, &QPushButton::clicked, this, &SamplesDialog::PressOk);
  }
  if (auto* cancel = qobject_cast<QPushButton*>(Button(kCancelButtonId))) {
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  }
  if (auto* help = qobject_cast<QPushButton*>(Button(kHelpButtonId))) {
    connect(help, &QPushButton::clicked, this, [this] {
      if (open_help) open_help(kHelpSampleLayouts);
    });
  }
  resize(body_->TemplateSize());
}

QWidget* SamplesDialog::Button(int id) const { return body_->FindControl(id); }

void SamplesDialog::Highlight() {
  const QList<QListWidgetItem*> selected = list_box_->selectedItems();
  const int row = selected.isEmpty() ? -1 : list_box_->row(selected.front());
  QString text = ToQt(model_->Highlight(row));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  description_box_->setPlainText(text.left(16384));
}

void SamplesDialog::PressOk() {
  switch (model_->PressOk(ui_, target_)) {
    case SampleLayouts::OkOutcome::kClosedUnchanged:
    case SampleLayouts::OkOutcome::kCopied:
      accept();
      break;
    case SampleLayouts::OkOutcome::kStayOpen:
      break;
  }
}

}  // namespace pix::ui
