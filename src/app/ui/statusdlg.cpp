#include "app/ui/statusdlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/dialogs.h"
#include "base/ui/parentwindow.h"
#include "base/ui/qttext.h"

namespace pix::ui {

namespace {

// The template's window whose only extra is that the bar follows frame 805.
class StatusBody : public ParentWindow {
 public:
  StatusBody(QWidget* parent, QProgressBar*& bar)
      : ParentWindow(parent, QStringLiteral("Status"), kStatusDialogId), bar_(bar) {}

 protected:
  void ControlsMoved() override {
    if (bar_ != nullptr) bar_->setGeometry(FindControl(kProgressFrameId)->geometry());
  }

 private:
  QProgressBar*& bar_;
};

}  // namespace

StatusDialog::StatusDialog(QWidget* parent) : QDialog(parent), bar_(nullptr) {
  setWindowTitle(QStringLiteral("Status"));
  setObjectName(QStringLiteral("StatusDialog"));
  setWindowModality(Qt::ApplicationModal);
  body_window_ = new StatusBody(this, bar_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(body_window_);
  main_task_edit_ = body_window_->FindControlAs<QLineEdit>(kMainTaskFieldId);
  current_step_edit_ = body_window_->FindControlAs<QLineEdit>(kCurrentStepFieldId);
  PIX_CHECK(main_task_edit_ != nullptr && current_step_edit_ != nullptr);
  // The bar is made at run time and laid over the frame, which only marks its place.
  bar_ = new QProgressBar(body_window_);
  bar_->setObjectName(QStringLiteral("786"));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setFormat(QStringLiteral("%p%"));
  bar_->setAlignment(Qt::AlignCenter);
  bar_->setGeometry(20, 20, 240, 34);
  body_window_->FindControl(kProgressFrameId)->lower();
  bar_->setGeometry(body_window_->FindControl(kProgressFrameId)->geometry());
  if (auto* cancel = qobject_cast<QPushButton*>(CancelButton())) {
    connect(cancel, &QPushButton::clicked, this, &StatusDialog::reject);
  }
  resize(body_window_->TemplateSize());
  setMinimumSize(body_window_->TemplateSize() / 2);
}

QWidget* StatusDialog::CancelButton() const { return body_window_->FindControl(kCancelButtonId); }

void StatusDialog::reject() {
  cancel_requested_ = true;
  if (auto* cancel = CancelButton()) cancel->setEnabled(false);
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
