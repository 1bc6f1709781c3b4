#include "base/progress.h"

#include <cstdint>

namespace pix {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = (c < 0 ? -c : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude = ((product < 0 ? -product : product) + half) / (c < 0 ? -c : c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

void Progress::SetStepCount(int count) {
  step_count_ = count;
  Refresh();
}

void Progress::SetMainTask(const std::string& text) {
  main_task_text_ = text;
  Refresh();
}

void Progress::SetCurrentStep(const std::string& text) {
  current_step_text_ = text;
  Refresh();
}

void Progress::StepBy(int count) {
  position_ += count;
  Refresh();
}

int Progress::Percent() const {
  if (step_count_ <= 0) return 0;
  return MulDiv(position_, 100, step_count_);
}

}  // namespace pix
