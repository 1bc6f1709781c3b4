// The GUI test program: Google Test inside a QApplication on Qt's offscreen platform, so the
// tests drive real widgets without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/ui/pagepreviewpane.h"
#include "base/ui/icons.h"
#include "files/layouthome.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Files the tests delete go to a trash of their own, never the user's.
  char home[] = "/tmp/pixamond-gui-home-XXXXXX";
  if (::mkdtemp(home) == nullptr) return 2;
  setenv("HOME", home, 1);
  setenv("XDG_DATA_HOME", (std::string(home) + "/data").c_str(), 1);
  pix::ui::PrepareWebEngine();
  QApplication app(argc, argv);
  pix::ui::SetIconDirectory(pix::FindShippedDataDir() / "icons");
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
