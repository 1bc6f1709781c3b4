// A trash for tests: moves files into a folder of its own and records what it took, or
// stands for a system without a trash, or one that refuses a file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/trash.h"

namespace pix::test {

class TRecordingTrash : public Trash {
 public:
  /// Files go into `folder`, which must exist, under their own names.
  explicit TRecordingTrash(std::filesystem::path folder) : Folder(std::move(folder)) {}

  bool IsAvailable() const override { return bAvailable; }
  Status MoveToTrash(const std::string& path) override {
    if (path == Refused) return Status::IoError("Cannot move " + path + " to the Trash");
    std::error_code error;
    std::filesystem::rename(path, Folder / std::filesystem::path(path).filename(), error);
    if (error) return Status::IoError("Cannot move " + path + ": " + error.message());
    Moved.push_back(path);
    return Status::OK();
  }

  std::filesystem::path Folder;
  bool bAvailable = true;
  std::string Refused;              ///< A path the trash will not take.
  std::vector<std::string> Moved;   ///< What it took, in order.
};

}  // namespace pix::test
