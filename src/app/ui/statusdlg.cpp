#include "app/ui/statusdlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/ui/qttext.h"

namespace pix::ui {

StatusDialog::StatusDialog(QWidget* parent)
    : QDialog(parent),
      main_task_edit_(new QLineEdit(this)),
      current_step_edit_(new QLineEdit(this)),
      bar_(new QProgressBar(this)),
      cancel_button_(new QPushButton(QStringLiteral("Cancel"), this)) {
  setWindowTitle(QStringLiteral("Status"));
  setObjectName(QStringLiteral("StatusDialog"));
  setWindowModality(Qt::ApplicationModal);
  main_task_edit_->setObjectName(QStringLiteral("MainTask"));
  current_step_edit_->setObjectName(QStringLiteral("CurrentStep"));
  for (QLineEdit* field : {main_task_edit_, current_step_edit_}) {
    field->setReadOnly(true);
    // Room for a step that names a picture, such as "Processing Image img0001a.jpg".
    field->setMinimumWidth(40 * std::max(1, field->fontMetrics().averageCharWidth()));
  }
  bar_->setObjectName(QStringLiteral("ProgressBar"));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setFormat(QStringLiteral("%p%"));
  bar_->setAlignment(Qt::AlignCenter);
  cancel_button_->setObjectName(QStringLiteral("CancelButton"));
  cancel_button_->setAutoDefault(false);
  connect(cancel_button_, &QPushButton::clicked, this, &StatusDialog::reject);

  auto* fields = new QFormLayout;
  fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  fields->addRow(QStringLiteral("Main Task:"), main_task_edit_);
  fields->addRow(QStringLiteral("Current Step:"), current_step_edit_);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancel_button_, QDialogButtonBox::RejectRole);
  buttons->setCenterButtons(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(bar_);
  layout->addWidget(buttons);
  // The keyboard starts on Cancel, so that Space stops the run; Tab reaches the fields,
  // whose text can be selected and copied.
  setTabOrder(cancel_button_, main_task_edit_);
  setTabOrder(main_task_edit_, current_step_edit_);
  cancel_button_->setFocus();
  resize(sizeHint());
}

void StatusDialog::reject() {
  cancel_requested_ = true;
  cancel_button_->setEnabled(false);
  current_step_edit_->setText(QStringLiteral("Cancelling..."));
}

void StatusDialog::closeEvent(QCloseEvent* event) {
  // Closing the window while the job runs means stopping it; the job closes the dialog.
  if (isVisible()) {
    reject();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void StatusDialog::Refresh() {
  if (!isVisible()) show();
  main_task_edit_->setText(ToQt(MainTask()));
  if (!cancel_requested_) current_step_edit_->setText(ToQt(CurrentStep()));
  bar_->setValue(std::clamp(Percent(), 0, 100));
  emit Refreshed();
  // The job holds the thread: let the window repaint and hear the Cancel button now.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace pix::ui
