// The in-memory picture of a directory: a tree of FileItem records, one per file or
// sub-directory, each directory's items kept sorted by name.
//
// Every part of the program that looks at the disk builds such a tree for one task (a
// generation run, the layout tree, the auto-organize analysis, the sample list), walks it
// with NextInTree and destroys it at the end. A tree is read-only once built, except for
// RenameFileItem; it does not follow later changes on the disk.
//
// Names keep the case they have on disk. The sort compares them without regard to case
// (see CompareFileNames). Entries whose names begin with "." are never listed, nor are
// entries that are neither plain files nor directories (devices, pipes, sockets, broken
// links). A symbolic link to a file is listed as that file; a symbolic link to a directory
// is listed as a directory marked as a link (IsDirectoryLink) and is never descended into, so a
// link that points back up the tree cannot make a scan loop. A directory that cannot be
// read is listed without children and reported once to the tree's diagnostics sink.
//
// Listing a directory also marks every GIF that has a JPEG twin beside it (see
// files/picturenames.h), so that the question needs no further look at the disk.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace pix {

class Diagnostics;

class FileItem {
 public:
  /// Builds the tree of `directory`: its own entries always, and with `recurse` the
  /// entries of every directory below it too. A relative path is made absolute against the
  /// current directory and the path is normalised (no "." or ".." parts, no trailing "/").
  /// Fails when the path does not name an existing directory. A directory of the tree that
  /// cannot be read, now or when listed later, is reported to `diagnostics` (when given),
  /// which must outlive the tree.
  /// `without_status`, when given, names the plain files that are listed from their
  /// directory entry alone, without a look at their status (HasStatus is false): files a
  /// task needs only the names of, such as the pages a run writes.
  static Result<std::unique_ptr<FileItem>> CreateRoot(
      std::string_view directory, bool recurse, Diagnostics* diagnostics = nullptr,
      std::function<bool(std::string_view name)> without_status = {});

  /// Destroys every item below this one (without recursion, so that neither a long chain
  /// nor a deep tree can exhaust the stack). Only a root is owned by a caller; items below
  /// it are owned by the tree.
  ~FileItem();
  FileItem(const FileItem&) = delete;
  FileItem& operator=(const FileItem&) = delete;

