// The layout as a tree of configuration items.
//
// Every node the layout window lists is a ConfigItem: the whole site, the default page and
// its pieces, the pages of settings, the match pages, the directories of the site and their
// pictures. Each item is at the same time a variable array: its variables are what the
// inspector edits, and each kind of item knows where they are stored (a variable file,
// entries of the settings file, or the comment of a JPEG picture).
//
// The tree is built whole from disk by RootConfigItem for the layout home and a site
// directory. Edits only touch the items' variables; files change when SaveTree saves the
// modified items. Deleting an item crosses it out; what it stands for on disk is deleted at
// the next save.
//
// Every item owns its children. A child is made only by its parent's AddChild, which hands
// the child's constructor a ParentLink to the parent and keeps the new item in the
// parent's child list; everything else holds items through plain pointers that are valid as
// long as the tree. The root is owned by whoever made it.
//
// The classes declared here are implemented in three files: config.cpp holds the tree and
// the construction of the tree's items from disk, configstore.cpp what each kind of item
// reads, writes, deletes and renames (Load, Save, Rename), and inspector.cpp the exchange
// with the inspector (ShowInInspector, TakeFromInspector).
#pragma once

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/diagnostics.h"
#include "base/status.h"
#include "files/names.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "picture/preview.h"
#include "site/variable.h"

namespace pix {

class FileItem;
class InspectorModel;
class Trash;
class UserInterface;

/// Icons of the item kinds (bitmap resource ids); kinds that look alike share one.
enum BitmapId : int {
  kBitmapItem = 2001,
  kBitmapFolder = 606,
  kBitmapPage = 607,
  kBitmapMatchPage = 608,
  kBitmapBriefcase = 609,
  kBitmapPalette = 610,
  kBitmapFace = 611,
};

/// What the items built for one tree share while it is built.
struct TreeBuildContext {
  /// Where a picture that vanished since the directory scan is reported; none builds
  /// silently.
  UserInterface* ui = nullptr;
  /// Set once the user has answered Cancel to a "Missing File" box: the rest of the build
  /// reports no more missing pictures.
  bool missing_files_quiet = false;
  /// The names of the site's own files, from the settings; the defaults when not given.
  SiteNames names;
};

/// The names of the variables an item starts with, in order.
using VarNameIds = std::initializer_list<std::string_view>;

/// One node of the layout tree, and the variables it edits.
class ConfigItem : public VariableList {
 public:
  /// The parent of an item under construction. Only AddChild makes one, so an item built
  /// with a parent is always owned by that parent.
  class ParentLink {
   public:
    ConfigItem& Parent() const { return *parent_item_; }

   private:
    friend class ConfigItem;
    explicit ParentLink(ConfigItem& parent) : parent_item_(&parent) {}
    ConfigItem* parent_item_;
  };

  /// Makes a root: an item without a parent, owned by whoever made it, with one empty
  /// variable for each name of `names`, in order. The label must not be empty.
  explicit ConfigItem(std::string_view label, VarNameIds names = {});
  /// Makes an item as above, below `link`'s parent. The parent's AddChild, which made the
  /// link, takes the item into its child list once it is built.
  ConfigItem(ParentLink link, std::string_view label, VarNameIds names = {});
  /// Destroys the children, the last one first.
  virtual ~ConfigItem();
  ConfigItem(const ConfigItem&) = delete;
  ConfigItem& operator=(const ConfigItem&) = delete;

  // The operations every kind of item has.

  /// The resource id of the item's icon.
  virtual int GetBitmapId() const;
  /// True when the item was changed or crossed out, or any item below it was.
  virtual bool IsModified() const;
  /// Stores the item's variables where they belong, or deletes what the item stands for when
  /// it is crossed out. A failure leaves every other store as it was and says what failed.
  virtual Status Save();
  /// True when the item may be crossed out.
  virtual bool CanDelete() const;
  /// True when Open starts something (pictures open in the picture editor).
  virtual bool CanOpen() const;
  /// Opens the item outside the program; items that cannot be opened say so.
  virtual void Open(UserInterface& ui);
  /// Called when the item becomes the selected one; only pictures show something.
  virtual void ShowPreview(PreviewTarget* preview);
  /// Fills the variables from their store (for the items that read it after construction).
  virtual void Load();
  /// True when the item may be renamed.
  virtual bool CanRename() const;
  /// Renames what the item stands for to `newName`; messages go to `ui`. True when done.
  virtual bool Rename(UserInterface& ui, std::string_view new_name);

  // The tree.

  /// Makes an item of class T (a ConfigItem) and appends it to this item's children. T's
  /// constructor gets a ParentLink to this item followed by `args`. This item owns the
  /// child; the returned pointer is valid as long as this item.
  template <class T, class... Args>
  T* AddChild(Args&&... args) {
    static_assert(std::is_base_of_v<ConfigItem, T>, "children are configuration items");
    std::unique_ptr<T> child = std::make_unique<T>(ParentLink(*this), std::forward<Args>(args)...);
    T* observer = child.get();
    children_.push_back(std::move(child));
    return observer;
  }

