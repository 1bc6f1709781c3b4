#include "picture/ui/imagewindow.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <system_error>

#include "base/ui/qttext.h"
#include "picture/graphic.h"

namespace pix::ui {

ImageWindow::ImageWindow(QWidget* parent, const QString& title) : QWidget(parent) {
  setWindowTitle(title);
  setObjectName(QStringLiteral("ImageWindow"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

ImageWindow::~ImageWindow() = default;

void ImageWindow::SetPicture(const std::filesystem::path& path) {
  image_ = QImage();
  file_name_ = path;
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    Load(path);
    file_missing_ = false;
  } else {
    picture_shown_ = false;
    file_missing_ = true;
  }
  update();
}

void ImageWindow::Load(const std::filesystem::path& path) {
  picture_shown_ = false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The toolkit's readers (GIF, JPEG, WebP) read the first image of the file. Its size is
  // asked first, so that a small file that claims a huge picture costs no memory.
  QImageReader reader(PathToQt(path));
  const QSize size = reader.size();
  if (!size.isValid() || MayShowPictureOfSize(size.width(), size.height())) {
    QImage image = reader.read();
    if (!image.isNull() && MayShowPictureOfSize(image.width(), image.height())) {
      image_ = image.convertToFormat(QImage::Format_RGB32);
      picture_shown_ = true;
    }
  }
  QApplication::restoreOverrideCursor();
}

void ImageWindow::ClearPicture() {
  file_missing_ = false;
  picture_shown_ = false;
  image_ = QImage();
  file_name_.reset();
  update();
}

QRect ImageWindow::PictureRect() const {
  if (!picture_shown_) return QRect();
  const PictureFit fit = FitPictureToClient(image_.width(), image_.height(), width(), height());
  return QRect(fit.picture.left, fit.picture.top, fit.picture.width, fit.picture.height);
}

void ImageWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_shown_) {
    const PictureFit fit = FitPictureToClient(image_.width(), image_.height(), width(), height());
    // Shrunk pictures keep hard pixel edges, as the display driver's plain stretch gives.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const PixelRect& p = fit.picture;
    painter.drawImage(QRect(p.left, p.top, p.width, p.height), image_);
    for (int i = 0; i < fit.white_area_count; ++i) {
      const PixelRect& w = fit.white_areas[static_cast<std::size_t>(i)];
      painter.fillRect(QRect(w.left, w.top, w.width, w.height), palette().color(QPalette::Base));
    }
    return;
  }
  painter.setPen(QPen(palette().color(QPalette::Text), 0));
  painter.setBrush(palette().color(QPalette::Base));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  const QString hint = Hint();
  if (!hint.isEmpty()) {
    painter.drawText(rect().adjusted(3, 3, -3, -3), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     hint);
  }
}

QString ImageWindow::Hint() const {
  if (picture_shown_) return QString();
  if (file_missing_) return QString::fromUtf8(kGeneratePreviewHint);
  if (!file_name_) return QString::fromUtf8(kSelectPictureHint);
  return QString();  // A file that could not be loaded: a blank area, without a word.
}

}  // namespace pix::ui
