#include "files/filelist.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <unordered_set>
#include <vector>

#include "base/diagnostics.h"
#include "base/filetime.h"
#include "base/safefile.h"
#include "files/picturenames.h"
#include "files/statmany.h"
#include "files/utils.h"

namespace pix {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// A name's byte as the sort compares it: ASCII letters in upper case.
signed char FoldedByte(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return static_cast<signed char>(c);
}

// The sort order of a directory's items. Names that compare equal without regard to case
// (B.jpg and b.jpg) are ordered by their bytes, so that a tree never depends on the order
// in which the file system happens to list a directory.
bool SortsBefore(const std::unique_ptr<FileItem>& a, const std::unique_ptr<FileItem>& b) {
  const int order = CompareFileNames(a->FileName(), b->FileName());
  return order != 0 ? order < 0 : a->FileName() < b->FileName();
}

// The walk shared by NextInTree and NextInSubtree; `top` may be none (the whole tree).
const FileItem* NextBelow(const FileItem& item, const FileItem* top) {
  if (item.FirstChild() != nullptr) return item.FirstChild();
  for (const FileItem* climb = &item; climb != nullptr && climb != top; climb = climb->Parent()) {
    if (climb->NextItem() != nullptr) return climb->NextItem();
  }
  return nullptr;
}

Status RenameError(int error, const std::string& from, const std::string& to) {
  const std::string what = "Cannot rename " + from + " to " + to + ": ";
  if (error == EEXIST || error == ENOTEMPTY) {
    return Status::Exists(what + to + " already exists");
  }
  if (error == ENOENT) return Status::NotFound(what + std::strerror(error));
  return Status::IoError(what + std::strerror(error));
}

bool ExistsWithoutFollowing(const std::string& path, int* error) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0) return true;
  *error = errno;
  return false;
}

[[noreturn]] void OutOfMemory() {
  // Nothing here may allocate: the message is written straight to the diagnostic stream.
  static const char kMessage[] = "pixamond: out of memory; the program cannot go on and ends.\n";
  std::fflush(nullptr);
  const ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  static_cast<void>(written);
  std::_Exit(1);
}

}  // namespace

// Marks the GIF files whose name, without its extension and compared without regard to
// case, is also the name of a JPEG file of the same directory.
void FileItem::MarkJpegTwins(std::vector<std::unique_ptr<FileItem>>& items) {
  std::vector<std::string_view> names;
  std::vector<FileItem*> files;
  for (const auto& item : items) {
    if (IsDirectory(*item)) continue;
    names.push_back(item->FileName());
    files.push_back(item.get());
  }
  const std::vector<bool> twins = FindJpegTwins(names);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (twins[i]) files[i]->flags_ |= kJpegTwinFlag;
  }
}

// --- Construction and destruction -----------------------------------------------------

FileItem::FileItem(FileItem* parent, std::string full_file_name, bool directory, bool link,
                     mode_t mode, std::uint64_t size)
    : flags_(static_cast<std::uint8_t>((directory ? kDirectoryFlag : 0) |
                                       (link ? kDirectoryLinkFlag : 0))),
      permissions_(static_cast<std::filesystem::perms>(mode & 07777)),
      size_(size),
      parent_(parent) {
  SetFullFileName(std::move(full_file_name));
}