  /// Full path of the entry, joined with "/".
  const std::string& FullFileName() const { return full_file_name_; }
  /// The part of the full path after its last "/"; empty for the root "/".
  std::string_view FileName() const;
  /// The extension of the name from its last "." on ("2020.05.01 beach.jpg" has ".jpg");
  /// empty when the name has no ".".
  std::string_view Extension() const;
  /// True when the entry's owner may not write it (its permissions as the scan found them);
  /// false for a file listed without its status.
  bool IsReadOnly() const {
    return HasStatus() &&
           (permissions_ & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
  }
  /// False for a plain file listed without a look at its status (see CreateRoot): its size,
  /// times and inode are then 0.
  bool HasStatus() const { return !Has(kNoStatusFlag); }
  /// True for a directory (a symbolic link to one included).
  bool IsDirectoryEntry() const { return Has(kDirectoryFlag); }
  /// True for a symbolic link to a directory: listed as a directory, never descended into.
  bool IsDirectoryLink() const { return Has(kDirectoryLinkFlag); }
  /// True for a ".gif" file beside a ".jpg" or ".jpeg" file of the same name, in any case.
  bool IsJpegTwin() const { return Has(kJpegTwinFlag); }
  /// True for a picture the site leaves out because another file already has its page or
  /// inline image (set by SettlePictureNames, files/picturenames.h).
  bool IsLeftOut() const { return Has(kLeftOutFlag); }
  /// True for a folder named like the inline image folder that holds the user's own files
  /// (set by SettleInlineFolders, files/picturenames.h).
  bool IsUserFolder() const { return Has(kUserFolderFlag); }
  /// True for a directory whose pictures get no inline images, because a user's folder
  /// takes the very name they would be written to.
  bool HasNoInlineFolder() const { return Has(kNoInlineFolderFlag); }
  /// Marks the picture as left out: with MarkUserInlineFolder, the only changes a built
  /// tree takes besides a rename.
  void MarkLeftOut() { flags_ |= kLeftOutFlag; }
  /// Marks a folder as the user's though it is named like the inline image folder, and,
  /// when it takes the very name inline images would be written to, its directory as one
  /// whose pictures get no inline images.
  void MarkUserInlineFolder(bool takes_the_name) {
    flags_ |= kUserFolderFlag;
    if (takes_the_name && parent_ != nullptr) parent_->flags_ |= kNoInlineFolderFlag;
  }
  /// Size in bytes. A directory holds the sizes of every item listed into it, so a fully
  /// scanned directory holds the total size of all files below it (a directory entry
  /// itself counts as 0).
  std::uint64_t Size() const { return size_; }
  /// The time the file was last written, in nanoseconds since 1970, as the scan found it
  /// (through a link: the linked file's); 0 for directories.
  std::int64_t WriteTimeNs() const { return write_time_ns_; }
  /// The time the file's status last changed (every write, rename and change of mode does
  /// it, and no program can set it back), and its inode; 0 for directories.
  std::int64_t ChangeTimeNs() const { return change_time_ns_; }
  std::uint64_t Inode() const { return inode_; }

  /// The directory that lists this item; none for the root.
  const FileItem* Parent() const { return parent_; }
  FileItem* Parent() { return parent_; }
  /// The next item of the same directory in sort order; none for the last.
  const FileItem* NextItem() const { return next_item_; }
  FileItem* NextItem() { return next_item_; }
  /// The first item of a directory in sort order; none for files, for empty or unreadable
  /// directories and for directories that were not scanned.
  const FileItem* FirstChild() const { return first_child_; }
  FileItem* FirstChild() { return first_child_; }

  /// On a root: the temporary files of this program (see IsLeftoverTemporaryName) that the
  /// listing came across, which an interrupted run may have left.
  const std::vector<std::string>& LeftoverTemporaries() const;
  /// On a root: hands over the temporary files noted so far and forgets them, for a walk
  /// that lists the tree folder by folder and deals with them as it goes.
  std::vector<std::string> TakeLeftoverTemporaries();

  /// Destroys the items listed into this directory once a task is done with them, so that
  /// a walk that lists and leaves one folder at a time holds only the folders it is in.
  /// The directory keeps its size and stays listed: ScanDirectory does not list it again.
  void ForgetChildren();

 private:
  // `directory` and `link` as the entry's status says; the permissions from its mode.
  FileItem(FileItem* parent, std::string full_file_name, bool directory, bool link, mode_t mode,
            std::uint64_t size);

  // Takes `fullFileName` as the full name and finds its name part and extension.
  void SetFullFileName(std::string full_file_name);
  // Takes the times and inode of a file from its status.
  void SetFileStatus(const struct stat& info);
  // Destroys every item below this one, from the leaves, without recursion.
  void DestroyChildren();
  // Reads the directory's entries into a sorted chain of children (once).
  void ListEntries();
  // Adds `size` to this item and to every directory above it.
  void AddSize(std::uint64_t size);
  // Marks the GIF files among a directory's new items that have a JPEG twin.
  static void MarkJpegTwins(std::vector<std::unique_ptr<FileItem>>& items);
  // Adds a temporary file of this program found while listing to the root's list.
  void NoteLeftoverTemporary(std::string path);
  // Reports a problem of this item to the sink the root was given.
  void ReportProblem(const std::string& text) const;

  friend FileItem* ScanDirectory(FileItem& item, bool recurse);
  friend Status RenameFileItem(FileItem& item, std::string_view new_name);
  friend void RefreshFileSize(FileItem& item);

  std::string full_file_name_;
  std::size_t name_start_ = 0;  // Index of the name part in FullFileName_.
  std::size_t ext_start_ = 0;   // Index of the extension; FullFileName_.size() for none.
  // What the scan and the settling of names found out about the entry, a bit each.
  enum Flag : std::uint8_t {
    kDirectoryFlag = 1 << 0,
    kDirectoryLinkFlag = 1 << 1,
    kJpegTwinFlag = 1 << 2,
    kLeftOutFlag = 1 << 3,
    kUserFolderFlag = 1 << 4,
    kNoInlineFolderFlag = 1 << 5,
    kNoStatusFlag = 1 << 6,
  };
  bool Has(Flag flag) const { return (flags_ & flag) != 0; }

  std::uint8_t flags_ = 0;
  std::filesystem::perms permissions_ = std::filesystem::perms::none;
  bool listed_ = false;  // The directory has been listed (even if it could not be read).
  std::uint64_t size_ = 0;
  std::int64_t write_time_ns_ = 0;
  std::int64_t change_time_ns_ = 0;
  std::uint64_t inode_ = 0;
  FileItem* parent_ = nullptr;      // Owns this item (through its chain); outlives it.
  FileItem* next_item_ = nullptr;    // Owned by this item's parent, like every chain item.
  FileItem* first_child_ = nullptr;  // Owned: this item destroys the whole chain below it.
  // What only the root keeps, so that the many other items do not carry it.
  struct RootData {
    Diagnostics* diagnostics = nullptr;  // Not owned.
    std::function<bool(std::string_view name)> without_status;
    std::vector<std::string> leftover_temporaries;
  };
  RootData& Root() const;
  std::unique_ptr<RootData> root_;  // On the root only.
};

/// Lists the directory of `item` into child items (and with `recurse` every directory
/// below it that has not been listed yet) and returns the first child. A directory is
/// listed only once; files and linked directories get no children. The sizes of the new
/// items are added to `item` and to every directory above it.
FileItem* ScanDirectory(FileItem& item, bool recurse);

/// True when the item is a directory (a symbolic link to one included).
inline bool IsDirectory(const FileItem& item) { return item.IsDirectoryEntry(); }

/// The next item after `item` in a pre-order walk of its tree (every directory before its
/// contents, each directory's items in sort order), or none after the last. Callers start
/// at the root's FirstChild. Needs no stack and allocates nothing.
const FileItem* NextInTree(const FileItem& item);
FileItem* NextInTree(FileItem& item);

/// The file named exactly `name` in the directory of `item`, when `name` sorts after the
/// item's own name (see CompareFileNames): found by walking on from `item` through the
/// names that sort between the two, which for a picture and its companions ("IMG_1.jpg",
/// "IMG_1.txt") are a few. Null when the directory lists no such entry, and for a name
/// that does not sort after the item's (whose answer this walk cannot give).
const FileItem* FindLaterSibling(const FileItem& item, std::string_view name);

/// Like NextInTree, but the walk stays inside the subtree of `top`: none once every item
/// below `top` has been visited.
const FileItem* NextInSubtree(const FileItem& item, const FileItem& top);

/// Renames the item's file or directory on disk to `new_name` in the same directory,
/// never replacing an existing entry. On success the item takes the new name (in the case
/// given) and keeps its place in its directory's chain; the full names of everything below
/// a renamed directory follow. On failure the item is unchanged. A new name that is empty,
/// ".", "..", or holds "/" or NUL is refused.
Status RenameFileItem(FileItem& item, std::string_view new_name);

/// Reads the size and write time of a file item again after the program itself rewrote the
/// file; the directories above it follow. A file that is gone keeps its old size.
void RefreshFileSize(FileItem& item);

/// Renames `from` to `to` atomically and fails with Status::Exists when `to` exists. Where
/// the file system cannot rename without replacing, a file is hard-linked to its new name
/// and then unlinked from the old one.
Status RenameWithoutReplacing(const std::string& from, const std::string& to);

/// The order of names in a directory: letters a to z are mapped onto A to Z and the names
/// are compared byte by byte as signed characters; the first difference decides and a
/// prefix comes first. So the underscore sorts after every letter, and a byte above 127
/// before every ASCII character. Returns a negative number, zero or a positive number.
int CompareFileNames(std::string_view a, std::string_view b);

/// Installs a handler for exhausted memory: it writes a clear message to the diagnostic
/// stream and ends the program with exit code 1, instead of letting an allocation fail
/// somewhere deep in a scan or a run. The program's entry points call this first.
void InstallOutOfMemoryHandler();

namespace detail {
/// The fallback of RenameWithoutReplacing for file systems that cannot rename without
/// replacing; public so that it can be tested on any file system.
Status RenameByLinking(const std::string& from, const std::string& to);
}  // namespace detail

}  // namespace pix