  /// The item that owns this one; null for a root.
  ConfigItem* GetParentConfigItem() const { return parent_; }
  int ChildCount() const { return static_cast<int>(children_.size()); }
  ConfigItem* Child(int index) const { return children_.at(static_cast<std::size_t>(index)).get(); }
  /// Depth in the tree: 0 for the root.
  int Level() const { return level_; }

  const std::string& Label() const { return label_; }
  /// Replaces the label; it must not be empty.
  void SetLabel(std::string_view label);

  /// The item's own flag (IsModified also looks below it). Cleared once the item has been
  /// saved (SaveTree).
  bool ModifiedFlag() const { return modified_; }
  void SetModified() { modified_ = true; }
  bool IsCrossedOut() const { return crossed_out_; }
  /// False once a crossed-out item has been saved, that is deleted: it is no longer listed.
  bool IsShown() const { return shown_; }

  /// Crosses out the item and everything below it (which also marks them modified).
  void CrossOutTree();
  /// Takes the crossing out back from the item and everything below it.
  void UncrossTree();
  /// True when the item or anything below it is crossed out.
  bool HasCrossedOut() const;

  /// Saves the item's subtree: children first, in order, then the item, each only when it
  /// is modified; a crossed-out item that was deleted is no longer shown. Every item is
  /// tried whatever failed before it, and every item saved is no longer modified, so that
  /// the next save leaves it alone. The failures are reported together in one box on `ui`
  /// (when given) and returned.
  std::vector<Status> SaveTree(UserInterface* ui);

  /// Shows the item's variables in the inspector and its picture in `preview`.
  void ShowInInspector(InspectorModel& inspector, PreviewTarget* preview);
  /// Takes the inspector's edits into the item: when any row was edited, the item's
  /// variables become the rows' variables and the item is modified.
  void TakeFromInspector(const InspectorModel& inspector);
  /// True when the inspector must not let the names of the item's variables change.
  virtual bool NamesAreFixed() const { return false; }
  /// Adds to `paths` the files a save of this item deletes while it is crossed out (those
  /// that exist now or may: the caller looks at each).
  virtual void CollectDeletedFiles(std::vector<std::string>& paths) const;
  /// Where the files of crossed-out items go: the trash set on the tree's root, or none,
  /// which makes deletions permanent.
  Trash* trash() const;
  /// Sets the trash of the tree whose root this item is; `trash` must outlive the tree.
  void SetTrash(Trash* trash) { trash_bin_ = trash; }
  /// The layout home that the tree's root was built for (empty for a tree without one).
  const std::string& layout_home() const;
  /// Sets the layout home of the tree whose root this item is, before any child that reads
  /// the settings is built.
  void SetLayoutHome(std::string layout_home) { layout_home_ = std::move(layout_home); }
  /// The settings file of that layout home; the tree must have one.
  SettingsFile settings() const;

  /// True when the parent's Save stores this item's variables, so that the item counts as
  /// saved only when its parent's save succeeded.
  virtual bool SavedByParent() const { return false; }

  /// The item's row in the layout list; -1 until it is listed.
  int list_box_id = -1;

 protected:
  /// Destroys the children, the last one first.
  void DeleteChildren();

 private:
  ConfigItem* parent_ = nullptr;  // Owns this item (except for a root); outlives it.
  Trash* trash_bin_ = nullptr;     // Set on a root only; not owned.
  std::string layout_home_;        // Set on a root only.
  std::vector<std::unique_ptr<ConfigItem>> children_;
  std::string label_;
  int level_ = 0;
  bool modified_ = false;
  bool crossed_out_ = false;
  bool shown_ = true;
};

/// A variable file of the layout home and the pieces that share it ("Default Page").
class GroupItem : public ConfigItem {
 public:
  GroupItem(ParentLink parent, std::string_view label, std::string var_file_name);
  int GetBitmapId() const override { return kBitmapPage; }
  /// Writes the group's own variables, then those of each piece in tree order.
  Status Save() override;
  /// Reads the variable file.
  void Load() override;
  const std::string& VarFileName() const { return var_file_name_; }

 private:
  std::string var_file_name_;
};

/// A part of a group's variables; what it holds is written by its group.
class PieceItem : public ConfigItem {
 public:
  /// Made by a GroupItem, whose variables named by `names` move into the piece.
  PieceItem(ParentLink group, std::string_view label, VarNameIds names);
  int GetBitmapId() const override { return kBitmapPage; }
  bool SavedByParent() const override { return true; }
  /// Takes the values of its variables out of the group.
  void Load() override;
};

/// One entry of the settings file: a section and a key.
struct IniEntry {
  std::string_view section;
  std::string_view key;
};

/// A page of settings: one variable per entry, named by its key.
class IniSettingsItem : public ConfigItem {
 public:
  IniSettingsItem(ParentLink parent, std::string_view label, const IniEntry* entries,
                   int entry_count);
  int GetBitmapId() const override { return kBitmapBriefcase; }
  /// Writes the value of every entry's variable under the entry's section and key. Only the
  /// entries' own keys are ever written.
  Status Save() override;
  /// Reads every entry into a variable named by its key.
  void Load() override;
  bool NamesAreFixed() const override { return true; }
  int EntryCount() const { return entry_count_; }
  const IniEntry& Entry(int index) const { return entry_array_[index]; }

