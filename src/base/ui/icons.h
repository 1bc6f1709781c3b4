// The program's pictures: icons, tool bar buttons and the help cursor, kept as small SVG files
// (<resource id>.svg) in the icon folder that the application names at start-up, drawn by
// QtSvg.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <filesystem>

namespace pix::ui {

/// Names the folder that holds the icon files; set once at start-up.
void SetIconDirectory(const std::filesystem::path& directory);

/// Draws an SVG document into a transparent pixmap of `size`; an unreadable document gives
/// an empty transparent pixmap.
QPixmap RenderSvg(const QByteArray& document, QSize size);

/// The picture of resource `id`, `size` pixels square on a screen whose device pixel ratio
/// is `devicePixelRatio`: drawn from the SVG at size × ratio device pixels, so that it is
/// sharp on a 2x screen, and drawn once per device size. A missing file gives a
/// transparent pixmap.
QPixmap ResourcePixmap(int id, int size, qreal device_pixel_ratio = 1.0);

/// The icon of resource `id`, drawn from its SVG at whatever size and scale it is shown.
QIcon ResourceIcon(int id);

/// The cursor of context help (resource 24000), its hot spot at the arrow's tip.
QCursor HelpCursor();

}  // namespace pix::ui
