#include "app/ui/runpanel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <chrono>

#include "base/ui/qttext.h"

namespace pix::ui {

QString TimeLeftText(int done, int steps, qint64 elapsed_ms) {
  if (done <= 0 || steps <= done || elapsed_ms < 0) return QString();
  const double left_ms = static_cast<double>(elapsed_ms) * static_cast<double>(steps - done) / done;
  const qint64 seconds = static_cast<qint64>(left_ms / 1000.0 + 0.5);
  if (seconds < 60) return QStringLiteral("about %1 s left").arg(std::max<qint64>(1, seconds));
  const qint64 minutes = (seconds + 30) / 60;
  if (minutes < 60) return QStringLiteral("about %1 min left").arg(minutes);
  return QStringLiteral("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

// ---- The problems list ---------------------------------------------------------------------

ProblemsList::ProblemsList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("ProblemsList"));
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("File"), QStringLiteral("Problem")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAlternatingRowColors(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setStretchLastSection(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) emit FileChosen(item->data(0, Qt::UserRole).toString());
  });
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) emit FileChosen(item->data(0, Qt::UserRole).toString());
  });
}

void ProblemsList::AddProblem(const QString& file, const QString& text) {
  auto* row = new QTreeWidgetItem(this);
  row->setText(0, file.isEmpty() ? QString() : QFileInfo(file).fileName());
  row->setData(0, Qt::UserRole, file);
  row->setToolTip(0, file);
  row->setText(1, text);
  row->setToolTip(1, text);
  if (topLevelItemCount() == 1) resizeColumnToContents(0);
  // As high as its rows, up to eight; more scroll.
  const int rows = std::min(topLevelItemCount(), 8);
  setFixedHeight(header()->sizeHint().height() + rows * sizeHintForRow(0) + 2 * frameWidth() + 2);
  show();
}

bool ProblemsList::HasFile(const QString& file) const {
  for (int row = 0; row < topLevelItemCount(); ++row) {
    if (FileOfRow(row) == file) return true;
  }
  return false;
}

QString ProblemsList::FileOfRow(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item == nullptr ? QString() : item->data(0, Qt::UserRole).toString();
}

// ---- What the job reports, carried to the window -------------------------------------------

// The job's progress. Every change is shown by the panel before the job goes on: the job
// waits for the window, never the other way round, so the panel always shows where the
// job stands and a Cancel seen there is heard before the next step.
class RunPanel::JobProgress : public Progress {
 public:
  explicit JobProgress(RunPanel& panel) : panel_(panel) {}
  bool CancelRequested() const override { return panel_.cancel_requested_.load(); }

 protected:
  void Refresh() override {
    const int position = Position();
    const int steps = StepCount();
    const std::string task = MainTask();
    const std::string step = CurrentStep();
    RunPanel* panel = &panel_;
    if (QThread::currentThread() == panel->thread()) {
      panel->Show(position, steps, task, step);
      return;
    }
    QMetaObject::invokeMethod(
        panel, [=] { panel->Show(position, steps, task, step); }, Qt::BlockingQueuedConnection);
  }

 private:
  RunPanel& panel_;
};

// The job's problems become rows of the list as they come.
class RunPanel::JobDiagnostics : public Diagnostics {
 public:
  explicit JobDiagnostics(ProblemsList* list) : list_(list) {}

 protected:
  void WriteProblem(const std::string& text) override { Add(std::string(), text); }
  void WriteProblemWith(const std::string& file, const std::string& text) override {
    Add(file, text);
  }
  void WriteDetail(const std::string&) override {}
  void WriteNotice(const std::string& text) override { Add(std::string(), text); }

 private:
  void Add(const std::string& file, const std::string& text) {
    const QString shown_file = PathToQt(file);
    const QString shown_text = ToQt(text);
    ProblemsList* list = list_;
    QMetaObject::invokeMethod(
        list, [=] { list->AddProblem(shown_file, shown_text); }, Qt::QueuedConnection);
  }

  ProblemsList* list_;
};

// ---- The panel -----------------------------------------------------------------------------

