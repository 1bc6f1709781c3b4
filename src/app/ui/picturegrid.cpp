#include "app/ui/picturegrid.h"

#include <QImage>
#include <QImageReader>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <system_error>

#include "base/ui/qttext.h"

namespace pix::ui {

namespace {

// The picture at `path` reduced to fit a square of `size` pixels, turned upright as its
// EXIF orientation says; a null image when it cannot be read.
QImage ReadThumbnail(const std::filesystem::path& path, int size) {
  QImageReader reader(PathToQt(path));
  reader.setAutoTransform(true);
  const QSize full = reader.size();
  if (full.isValid() && (full.width() > size || full.height() > size)) {
    // JPEG readers decode at a reduced scale when asked for a small size: cheap for photos.
    reader.setScaledSize(full.scaled(size, size, Qt::KeepAspectRatio));
  }
  QImage image = reader.read();
  if (!image.isNull() && (image.width() > size || image.height() > size)) {
    image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

// A square icon with `image` centred on a transparent ground, so that every cell of the
// grid has the same size.
QIcon SquareIcon(const QImage& image, int size) {
  QPixmap square(size, size);
  square.fill(Qt::transparent);
  QPainter painter(&square);
  painter.drawImage((size - image.width()) / 2, (size - image.height()) / 2, image);
  painter.end();
  return QIcon(square);
}

}  // namespace

PictureGrid::PictureGrid(QWidget* parent) : QListWidget(parent) {
  setObjectName(QStringLiteral("PictureGrid"));
  setViewMode(QListView::IconMode);
  setIconSize(QSize(kThumbnailSize, kThumbnailSize));
  setResizeMode(QListView::Adjust);
  setMovement(QListView::Static);
  setUniformItemSizes(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSpacing(4);
  setGridSize(QSize(kThumbnailSize + 16, kThumbnailSize + fontMetrics().height() + 12));
  // At least one whole row of thumbnails with their names shows.
  setMinimumHeight(gridSize().height() + 2 * frameWidth() + 2 * spacing());
  connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (item != nullptr) emit PictureChosen(item->data(Qt::UserRole).toString());
  });
}

PictureGrid::~PictureGrid() { StopDecoding(); }

void PictureGrid::StopDecoding() {
  ++generation_;
  if (decoder_.joinable()) decoder_.join();
}

void PictureGrid::ShowPictures(const std::vector<Entry>& pictures,
                               const std::filesystem::path& current) {
  bool same = pictures.size() == entries_.size();
  for (std::size_t i = 0; same && i < pictures.size(); ++i) {
    same = pictures[i].picture == entries_[i].picture;
  }
  if (same) {
    SetCurrentPicture(current);
    return;
  }
  StopDecoding();
  entries_ = pictures;
  thumbnails_shown_ = 0;
  {
    const QSignalBlocker block(this);
    clear();
    QPixmap blank(kThumbnailSize, kThumbnailSize);
    blank.fill(Qt::transparent);
    for (const Entry& entry : entries_) {
      auto* item = new QListWidgetItem(QIcon(blank), PathToQt(entry.picture.filename()), this);
      item->setData(Qt::UserRole, PathToQt(entry.picture));
      item->setToolTip(PathToQt(entry.picture.filename()));
    }
  }
  SetCurrentPicture(current);
  const unsigned generation = generation_.load();
  std::vector<Entry> work = entries_;
  decoder_ = std::thread([this, generation, work] {
    for (std::size_t row = 0; row < work.size(); ++row) {
      if (generation_.load() != generation) return;
      std::error_code error;
      const bool has_inline = !work[row].inline_image.empty() &&
                              std::filesystem::is_regular_file(work[row].inline_image, error);
      QImage image = has_inline ? ReadThumbnail(work[row].inline_image, kThumbnailSize) : QImage();
      if (image.isNull()) image = ReadThumbnail(work[row].picture, kThumbnailSize);
      if (image.isNull()) continue;
      QMetaObject::invokeMethod(
          this, [this, generation, row, image] { Shown(generation, static_cast<int>(row), image); },
          Qt::QueuedConnection);
    }
  });
}

void PictureGrid::Shown(unsigned generation, int row, const QImage& image) {
  if (generation != generation_.load()) return;
  QListWidgetItem* cell = item(row);
  if (cell == nullptr) return;
  cell->setIcon(SquareIcon(image, kThumbnailSize));
  ++thumbnails_shown_;
  emit ThumbnailShown();
}

void PictureGrid::SetCurrentPicture(const std::filesystem::path& picture) {
  const QSignalBlocker block(this);
  const QString wanted = PathToQt(picture);
  for (int row = 0; row < count(); ++row) {
    if (!picture.empty() && item(row)->data(Qt::UserRole).toString() == wanted) {
      setCurrentRow(row);
      scrollToItem(item(row));
      return;
    }
  }
  clearSelection();
  setCurrentItem(nullptr);
}

}  // namespace pix::ui
