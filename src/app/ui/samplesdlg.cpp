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

TSamplesDlg::TSamplesDlg(QWidget* parent, UserInterface& ui,
                         const std::vector<std::filesystem::path>& directories,
                         std::filesystem::path target)
    : QDialog(parent),
      Ui(ui),
      Model(directories.empty() ? std::make_unique<SampleLayouts>()
                                : std::make_unique<SampleLayouts>(directories)),
      Target(std::move(target)),
      Body(new ParentWindow(this, QStringLiteral("Sample Layout Selection"), kSamplesDialogId)) {
  setWindowTitle(QStringLiteral("Sample Layout Selection"));
  setObjectName(QStringLiteral("TSamplesDlg"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Body);
  ListBox = Body->FindControlAs<QListWidget>(kSampleListId);
  DescriptionBox = Body->FindControlAs<QPlainTextEdit>(kSampleDescriptionId);
  PIX_CHECK(ListBox != nullptr && DescriptionBox != nullptr);
  for (const SampleItem& sample : Model->Samples()) ListBox->addItem(ToQt(sample.title));
  connect(ListBox, &QListWidget::itemSelectionChanged, this, &TSamplesDlg::Highlight);
  if (auto* ok = qobject_cast<QPushButton*>(Button(kOkButtonId))) {
    connect(ok, &QPushButton::clicked, this, &TSamplesDlg::PressOk);
  }
  if (auto* cancel = qobject_cast<QPushButton*>(Button(kCancelButtonId))) {
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  }
  if (auto* help = qobject_cast<QPushButton*>(Button(kHelpButtonId))) {
    connect(help, &QPushButton::clicked, this, [this] {
      if (OpenHelp) OpenHelp(kHelpSampleLayouts);
    });
  }
  resize(Body->TemplateSize());
}

QWidget* TSamplesDlg::Button(int id) const { return Body->FindControl(id); }

void TSamplesDlg::Highlight() {
  const QList<QListWidgetItem*> selected = ListBox->selectedItems();
  const int row = selected.isEmpty() ? -1 : ListBox->row(selected.front());
  QString text = ToQt(Model->Highlight(row));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  DescriptionBox->setPlainText(text.left(16384));
}

void TSamplesDlg::PressOk() {
  switch (Model->PressOk(Ui, Target)) {
    case SampleLayouts::OkOutcome::kClosedUnchanged:
    case SampleLayouts::OkOutcome::kCopied:
      accept();
      break;
    case SampleLayouts::OkOutcome::kStayOpen:
      break;
  }
}

}  // namespace pix::ui
