// The pictures of one directory as a grid of thumbnails. A thumbnail comes from the
// picture's inline image when a run has made one, and is decoded from the picture itself
// otherwise; either way on a thread of its own, so that a large directory fills in while the
// window goes on. Choosing a thumbnail (click, arrow keys) tells the window, which selects
// the picture in the tree; the tree's selection is shown here in turn.
#pragma once

#include <QListWidget>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace pix::ui {

class PictureGrid : public QListWidget {
  Q_OBJECT

 public:
  /// One picture: its file and where its inline image would be.
  struct Entry {
    std::filesystem::path picture;
    std::filesystem::path inline_image;
  };

  explicit PictureGrid(QWidget* parent);
  ~PictureGrid() override;

  /// Shows `pictures` (replacing what was shown, unless they are the same) with `current`
  /// selected (none when empty), and starts decoding their thumbnails.
  void ShowPictures(const std::vector<Entry>& pictures, const std::filesystem::path& current);
  /// Selects the thumbnail of `picture` without telling the window.
  void SetCurrentPicture(const std::filesystem::path& picture);
  /// The thumbnails made so far.
  int ThumbnailsShown() const { return thumbnails_shown_; }
  /// The edge of a thumbnail's square, in pixels.
  static constexpr int kThumbnailSize = 112;

 signals:
  /// The user chose the picture at `picture`.
  void PictureChosen(const QString& picture);
  /// A thumbnail was decoded and shown.
  void ThumbnailShown();

 private:
  void StopDecoding();
  void Shown(unsigned generation, int row, const QImage& image);

  std::vector<Entry> entries_;
  std::thread decoder_;
  std::atomic<unsigned> generation_{0};
  int thumbnails_shown_ = 0;
};

}  // namespace pix::ui