 private:
  const IniEntry* entry_array_;  // A static table; not owned.
  int entry_count_;
};

/// A page template of its own variable file ("Default Match Page", "Directory Index Pages")
/// and the base of directory items.
class PageItem : public ConfigItem {
 public:
  /// Reads the variable file into the item after the starting variables `names`.
  PageItem(ParentLink parent, std::string_view label, std::string var_file_name,
            VarNameIds names = {});
  int GetBitmapId() const override { return kBitmapPage; }
  /// Writes the variable file, or deletes it when crossed out.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  const std::string& VarFileName() const { return var_file_name_; }

 protected:
  std::string var_file_name_;
};

/// A directory of the site, with its index.txt, its sub-directories and its pictures.
class DirectoryItem : public PageItem {
 public:
  /// Builds the item for the file-list node `dirFileItem` (owned by the root's file list)
  /// and, below it, the items of its sub-directories and pictures.
  DirectoryItem(ParentLink parent, FileItem* dir_file_item, std::string_view label,
                 std::string var_file_name, TreeBuildContext& context);
  int GetBitmapId() const override { return kBitmapFolder; }
  /// Writes index.txt; when crossed out deletes it, the files of the directory as they were
  /// listed, and the directory once it is empty.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  bool CanDelete() const override { return true; }
  bool CanRename() const override { return true; }
  /// Renames the directory; the paths of this item and of every item below follow at once.
  /// Renaming the site directory itself also makes the settings remember the new path.
  bool Rename(UserInterface& ui, std::string_view new_name) override;
  const FileItem* DirFileItem() const { return dir_file_item_; }

 private:
  // Points the variable file paths of this subtree at the file list's current names.
  void FollowFileList();

  FileItem* dir_file_item_;  // Owned by the root's file list, which outlives the tree.
};

/// Stands for a site directory that cannot be used ("No Dir Selected").
class BadDirectoryItem : public ConfigItem {
 public:
  explicit BadDirectoryItem(ParentLink parent);
  int GetBitmapId() const override { return kBitmapFolder; }
};

/// A match page: its variable file in the layout home and its search pattern in the
/// settings.
class MatchItem : public ConfigItem {
 public:
  MatchItem(ParentLink parent, std::string_view label, std::string base_name,
             std::string var_file_name);
  int GetBitmapId() const override { return kBitmapMatchPage; }
  /// Writes the search pattern entry and the variable file, or deletes both when crossed
  /// out. After a rename the names stored under the old base name are moved away.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  bool CanDelete() const override { return true; }
  bool CanRename() const override { return true; }
  /// Gives the match page a new base name; the files follow at the next save.
  bool Rename(UserInterface& ui, std::string_view new_name) override;
  const std::string& VarFileName() const { return var_file_name_; }
  const std::string& BaseName() const { return base_name_; }

 private:
  std::string var_file_name_;
  std::string base_name_;
  // The base name that the settings and the layout home hold now; differs from base_name
  // after a rename until the next save.
  std::string stored_base_name_;
  std::string stored_var_file_name_;
};

/// The whole layout: builds the tree for the layout home and a site directory.
class RootConfigItem : public ConfigItem {
 public:
  /// Builds the tree for the layout home `layout_home` and the site directory `site_dir`
  /// (which may be unusable: the tree then shows "No Dir Selected"). Pictures that vanished
  /// since the scan are reported on `ui` when given.
  RootConfigItem(std::string layout_home, std::string site_dir, UserInterface* ui);
  ~RootConfigItem() override;
  int GetBitmapId() const override { return kBitmapFace; }
  /// Writes the list of match pages that are not crossed out.
  Status Save() override;

  // Items of the tree that the rest of the program looks for; the tree owns them.
  IniSettingsItem* match_pages_item = nullptr;
  DirectoryItem* root_dir_item = nullptr;  // Null when the site directory is unusable.
  PageItem* dir_index_pages_item = nullptr;
  IniSettingsItem* general_settings_item = nullptr;
  GroupItem* default_page_item = nullptr;

  /// The scan of the site directory that the directory and picture items stand for; null
  /// when the site directory is unusable.
  FileItem* SiteFileList() const { return site_file_list_.get(); }

  const std::string& SiteDir() const { return site_dir_; }

 private:
  std::string site_dir_;
  // Items below the root point into the list, so the root destroys them first.
  std::unique_ptr<FileItem> site_file_list_;
  /// What went wrong while the tree was built (a directory that cannot be read).
  CollectedDiagnostics problems_;
};

/// The most characters of the list of match pages that the settings hold and are read.
inline constexpr std::size_t kMatchPageListCapacity = 16384;

/// The label of the match page with base name `baseName`.
std::string MatchPageLabel(std::string_view base_name);

}  // namespace pix
