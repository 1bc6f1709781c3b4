// The window's remembered placement in the settings, and where a window opens on a screen.
#include "app/windowplacement.h"

#include <gtest/gtest.h>

#include "files/settings.h"
#include "support/temp_dir.h"

namespace pix::test {
namespace {

class WindowPlacementTest : public testing::Test {
 protected:
  TempDir temp_;
  SettingsFile settings_{temp_.path()};
};

TEST_F(WindowPlacementTest, RoundTripsThroughTheSettings) {
  EXPECT_FALSE(ReadWindowPlacement(settings_).has_value());
  WindowPlacement placement;
  placement.frame = PixelRect{-20, 35, 1100, 700};
  placement.maximized = true;
  placement.pane_widths = {280, 500, 160};
  ASSERT_TRUE(WriteWindowPlacement(settings_, placement).ok());
  EXPECT_EQ(settings_.GetString(kWindowSection, "Placement"), "-20 35 1100 700");
  EXPECT_EQ(settings_.GetString(kWindowSection, "Panes"), "280 500 160");
  const std::optional<WindowPlacement> read = ReadWindowPlacement(settings_);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->frame, placement.frame);
  EXPECT_TRUE(read->maximized);
  EXPECT_EQ(read->pane_widths, placement.pane_widths);
}

TEST_F(WindowPlacementTest, HandEditedNonsenseIsIgnored) {
  for (const char* frame : {"", "1 2 3", "1 2 3 4 5", "10 10 0 300", "10 10 -5 300", "a b c d",
                            "10 10 300 200x", "99999999999 1 2 3"}) {
    ASSERT_TRUE(settings_.WriteString(kWindowSection, "Placement", frame).ok());
    EXPECT_FALSE(ReadWindowPlacement(settings_).has_value()) << frame;
  }
  ASSERT_TRUE(settings_.WriteString(kWindowSection, "Placement", "0 0 800 600").ok());
  for (const char* panes : {"1 2", "10 -1 20", "x 1 2"}) {
    ASSERT_TRUE(settings_.WriteString(kWindowSection, "Panes", panes).ok());
    const std::optional<WindowPlacement> read = ReadWindowPlacement(settings_);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->pane_widths.empty()) << panes;
  }
}

TEST(FitWindowOnScreenTest, KeepsTheWindowWhollyOnTheScreen) {
  const PixelRect screen{0, 30, 1366, 738};
  // A place that fits stays as it is.
  EXPECT_EQ(FitWindowOnScreen({100, 80, 900, 600}, screen, 400, 300),
            (PixelRect{100, 80, 900, 600}));
  // A place on a screen that is gone comes back into view, as near as it can.
  EXPECT_EQ(FitWindowOnScreen({2500, 900, 900, 600}, screen, 400, 300),
            (PixelRect{466, 168, 900, 600}));
  EXPECT_EQ(FitWindowOnScreen({-800, -50, 900, 600}, screen, 400, 300),
            (PixelRect{0, 30, 900, 600}));
  // Too large for the screen: as large as the screen; never below the minimum.
  EXPECT_EQ(FitWindowOnScreen({0, 0, 3000, 2000}, screen, 400, 300),
            (PixelRect{0, 30, 1366, 738}));
  EXPECT_EQ(FitWindowOnScreen({10, 40, 100, 100}, screen, 400, 300),
            (PixelRect{10, 40, 400, 300}));
}

}  // namespace
}  // namespace pix::test
