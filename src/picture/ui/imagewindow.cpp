#include "picture/ui/imagewindow.h"

#include <QApplication>
#include <QPainter>
#include <system_error>

#include "base/ui/qttext.h"
#include "picture/graphic.h"

namespace pix::ui {

TImageWindow::TImageWindow(QWidget* parent, const QString& title) : QWidget(parent) {
  setWindowTitle(title);
  setObjectName(QStringLiteral("TImageWindow"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TImageWindow::~TImageWindow() = default;

void TImageWindow::SetPicture(const std::filesystem::path& path) {
  PRasterPicture.reset();
  Image = QImage();
  szFileName = path;
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    Load(path);
    bFileMissing = false;
  } else {
    bPictureShown = false;
    bFileMissing = true;
  }
  update();
}

void TImageWindow::Load(const std::filesystem::path& path) {
  bPictureShown = false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto picture = std::make_unique<TRasterPicture>(path);
  if (picture->GetStatus() == kRasterLoaded) {
    // One palette index a byte, bottom line last, with the display colour table: the
    // toolkit's indexed image draws the same pixels the bitmap holds.
    QImage image(picture->Width(), picture->Height(), QImage::Format_Indexed8);
    if (!image.isNull()) {
      QList<QRgb> colors;
      for (const TRgbQuad& quad : picture->GetDisplayInfo().bmiColors) {
        colors.append(qRgb(quad.rgbRed, quad.rgbGreen, quad.rgbBlue));
      }
      image.setColorTable(colors);
      for (int y = 0; y < picture->Height(); ++y) picture->CopyIndexLine(y, image.scanLine(y));
      Image = std::move(image);
      PRasterPicture = std::move(picture);
      bPictureShown = true;
    }
  } else if (picture->GetStatus() == kRasterUnknownFormat) {
    // Inline images in JPEG or WebP are shown as the toolkit reads them.
    QImage image(PathToQt(path));
    if (!image.isNull()) {
      Image = image.convertToFormat(QImage::Format_RGB32);
      bPictureShown = true;
    }
  }
  QApplication::restoreOverrideCursor();
}

void TImageWindow::ClearPicture() {
  bFileMissing = false;
  bPictureShown = false;
  PRasterPicture.reset();
  Image = QImage();
  szFileName.reset();
  update();
}

QRect TImageWindow::PictureRect() const {
  if (!bPictureShown) return QRect();
  const TPictureFit fit = FitPictureToClient(Image.width(), Image.height(), width(), height());
  return QRect(fit.Picture.Left, fit.Picture.Top, fit.Picture.Width, fit.Picture.Height);
}

void TImageWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (bPictureShown) {
    const TPictureFit fit = FitPictureToClient(Image.width(), Image.height(), width(), height());
    // Shrunk pictures keep hard pixel edges, as the display driver's plain stretch gives.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const TPixelRect& p = fit.Picture;
    painter.drawImage(QRect(p.Left, p.Top, p.Width, p.Height), Image);
    for (int i = 0; i < fit.WhiteAreaCount; ++i) {
      const TPixelRect& w = fit.WhiteAreas[static_cast<std::size_t>(i)];
      painter.fillRect(QRect(w.Left, w.Top, w.Width, w.Height), palette().color(QPalette::Base));
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

QString TImageWindow::Hint() const {
  if (bPictureShown) return QString();
  if (bFileMissing) return QString::fromUtf8(kGeneratePreviewHint);
  if (!szFileName) return QString::fromUtf8(kSelectPictureHint);
  return QString();  // A file that could not be loaded: a blank area, without a word.
}

}  // namespace pix::ui
