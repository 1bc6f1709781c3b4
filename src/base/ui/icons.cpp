#include "base/ui/icons.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pix::ui {

namespace {

std::filesystem::path& IconDirectoryPath() {
  static std::filesystem::path directory;
  return directory;
}

}  // namespace

void SetIconDirectory(const std::filesystem::path& directory) { IconDirectoryPath() = directory; }

QPixmap RenderSvg(const QByteArray& document, QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(document);
  if (!renderer.isValid()) return pixmap;
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  return pixmap;
}

QPixmap ResourcePixmap(int id, int size) {
  static QHash<QString, QPixmap> cache;
  const QString key = QStringLiteral("%1@%2").arg(id).arg(size);
  auto found = cache.find(key);
  if (found != cache.end()) return *found;
  const std::filesystem::path file = IconDirectoryPath() / (std::to_string(id) + ".svg");
  // Read by its own bytes, so an icon directory whose name is not UTF-8 is found too.
  std::ifstream svg(file, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(svg), std::istreambuf_iterator<char>()};
  const QByteArray document(text.data(), static_cast<qsizetype>(text.size()));
  QPixmap pixmap = RenderSvg(document, QSize(size, size));
  cache.insert(key, pixmap);
  return pixmap;
}

QIcon ResourceIcon(int id) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(ResourcePixmap(id, size));
  return icon;
}

QCursor HelpCursor() { return QCursor(ResourcePixmap(24000, 32), 1, 1); }

}  // namespace pix::ui
