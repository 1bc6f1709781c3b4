// Where the desktop window was when it last closed: its rectangle, whether it was
// maximized, and the widths of the layout window's three panes. The settings keep them in
// the section "Window" of pixamond.ini:
//
//   Placement=LEFT TOP WIDTH HEIGHT
//   Maximized=Yes
//   Panes=TREE INSPECTOR COLUMN
//
// Nothing here needs the toolkit; the frame reads the placement at start and writes it
// when it closes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "files/settings.h"
#include "picture/graphic.h"

namespace pix {

inline constexpr const char* kWindowSection = "Window";

struct WindowPlacement {
  PixelRect frame;  ///< The frame's rectangle on the desktop, outside the decorations.
  bool maximized = false;
  std::vector<int> pane_widths;  ///< Empty when not known.
};

/// The placement the settings remember; nothing when there is none or its rectangle is
/// not four numbers with a positive width and height. Pane widths that are not three
/// numbers of 0 or more are left empty.
std::optional<WindowPlacement> ReadWindowPlacement(const SettingsFile& settings);

/// Remembers the placement in the settings.
Status WriteWindowPlacement(const SettingsFile& settings, const WindowPlacement& placement);

/// The rectangle to open a window at, on a desktop whose free area is `screen`: `wanted`
/// made no larger than the screen and no smaller than the minimum, then moved as little
/// as possible to lie wholly on the screen (a remembered place on a screen that is gone
/// comes back into view).
PixelRect FitWindowOnScreen(PixelRect wanted, PixelRect screen, int min_width, int min_height);

}  // namespace pix
