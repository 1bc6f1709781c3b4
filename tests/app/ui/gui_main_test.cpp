// The GUI test program: Google Test inside a QApplication on Qt's offscreen platform, so the
// tests drive real widgets without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "base/ui/icons.h"
#include "files/layouthome.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  pix::ui::SetIconDirectory(pix::FindShippedDataDir() / "icons");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
