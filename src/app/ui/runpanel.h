// A long job (a generation run, the auto-organize analysis) in the background of the layout
// window: the job works on a thread of its own while the window stays usable for reading,
// and a panel at the window's foot shows what it does, "n of N", the time left and a
// Cancel button. What goes wrong goes into the problems list, a row per file, instead of a
// box each.
#pragma once

#include <QElapsedTimer>
#include <QTreeWidget>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "base/ui/qtuserinterface.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace pix::ui {

/// How long a job that has done `done` of `steps` steps in `elapsed_ms` still needs, as a
/// person reads it: "about 40 s left", "about 3 min left"; empty before the first step is
/// done or after the last.
QString TimeLeftText(int done, int steps, qint64 elapsed_ms);

/// The list of problems of the last job: the file (its name, the whole path in the tool
/// tip) and the message. Rows come while the job works.
class ProblemsList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ProblemsList(QWidget* parent);
  /// Adds one row; `file` may be empty for a problem about no file.
  void AddProblem(const QString& file, const QString& text);
  /// The file of a row (its whole path), or empty.
  QString FileOfRow(int row) const;
  /// True when a row is about `file` (a whole path).
  bool HasFile(const QString& file) const;

 signals:
  /// The user clicked or chose (Enter) a row about `file`.
  void FileChosen(const QString& file);
};

class RunPanel : public QWidget {
  Q_OBJECT

 public:
  /// `ui` answers the job's questions on the window's thread; it must outlive the panel.
  RunPanel(QWidget* parent, UserInterface& ui, ProblemsList* problems);
  ~RunPanel() override;

  /// Starts `job` on a thread of its own with a progress, a user interface and a
  /// diagnostics sink that may be used from there. False when a job is running already.
  /// `finished` runs on the window's thread after the job has ended.
  bool Start(const QString& title, std::function<void(Progress&, UserInterface&, Diagnostics&)> job,
             std::function<void()> finished);
  bool IsRunning() const { return running_; }
  /// Asks the job to stop after the step it is working on.
  void RequestCancel();
  bool CancelRequested() const { return cancel_requested_.load(); }
  /// Lets the window handle its events until the job has ended (for closing the window).
  void WaitUntilFinished();

  QLabel* TaskLabel() const { return task_label_; }
  QLabel* StepLabel() const { return step_label_; }
  QLabel* TimeLeftLabel() const { return time_left_label_; }
  QProgressBar* ProgressBar() const { return bar_; }
  QPushButton* CancelButton() const { return cancel_button_; }
  /// The job's progress as the panel shows it now.
  int Position() const { return position_; }
  int StepCount() const { return step_count_; }
  const std::string& MainTask() const { return main_task_; }

 signals:
  /// The panel shows new progress of the job. The job waits until this is handled.
  void Refreshed();
  /// The job has ended and `finished` has run.
  void Finished();

 private:
  class JobProgress;
  class JobDiagnostics;
  // On the window's thread: shows what the job reported.
  void Show(int position, int steps, const std::string& task, const std::string& step);
  void JobEnded();

  MainThreadUserInterface ui_;
  ProblemsList* problems_;  // The window's list; outlives the panel.
  QLabel* task_label_;
  QLabel* step_label_;
  QLabel* time_left_label_;
  QProgressBar* bar_;
  QPushButton* cancel_button_;
  std::unique_ptr<JobProgress> progress_;
  std::unique_ptr<JobDiagnostics> diagnostics_;
  std::thread worker_;
  std::function<void()> finished_;
  std::atomic<bool> cancel_requested_{false};
  std::atomic<bool> job_done_{false};
  bool running_ = false;
  QElapsedTimer clock_;
  int position_ = 0;
  int step_count_ = 0;
  std::string main_task_;
};

}  // namespace pix::ui
