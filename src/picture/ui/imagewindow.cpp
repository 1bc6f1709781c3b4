#include "picture/ui/imagewindow.h"

#include <QApplication>
#include <QImageReader>
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
  // The toolkit's readers (GIF, JPEG, WebP) read the first image of the file. Its size is
  // asked first, so that a small file that claims a huge picture costs no memory.
  QImageReader reader(PathToQt(path));
  const QSize size = reader.size();
  if (!size.isValid() || MayShowPictureOfSize(size.width(), size.height())) {
    QImage image = reader.read();
    if (!image.isNull() && MayShowPictureOfSize(image.width(), image.height())) {
      Image = image.convertToFormat(QImage::Format_RGB32);
      bPictureShown = true;
    }
  }
  QApplication::restoreOverrideCursor();
}

void TImageWindow::ClearPicture() {
  bFileMissing = false;
  bPictureShown = false;
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