Result<std::unique_ptr<FileItem>> FileItem::CreateRoot(
    std::string_view directory, bool recurse, Diagnostics* diagnostics,
    std::function<bool(std::string_view name)> without_status) {
  const std::string given(directory);
  if (given.empty() || given.find('\0') != std::string::npos) {
    return Status::InvalidArgument("\"" + given + "\" is not a directory name");
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(given, error);
  if (error) return Status::IoError("Cannot find the directory " + given + ": " + error.message());
  std::string full = absolute.lexically_normal().string();
  while (full.size() > 1 && full.back() == '/') full.pop_back();

  struct stat info;
  if (::stat(full.c_str(), &info) != 0) {
    return Status::NotFound("Cannot open the directory " + full + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(info.st_mode)) return Status::InvalidArgument(full + " is not a directory");
  std::unique_ptr<FileItem> root(
      new FileItem(nullptr, std::move(full), true, false, info.st_mode, 0));
  root->root_ = std::make_unique<RootData>();
  root->root_->diagnostics = diagnostics;
  root->root_->without_status = std::move(without_status);
  ScanDirectory(*root, recurse);
  return Result<std::unique_ptr<FileItem>>(std::move(root));
}

FileItem::~FileItem() { DestroyChildren(); }

void FileItem::ForgetChildren() { DestroyChildren(); }

void FileItem::DestroyChildren() {
  // Tear the tree down from its leaves: descend along first children to an item without
  // children, delete it (its parent's chain then starts at its next item) and go on with
  // the next item, or climb to the parent once its chain is empty. Every deleted item has
  // no children left, so no destructor below this one does any work of its own.
  FileItem* item = first_child_;
  while (item != nullptr) {
    if (item->first_child_ != nullptr) {
      item = item->first_child_;
      continue;
    }
    FileItem* const parent = item->parent_;
    FileItem* const next = item->next_item_;
    parent->first_child_ = next;
    delete item;
    item = next != nullptr ? next : (parent == this ? nullptr : parent);
  }
}

void FileItem::SetFullFileName(std::string full_file_name) {
  full_file_name_ = std::move(full_file_name);
  const std::size_t slash = full_file_name_.rfind('/');
  name_start_ = slash == std::string::npos ? 0 : slash + 1;
  ext_start_ = full_file_name_.rfind('.');
  if (ext_start_ == std::string::npos || ext_start_ < name_start_) ext_start_ = full_file_name_.size();
}

std::string_view FileItem::FileName() const {
  return std::string_view(full_file_name_).substr(name_start_);
}

std::string_view FileItem::Extension() const {
  return std::string_view(full_file_name_).substr(ext_start_);
}

void FileItem::AddSize(std::uint64_t size) {
  for (FileItem* item = this; item != nullptr; item = item->parent_) item->size_ += size;
}

// --- Scanning ---------------------------------------------------------------------------

void FileItem::ListEntries() {
  if (listed_ || !IsDirectory(*this) || IsDirectoryLink()) return;
  listed_ = true;

  std::unique_ptr<DIR, DirCloser> dir(::opendir(full_file_name_.c_str()));
  if (!dir) {
    ReportProblem("Cannot read the directory " + full_file_name_ + ": " + std::strerror(errno) +
                  "; its pictures are left out.");
    return;
  }
  const int dir_fd = ::dirfd(dir.get());
  const std::string prefix = full_file_name_.back() == '/' ? full_file_name_ : full_file_name_ + "/";

  const std::function<bool(std::string_view)>& without_status = Root().without_status;
  std::vector<std::unique_ptr<FileItem>> items;
  std::vector<std::string> looked_at;  // The entries whose status is read.
  std::uint64_t total = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        ReportProblem("Cannot read all of the directory " + full_file_name_ + ": " +
                      std::strerror(errno));
      }
      break;
    }
    if (entry->d_name[0] == '.') {  // ".", ".." and hidden entries.
      // What an interrupted write of this program left behind is noted for the run.
      if (IsLeftoverTemporaryName(entry->d_name)) NoteLeftoverTemporary(prefix + entry->d_name);
      continue;
    }

    if (entry->d_type == DT_REG && without_status && without_status(entry->d_name)) {
      items.emplace_back(new FileItem(this, prefix + entry->d_name, false, false, 0, 0));
      items.back()->flags_ |= kNoStatusFlag;
      continue;
    }
    looked_at.emplace_back(entry->d_name);
  }
  // The statuses of the folder's entries, asked for all at once.
  const std::vector<PathStatus> statuses = LinkStatusOfMany(dir_fd, looked_at);
  for (std::size_t i = 0; i < looked_at.size(); ++i) {
    const std::string& name = looked_at[i];
    if (statuses[i].error != 0) continue;  // Gone.
    struct stat info = statuses[i].info;
    bool link = false;
    if (S_ISLNK(info.st_mode)) {
      if (::fstatat(dir_fd, name.c_str(), &info, 0) != 0) continue;  // A broken link.
      link = S_ISDIR(info.st_mode);
    }
    const bool directory = S_ISDIR(info.st_mode);
    // Devices, pipes and sockets hold no pictures, and reading one can hang.
    if (!directory && !S_ISREG(info.st_mode)) continue;
    const std::uint64_t size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    total += size;
    items.emplace_back(new FileItem(this, prefix + name, directory, link, info.st_mode, size));
    if (S_ISREG(info.st_mode)) items.back()->SetFileStatus(info);
  }

  std::sort(items.begin(), items.end(), SortsBefore);
  MarkJpegTwins(items);
  FileItem* next = nullptr;
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    (*it)->next_item_ = next;
    next = it->release();
  }
  first_child_ = next;
  AddSize(total);
}

FileItem::RootData& FileItem::Root() const {
  const FileItem* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return *root->root_;
}

const std::vector<std::string>& FileItem::LeftoverTemporaries() const {
  return Root().leftover_temporaries;
}

std::vector<std::string> FileItem::TakeLeftoverTemporaries() {
  return std::move(Root().leftover_temporaries);
}

void FileItem::NoteLeftoverTemporary(std::string path) {
  Root().leftover_temporaries.push_back(std::move(path));
}

void FileItem::ReportProblem(const std::string& text) const {
  if (Root().diagnostics != nullptr) Root().diagnostics->Problem(text);
}

