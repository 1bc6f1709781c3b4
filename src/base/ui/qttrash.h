// The freedesktop.org Trash through Qt (QFile::moveToTrash).
#pragma once

#include "base/trash.h"

namespace pix::ui {

class QtTrash : public Trash {
 public:
  /// True when the user's trash folder exists or can be made.
  bool IsAvailable() const override;
  Status MoveToTrash(const std::string& path) override;
};

}  // namespace pix::ui
