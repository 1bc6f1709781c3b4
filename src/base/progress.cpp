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

void TProgress::SetStepCount(int count) {
  StepCountValue = count;
  Refresh();
}

void TProgress::SetMainTask(const std::string& text) {
  MainTaskText = text;
  Refresh();
}

void TProgress::SetCurrentStep(const std::string& text) {
  CurrentStepText = text;
  Refresh();
}

void TProgress::StepBy(int count) {
  PositionValue += count;
  Refresh();
}

int TProgress::Percent() const {
  if (StepCountValue <= 0) return 0;
  return MulDiv(PositionValue, 100, StepCountValue);
}

}  // namespace pix
