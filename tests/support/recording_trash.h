// A trash for tests: moves files into a folder of its own and records what it took, or
// stands for a system without a trash, or one that refuses a file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/trash.h"

namespace pix::test {

class RecordingTrash : public Trash {
 public:
  /// Files go into `folder`, which must exist, under their own names.
  explicit RecordingTrash(std::filesystem::path trash_folder) : folder(std::move(trash_folder)) {}

  bool IsAvailable() const override { return available; }
  Status MoveToTrash(const std::string& path) override {
    if (path == refused) return Status::IoError("Cannot move " + path + " to the Trash");
    std::error_code error;
    std::filesystem::rename(path, folder / std::filesystem::path(path).filename(), error);
    if (error) return Status::IoError("Cannot move " + path + ": " + error.message());
    moved.push_back(path);
    return Status::OK();
  }

  std::filesystem::path folder;
  bool available = true;
  std::string refused;              ///< A path the trash will not take.
  std::vector<std::string> moved;   ///< What it took, in order.
};

}  // namespace pix::test