FileItem* ScanDirectory(FileItem& item, bool recurse) {
  item.ListEntries();
  if (recurse) {
    // Every directory is listed when the walk reaches it, and the walk then goes on into
    // the items just listed: the whole subtree is scanned without recursion.
    for (FileItem* below = item.first_child_; below != nullptr;
         below = const_cast<FileItem*>(NextInSubtree(*below, item))) {
      below->ListEntries();
    }
  }
  return item.first_child_;
}


const FileItem* NextInTree(const FileItem& item) { return NextBelow(item, nullptr); }

FileItem* NextInTree(FileItem& item) { return const_cast<FileItem*>(NextBelow(item, nullptr)); }

const FileItem* NextInSubtree(const FileItem& item, const FileItem& top) {
  return NextBelow(item, &top);
}

int CompareFileNames(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const signed char left = FoldedByte(a[i]);
    const signed char right = FoldedByte(b[i]);
    if (left != right) return left < right ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

const FileItem* FindLaterSibling(const FileItem& item, std::string_view name) {
  if (CompareFileNames(name, item.FileName()) <= 0) return nullptr;
  for (const FileItem* next = item.NextItem(); next != nullptr; next = next->NextItem()) {
    const int order = CompareFileNames(next->FileName(), name);
    if (order > 0) break;
    if (order == 0 && next->FileName() == name) return next;
  }
  return nullptr;
}

void FileItem::SetFileStatus(const struct stat& info) {
  write_time_ns_ = TimeNs(info.st_mtim);
  change_time_ns_ = TimeNs(info.st_ctim);
  inode_ = static_cast<std::uint64_t>(info.st_ino);
}

void RefreshFileSize(FileItem& item) {
  struct stat info;
  if (IsDirectory(item) || ::stat(item.full_file_name_.c_str(), &info) != 0) return;
  const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
  item.SetFileStatus(info);
  // Unsigned arithmetic wraps, so adding the difference works both ways.
  item.AddSize(size - item.size_);
}

// --- Renaming ---------------------------------------------------------------------------

Status RenameFileItem(FileItem& item, std::string_view requested_name) {
  const std::string new_name(requested_name);
  if (new_name.empty() || new_name == "." || new_name == ".." ||
      new_name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
    return Status::InvalidArgument("\"" + new_name + "\" is not a usable name");
  }
  if (new_name.front() == '.') {
    return Status::InvalidArgument("\"" + new_name +
                                   "\" begins with \".\", which would hide it from the site");
  }
  if (item.FileName().empty()) {
    return Status::InvalidArgument("The root directory cannot be renamed");
  }
  const std::string old_full = item.full_file_name_;
  std::string new_full = old_full.substr(0, item.name_start_) + new_name;
  if (new_full == old_full) return Status::OK();

  const Status renamed = RenameWithoutReplacing(old_full, new_full);
  if (!renamed.ok()) return renamed;

  item.SetFullFileName(new_full);
  // Everything below a renamed directory now lives under the new name.
  for (FileItem* below = item.first_child_; below != nullptr;
       below = const_cast<FileItem*>(NextInSubtree(*below, item))) {
    below->SetFullFileName(new_full + below->full_file_name_.substr(old_full.size()));
  }
  return Status::OK();
}

Status RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Status::OK();
  }
  const int error = errno;
  // EINVAL and ENOSYS: this file system or kernel cannot rename without replacing.
  if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
    return detail::RenameByLinking(from, to);
  }
  return RenameError(error, from, to);
}

namespace detail {

Status RenameByLinking(const std::string& from, const std::string& to) {
  struct stat info;
  if (::lstat(from.c_str(), &info) != 0) return RenameError(errno, from, to);
  if (!S_ISDIR(info.st_mode)) {
    // link() never replaces an existing name, so the file cannot overwrite one.
    if (::link(from.c_str(), to.c_str()) == 0) {
      if (::unlink(from.c_str()) == 0) return Status::OK();
      const int error = errno;
      ::unlink(to.c_str());  // Undo: the file keeps only its old name.
      return RenameError(error, from, to);
    }
    const int error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != EMLINK) {
      return RenameError(error, from, to);
    }
  }
  // Directories cannot be hard-linked, nor can anything on a file system without hard
  // links: look for the new name first, then rename. rename() of a directory can only
  // replace an empty directory, so for a directory the short window between the look and
  // the rename cannot lose a file; for a file on such a file system no better means exist.
  int error = 0;
  if (ExistsWithoutFollowing(to, &error)) return RenameError(EEXIST, from, to);
  if (error != ENOENT) return RenameError(error, from, to);
  if (::rename(from.c_str(), to.c_str()) == 0) return Status::OK();
  return RenameError(errno, from, to);
}

}  // namespace detail

void InstallOutOfMemoryHandler() { std::set_new_handler(OutOfMemory); }

}  // namespace pix
