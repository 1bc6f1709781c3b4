#include "base/ui/icons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <cmath>
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

// The SVG document of resource `id`, read once.
QByteArray ResourceDocument(int id) {
  static QHash<int, QByteArray> documents;
  auto found = documents.find(id);
  if (found != documents.end()) return *found;
  const std::filesystem::path file = IconDirectoryPath() / (std::to_string(id) + ".svg");
  // Read by its own bytes, so an icon directory whose name is not UTF-8 is found too.
  std::ifstream svg(file, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(svg), std::istreambuf_iterator<char>()};
  QByteArray document(text.data(), static_cast<qsizetype>(text.size()));
  documents.insert(id, document);
  return document;
}

// Draws the SVG afresh at every size and scale that is asked for, so that an icon is as
// sharp in a 2x tool bar as in a 1x menu.
class SvgIconEngine : public QIconEngine {
 public:
  explicit SvgIconEngine(int id) : id_(id) {}

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  // `size` counts device pixels: the icon asks for its size times the scale.
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State,
                       qreal scale) override {
    const int side = std::min(size.width(), size.height());
    QPixmap pixmap = ResourcePixmap(id_, side);
    pixmap.setDevicePixelRatio(scale > 0 ? scale : 1.0);
    if (mode == QIcon::Normal || mode == QIcon::Active) return pixmap;
    QStyleOption option;
    option.palette = QApplication::palette();
    QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    generated.setDevicePixelRatio(pixmap.devicePixelRatio());
    return generated;
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal scale = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size() * scale, mode, state, scale));
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return QSize(side, side);
  }
  QIconEngine* clone() const override { return new SvgIconEngine(id_); }
  QString key() const override { return QStringLiteral("SvgIconEngine"); }

 private:
  int id_;
};

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

QPixmap ResourcePixmap(int id, int size, qreal device_pixel_ratio) {
  static QHash<QString, QPixmap> cache;
  const qreal scale = device_pixel_ratio > 0 ? device_pixel_ratio : 1.0;
  const int pixels = std::max(1, static_cast<int>(std::lround(size * scale)));
  const QString key = QStringLiteral("%1@%2").arg(id).arg(pixels);
  auto found = cache.find(key);
  QPixmap pixmap;
  if (found != cache.end()) {
    pixmap = *found;
  } else {
    pixmap = RenderSvg(ResourceDocument(id), QSize(pixels, pixels));
    cache.insert(key, pixmap);
  }
  // The same device pixels serve every scale that asks for them; only the ratio differs.
  pixmap.setDevicePixelRatio(scale);
  return pixmap;
}

QIcon ResourceIcon(int id) { return QIcon(new SvgIconEngine(id)); }

QCursor HelpCursor() { return QCursor(ResourcePixmap(24000, 32, qApp->devicePixelRatio()), 1, 1); }

}  // namespace pix::ui
