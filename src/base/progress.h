// Progress of a long job (a generation run), as the status window shows it: a main task,
// the current step, and a bar that fills as steps are done.
//
// The job drives it through four operations; the desktop program draws it in the status
// window and the command line prints a progress line. A job that may be stopped asks
// CancelRequested between its steps.
#pragma once

#include <string>

namespace pix {

class Progress {
 public:
  virtual ~Progress() = default;

  /// Sets the number of steps that make 100 percent (100 until set).
  void SetStepCount(int count);
  void SetMainTask(const std::string& text);
  void SetCurrentStep(const std::string& text);
  /// Adds `count` steps done.
  void StepBy(int count);

  int StepCount() const { return step_count_; }
  int Position() const { return position_; }
  const std::string& MainTask() const { return main_task_text_; }
  const std::string& CurrentStep() const { return current_step_text_; }

  /// Position × 100 / step count, rounded to the nearest integer; 0 without steps.
  int Percent() const;

  /// True when the user asked to stop the job; it then ends cleanly at its next step.
  virtual bool CancelRequested() const { return false; }

 protected:
  /// Called after every change, so that the display can follow at once.
  virtual void Refresh() {}

 private:
  int step_count_ = 100;
  int position_ = 0;
  std::string main_task_text_;
  std::string current_step_text_;
};

/// The rounding that the bar uses: a × b / c rounded half away from zero, in 64 bits;
/// -1 when c is 0.
int MulDiv(int a, int b, int c);

}  // namespace pix
