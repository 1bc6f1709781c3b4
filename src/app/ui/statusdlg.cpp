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
class TStatusBody : public ParentWindow {
 public:
  TStatusBody(QWidget* parent, QProgressBar*& bar)
      : ParentWindow(parent, QStringLiteral("Status"), kStatusDialogId), Bar(bar) {}

 protected:
  void ControlsMoved() override {
    if (Bar != nullptr) Bar->setGeometry(FindControl(kProgressFrameId)->geometry());
  }

 private:
  QProgressBar*& Bar;
};

}  // namespace

TStatusDlg::TStatusDlg(QWidget* parent) : QDialog(parent), Bar(nullptr) {
  setWindowTitle(QStringLiteral("Status"));
  setObjectName(QStringLiteral("TStatusDlg"));
  setWindowModality(Qt::ApplicationModal);
  BodyWindow = new TStatusBody(this, Bar);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(BodyWindow);
  MainTaskEdit = BodyWindow->FindControlAs<QLineEdit>(kMainTaskFieldId);
  CurrentStepEdit = BodyWindow->FindControlAs<QLineEdit>(kCurrentStepFieldId);
  PIX_CHECK(MainTaskEdit != nullptr && CurrentStepEdit != nullptr);
  // The bar is made at run time and laid over the frame, which only marks its place.
  Bar = new QProgressBar(BodyWindow);
  Bar->setObjectName(QStringLiteral("786"));
  Bar->setRange(0, 100);
  Bar->setValue(0);
  Bar->setFormat(QStringLiteral("%p%"));
  Bar->setAlignment(Qt::AlignCenter);
  Bar->setGeometry(20, 20, 240, 34);
  BodyWindow->FindControl(kProgressFrameId)->lower();
  Bar->setGeometry(BodyWindow->FindControl(kProgressFrameId)->geometry());
  if (auto* cancel = qobject_cast<QPushButton*>(CancelButton())) {
    connect(cancel, &QPushButton::clicked, this, &TStatusDlg::reject);
  }
  resize(BodyWindow->TemplateSize());
  setMinimumSize(BodyWindow->TemplateSize() / 2);
}

QWidget* TStatusDlg::CancelButton() const { return BodyWindow->FindControl(kCancelButtonId); }

void TStatusDlg::reject() {
  bCancelRequested = true;
  if (auto* cancel = CancelButton()) cancel->setEnabled(false);
  CurrentStepEdit->setText(QStringLiteral("Cancelling..."));
}

void TStatusDlg::closeEvent(QCloseEvent* event) {
  // Closing the window while the job runs means stopping it; the job closes the dialog.
  if (isVisible()) {
    reject();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TStatusDlg::Refresh() {
  if (!isVisible()) show();
  MainTaskEdit->setText(ToQt(MainTask()));
  if (!bCancelRequested) CurrentStepEdit->setText(ToQt(CurrentStep()));
  Bar->setValue(std::clamp(Percent(), 0, 100));
  emit Refreshed();
  // The job holds the thread: let the window repaint and hear the Cancel button now.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace pix::ui