RunPanel::RunPanel(QWidget* parent, UserInterface& ui, ProblemsList* problems)
    : QWidget(parent),
      ui_(ui),
      problems_(problems),
      task_label_(new QLabel(this)),
      step_label_(new QLabel(this)),
      time_left_label_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_button_(new QPushButton(QStringLiteral("Cancel"), this)) {
  setObjectName(QStringLiteral("RunPanel"));
  task_label_->setObjectName(QStringLiteral("RunTask"));
  step_label_->setObjectName(QStringLiteral("RunStep"));
  time_left_label_->setObjectName(QStringLiteral("RunTimeLeft"));
  bar_->setObjectName(QStringLiteral("RunProgress"));
  cancel_button_->setObjectName(QStringLiteral("RunCancel"));
  step_label_->setTextFormat(Qt::PlainText);
  step_label_->setMinimumWidth(1);  // A long picture name is cut, never widening the window.
  step_label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar_->setTextVisible(true);
  bar_->setAlignment(Qt::AlignCenter);
  bar_->setMinimumWidth(12 * std::max(1, fontMetrics().averageCharWidth()));
  connect(cancel_button_, &QPushButton::clicked, this, &RunPanel::RequestCancel);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 2, 0, 0);
  layout->addWidget(task_label_);
  layout->addWidget(bar_, 1);
  layout->addWidget(time_left_label_);
  layout->addWidget(step_label_, 2);
  layout->addWidget(cancel_button_);
  hide();
}

RunPanel::~RunPanel() {
  if (running_) {
    RequestCancel();
    WaitUntilFinished();
  }
}

bool RunPanel::Start(const QString& title,
                     std::function<void(Progress&, UserInterface&, Diagnostics&)> job,
                     std::function<void()> finished) {
  if (running_) return false;
  running_ = true;
  cancel_requested_ = false;
  job_done_ = false;
  finished_ = std::move(finished);
  position_ = 0;
  step_count_ = 0;
  main_task_.clear();
  problems_->clear();
  problems_->hide();
  task_label_->setText(title);
  step_label_->clear();
  time_left_label_->clear();
  bar_->setRange(0, 0);  // Busy until the job names its steps.
  cancel_button_->setEnabled(true);
  cancel_button_->setText(QStringLiteral("Cancel"));
  show();
  clock_.start();
  progress_ = std::make_unique<JobProgress>(*this);
  diagnostics_ = std::make_unique<JobDiagnostics>(problems_);
  worker_ = std::thread([this, job = std::move(job)] {
    job(*progress_, ui_, *diagnostics_);
    job_done_ = true;
    QMetaObject::invokeMethod(
        this, [this] { JobEnded(); }, Qt::QueuedConnection);
  });
  return true;
}

void RunPanel::RequestCancel() {
  if (!running_ || cancel_requested_) return;
  cancel_requested_ = true;
  cancel_button_->setEnabled(false);
  step_label_->setText(QStringLiteral("Cancelling..."));
}

void RunPanel::WaitUntilFinished() {
  // The job may be waiting for the window (a question, its progress): the window goes on
  // handling events until the job has ended.
  while (running_) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (job_done_ && running_) {
      QCoreApplication::sendPostedEvents(this);
      if (running_) QThread::msleep(2);
    }
  }
}

void RunPanel::Show(int position, int steps, const std::string& task, const std::string& step) {
  position_ = position;
  step_count_ = steps;
  main_task_ = task;
  if (!task.empty()) task_label_->setText(ToQt(task));
  if (!cancel_requested_) step_label_->setText(ToQt(step));
  if (steps > 0) {
    bar_->setRange(0, steps);
    bar_->setValue(std::clamp(position, 0, steps));
    bar_->setFormat(QStringLiteral("%1 of %2").arg(std::clamp(position, 0, steps)).arg(steps));
  }
  time_left_label_->setText(TimeLeftText(position, steps, clock_.elapsed()));
  emit Refreshed();
}

void RunPanel::JobEnded() {
  if (!running_) return;
  if (worker_.joinable()) worker_.join();
  progress_.reset();
  diagnostics_.reset();
  hide();
  running_ = false;
  if (finished_) {
    auto finished = std::move(finished_);
    finished_ = nullptr;
    finished();
  }
  emit Finished();
}

}  // namespace pix::ui
