// Collects the picture libraries' detail lines while it lives, for tests that look at why a
// file could not be read.
#pragma once

#include <string>

#include "base/diagnostics.h"

namespace pix::test {

class DetailCapture {
 public:
  DetailCapture() { SetDetailSink(&lines_); }
  ~DetailCapture() { SetDetailSink(nullptr); }
  DetailCapture(const DetailCapture&) = delete;
  DetailCapture& operator=(const DetailCapture&) = delete;

  /// Every detail line so far, each followed by a line end.
  std::string Text() const {
    std::string text;
    for (const std::string& line : lines_.Details()) text += line + "\n";
    return text;
  }

 private:
  CollectedDiagnostics lines_;
};

}  // namespace pix::test
