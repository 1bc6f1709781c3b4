// The preview window of the layout window: the inline image of the selected picture, fitted
// into the window at its top left corner and never enlarged, the rest in the base colour of
// the palette (white in a light theme).
//
// It shows one of four things: the picture; a framed area with the hint
// "Click on "Generate Site" to see preview." when the inline image does not exist yet; a
// framed area with the hint "Select a picture to see its preview." when nothing is shown
// (no picture selected); or a framed area alone (a file that cannot be loaded). Colours come
// from the palette: the area in Base, the frame and the hints in Text.
#pragma once

#include <QImage>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>

#include "picture/preview.h"

namespace pix::ui {

/// The hint shown for a picture whose inline image has not been generated.
inline constexpr const char* kGeneratePreviewHint = "Click on \"Generate Site\" to see preview.";
/// The hint shown when no picture is selected.
inline constexpr const char* kSelectPictureHint = "Select a picture to see its preview.";

class ImageWindow : public QWidget, public PreviewTarget {
  Q_OBJECT

 public:
  explicit ImageWindow(QWidget* parent, const QString& title = QStringLiteral("Image Window"));
  ~ImageWindow() override;

  /// Shows the file at `path`: the picture when it loads, the hint when it does not exist,
  /// a blank area when it cannot be loaded.
  void SetPicture(const std::filesystem::path& path) override;
  /// Forgets the picture and the path and shows the hint to select a picture.
  void ClearPicture() override;

  bool PictureShown() const { return picture_shown_; }
  bool FileMissing() const { return file_missing_; }
  /// The hint the window shows now; empty when it shows a picture or a blank area.
  QString Hint() const;
  /// The picture as read, before it is fitted; null when none is shown.
  const QImage& Picture() const { return image_; }
  /// Where the picture is drawn in the current client area (empty when none is shown).
  QRect PictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Load(const std::filesystem::path& path);

  QImage image_;  // The loaded bitmap as the toolkit draws it; null without a picture.
  bool file_missing_ = false;
  bool picture_shown_ = false;
  std::optional<std::filesystem::path> file_name_;
};

}  // namespace pix::ui
