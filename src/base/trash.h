// The desktop's trash, where deleted files wait until the user empties it.
//
// The layout window deletes the files of crossed-out items. Where the desktop keeps a trash
// (the freedesktop.org Trash of the user's home), they are moved there, so that a deletion
// can be taken back; the desktop program hands the core a Trash that does this through Qt.
// Without one (the command line, tests, a system without a trash) a deletion is permanent,
// and the confirmation that asks for it says so.
#pragma once

#include <string>

#include "base/status.h"

namespace pix {

class Trash {
 public:
  virtual ~Trash() = default;

  /// True when files can be moved to the trash at all; false means a deletion is permanent.
  virtual bool IsAvailable() const = 0;

  /// Moves the file at `path` to the trash. A failure leaves the file where it is and says
  /// why in one line.
  virtual Status MoveToTrash(const std::string& path) = 0;
};

}  // namespace pix
