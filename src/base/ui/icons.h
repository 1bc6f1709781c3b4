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

/// The picture of resource `id` at `size` pixels square, from the icon folder;
/// drawn once per size. A missing file gives a transparent pixmap.
QPixmap ResourcePixmap(int id, int size);

/// The icon of resource `id`, at the sizes menus, tool bars and title bars use.
QIcon ResourceIcon(int id);

/// The cursor of context help (resource 24000), its hot spot at the arrow's tip.
QCursor HelpCursor();

}  // namespace pix::ui
