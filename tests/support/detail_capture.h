// Collects the picture libraries' detail lines while it lives, for tests that look at why a
// file could not be read.
#pragma once

#include <string>

#include "base/diagnostics.h"

namespace pix::test {

class TDetailCapture {
 public:
  TDetailCapture() { SetDetailSink(&Lines); }
  ~TDetailCapture() { SetDetailSink(nullptr); }
  TDetailCapture(const TDetailCapture&) = delete;
  TDetailCapture& operator=(const TDetailCapture&) = delete;

  /// Every detail line so far, each followed by a line end.
  std::string Text() const {
    std::string text;
    for (const std::string& line : Lines.Details()) text += line + "\n";
    return text;
  }

 private:
  CollectedDiagnostics Lines;
};

}  // namespace pix::test
