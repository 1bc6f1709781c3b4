// The program's pictures: icons, tool bar buttons and the help cursor, kept as small SVG files
// in the shipped data folder (icons/<resource id>.svg) and drawn with QPainter.
//
// Only the plain SVG the program's own files use is understood: rect, circle, ellipse, line,
// polyline, polygon and path (M, L, H, V, C, Q, Z in both cases), with fill, stroke,
// stroke-width, the line caps and joins and opacity, inherited through groups.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace pix::ui {

/// Draws an SVG document into a transparent pixmap of `size`; an unreadable document gives
/// an empty transparent pixmap.
QPixmap RenderSvg(const QByteArray& document, QSize size);

/// The picture of resource `id` at `size` pixels square, from the shipped data folder;
/// drawn once per size. A missing file gives a transparent pixmap.
QPixmap ResourcePixmap(int id, int size);

/// The icon of resource `id`, at the sizes menus, tool bars and title bars use.
QIcon ResourceIcon(int id);

/// The cursor of context help (resource 24000), its hot spot at the arrow's tip.
QCursor HelpCursor();

}  // namespace pix::ui
