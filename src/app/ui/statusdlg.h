// The status dialog of a long job (a generation run): the main task and the current step
// in read-only fields, a progress bar below them and a working Cancel button.
//
// The job runs on the window's thread; each change of its progress repaints the dialog and
// lets the window handle what is waiting (repaints, the Cancel button), so the program stays
// responsive. Cancel asks the job to stop after the picture it is working on.
#pragma once

#include <QDialog>

#include "base/progress.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace pix::ui {

class StatusDialog : public QDialog, public Progress {
  Q_OBJECT

 public:
  explicit StatusDialog(QWidget* parent);

  bool CancelRequested() const override { return cancel_requested_; }

  QLineEdit* MainTaskField() const { return main_task_edit_; }
  QLineEdit* CurrentStepField() const { return current_step_edit_; }
  QProgressBar* ProgressBar() const { return bar_; }
  QPushButton* CancelButton() const { return cancel_button_; }

 public slots:
  /// The user asks to stop: the job ends after its current step.
  void reject() override;

 signals:
  /// The progress changed and the dialog shows it.
  void Refreshed();

 protected:
  void Refresh() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QLineEdit* main_task_edit_;
  QLineEdit* current_step_edit_;
  QProgressBar* bar_;
  QPushButton* cancel_button_;
  bool cancel_requested_ = false;
};

}  // namespace pix::ui
