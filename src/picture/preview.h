// Where the layout window shows a selected picture's inline image.
#pragma once

#include <filesystem>

namespace pix {

/// Where a selected picture's inline image is shown. The desktop program's preview window
/// implements it; the layout model only says which file to show.
class PreviewTarget {
 public:
  virtual ~PreviewTarget() = default;
  /// Shows the picture file at `path` (the window explains when it does not exist).
  virtual void SetPicture(const std::filesystem::path& path) = 0;
  /// Shows nothing.
  virtual void ClearPicture() = 0;
};

}  // namespace pix
