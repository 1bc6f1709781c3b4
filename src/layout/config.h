// The layout as a tree of configuration items.
//
// Every node the layout window lists is a TConfigItem: the whole site, the default page and
// its pieces, the pages of settings, the match pages, the directories of the site and their
// pictures. Each item is at the same time a variable array: its variables are what the
// inspector edits, and each kind of item knows where they are stored (a variable file,
// entries of the settings file, or the comment of a JPEG picture).
//
// The tree is built whole from disk by TRootConfigItem for the layout home and a site
// directory. Edits only touch the items' variables; files change when SaveTree saves the
// modified items. Deleting an item crosses it out; what it stands for on disk is deleted at
// the next save.
//
// Every item owns its children. A child is made only by its parent's AddChild, which hands
// the child's constructor a TParentLink to the parent and keeps the new item in the
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
#include "picture/preview.h"
#include "site/variable.h"

namespace pix {

class FileItem;
class TObjInspectModel;
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
struct TTreeBuildContext {
  /// Where a picture that vanished since the directory scan is reported; none builds
  /// silently.
  UserInterface* Ui = nullptr;
  /// Set once the user has answered Cancel to a "Missing File" box: the rest of the build
  /// reports no more missing pictures.
  bool bMissingFilesQuiet = false;
  /// The names of the site's own files, from the settings; the defaults when not given.
  SiteNames Names;
};

/// The names of the variables an item starts with, in order.
using TVarNameIds = std::initializer_list<std::string_view>;

/// One node of the layout tree, and the variables it edits.
class TConfigItem : public VariableList {
 public:
  /// The parent of an item under construction. Only AddChild makes one, so an item built
  /// with a parent is always owned by that parent.
  class TParentLink {
   public:
    TConfigItem& Parent() const { return *ParentItem; }

   private:
    friend class TConfigItem;
    explicit TParentLink(TConfigItem& parent) : ParentItem(&parent) {}
    TConfigItem* ParentItem;
  };

  /// Makes a root: an item without a parent, owned by whoever made it, with one empty
  /// variable for each name of `names`, in order. The label must not be empty.
  explicit TConfigItem(std::string_view label, TVarNameIds names = {});
  /// Makes an item as above, below `link`'s parent. The parent's AddChild, which made the
  /// link, takes the item into its child list once it is built.
  TConfigItem(TParentLink link, std::string_view label, TVarNameIds names = {});
  /// Destroys the children, the last one first.
  virtual ~TConfigItem();
  TConfigItem(const TConfigItem&) = delete;
  TConfigItem& operator=(const TConfigItem&) = delete;

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
  virtual bool Rename(UserInterface& ui, std::string_view newName);

  // The tree.

  /// Makes an item of class T (a TConfigItem) and appends it to this item's children. T's
  /// constructor gets a TParentLink to this item followed by `args`. This item owns the
  /// child; the returned pointer is valid as long as this item.
  template <class T, class... Args>
  T* AddChild(Args&&... args) {
    static_assert(std::is_base_of_v<TConfigItem, T>, "children are configuration items");
    std::unique_ptr<T> child = std::make_unique<T>(TParentLink(*this), std::forward<Args>(args)...);
    T* observer = child.get();
    ppChild.push_back(std::move(child));
    return observer;
  }

  /// The item that owns this one; null for a root.
  TConfigItem* GetParentConfigItem() const { return Parent; }
  int ChildCount() const { return static_cast<int>(ppChild.size()); }
  TConfigItem* Child(int index) const { return ppChild.at(static_cast<std::size_t>(index)).get(); }
  /// Depth in the tree: 0 for the root.
  int Level() const { return LevelValue; }

  const std::string& Label() const { return szLabel; }
  /// Replaces the label; it must not be empty.
  void SetLabel(std::string_view label);

  /// The item's own flag (IsModified also looks below it). Cleared once the item has been
  /// saved (SaveTree).
  bool ModifiedFlag() const { return Modified; }
  void SetModified() { Modified = true; }
  bool IsCrossedOut() const { return CrossedOut; }
  /// False once a crossed-out item has been saved, that is deleted: it is no longer listed.
  bool IsShown() const { return Shown; }

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
  void ShowInInspector(TObjInspectModel& inspector, PreviewTarget* preview);
  /// Takes the inspector's edits into the item: when any row was edited, the item's
  /// variables become the rows' variables and the item is modified.
  void TakeFromInspector(const TObjInspectModel& inspector);
  /// True when the inspector must not let the names of the item's variables change.
  virtual bool NamesAreFixed() const { return false; }
  /// Adds to `paths` the files a save of this item deletes while it is crossed out (those
  /// that exist now or may: the caller looks at each).
  virtual void CollectDeletedFiles(std::vector<std::string>& paths) const;
  /// Where the files of crossed-out items go: the trash set on the tree's root, or none,
  /// which makes deletions permanent.
  Trash* trash() const;
  /// Sets the trash of the tree whose root this item is; `trash` must outlive the tree.
  void SetTrash(Trash* trash) { TrashBin = trash; }

  /// True when the parent's Save stores this item's variables, so that the item counts as
  /// saved only when its parent's save succeeded.
  virtual bool SavedByParent() const { return false; }

  /// The item's row in the layout list; -1 until it is listed.
  int ListBoxID = -1;

 protected:
  /// Destroys the children, the last one first.
  void DeleteChildren();

 private:
  TConfigItem* Parent = nullptr;  // Owns this item (except for a root); outlives it.
  Trash* TrashBin = nullptr;     // Set on a root only; not owned.
  std::vector<std::unique_ptr<TConfigItem>> ppChild;
  std::string szLabel;
  int LevelValue = 0;
  bool Modified = false;
  bool CrossedOut = false;
  bool Shown = true;
};

/// A variable file of the layout home and the pieces that share it ("Default Page").
class TGroupItem : public TConfigItem {
 public:
  TGroupItem(TParentLink parent, std::string_view label, std::string szVarFileName);
  int GetBitmapId() const override { return kBitmapPage; }
  /// Writes the group's own variables, then those of each piece in tree order.
  Status Save() override;
  /// Reads the variable file.
  void Load() override;
  const std::string& VarFileName() const { return szVarFileName; }

 private:
  std::string szVarFileName;
};

/// A part of a group's variables; what it holds is written by its group.
class TPieceItem : public TConfigItem {
 public:
  /// Made by a TGroupItem, whose variables named by `names` move into the piece.
  TPieceItem(TParentLink group, std::string_view label, TVarNameIds names);
  int GetBitmapId() const override { return kBitmapPage; }
  bool SavedByParent() const override { return true; }
  /// Takes the values of its variables out of the group.
  void Load() override;
};

/// One entry of the settings file: a section and a key.
struct TIniEntry {
  std::string_view Section;
  std::string_view Key;
};

/// A page of settings: one variable per entry, named by its key.
class TIniSettingsItem : public TConfigItem {
 public:
  TIniSettingsItem(TParentLink parent, std::string_view label, const TIniEntry* entries,
                   int entryCount);
  int GetBitmapId() const override { return kBitmapBriefcase; }
  /// Writes the value of every entry's variable under the entry's section and key. Only the
  /// entries' own keys are ever written.
  Status Save() override;
  /// Reads every entry into a variable named by its key.
  void Load() override;
  bool NamesAreFixed() const override { return true; }
  int EntryCount() const { return EntryCountValue; }

 private:
  const TIniEntry* EntryArray;  // A static table; not owned.
  int EntryCountValue;
};

/// A page template of its own variable file ("Default Match Page", "Directory Index Pages")
/// and the base of directory items.
class TPageItem : public TConfigItem {
 public:
  /// Reads the variable file into the item after the starting variables `names`.
  TPageItem(TParentLink parent, std::string_view label, std::string szVarFileName,
            TVarNameIds names = {});
  int GetBitmapId() const override { return kBitmapPage; }
  /// Writes the variable file, or deletes it when crossed out.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  const std::string& VarFileName() const { return szVarFileName; }

 protected:
  std::string szVarFileName;
};

/// A directory of the site, with its index.txt, its sub-directories and its pictures.
class TDirectoryItem : public TPageItem {
 public:
  /// Builds the item for the file-list node `dirFileItem` (owned by the root's file list)
  /// and, below it, the items of its sub-directories and pictures.
  TDirectoryItem(TParentLink parent, FileItem* dirFileItem, std::string_view label,
                 std::string szVarFileName, TTreeBuildContext& context);
  int GetBitmapId() const override { return kBitmapFolder; }
  /// Writes index.txt; when crossed out deletes it, the files of the directory as they were
  /// listed, and the directory once it is empty.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  bool CanDelete() const override { return true; }
  bool CanRename() const override { return true; }
  /// Renames the directory; the paths of this item and of every item below follow at once.
  /// Renaming the site directory itself also makes the settings remember the new path.
  bool Rename(UserInterface& ui, std::string_view newName) override;
  const FileItem* DirFileItem() const { return DirFileItemValue; }

 private:
  // Points the variable file paths of this subtree at the file list's current names.
  void FollowFileList();

  FileItem* DirFileItemValue;  // Owned by the root's file list, which outlives the tree.
};

/// Stands for a site directory that cannot be used ("No Dir Selected").
class TBadDirectoryItem : public TConfigItem {
 public:
  explicit TBadDirectoryItem(TParentLink parent);
  int GetBitmapId() const override { return kBitmapFolder; }
};

/// A match page: its variable file in the layout home and its search pattern in the
/// settings.
class TMatchItem : public TConfigItem {
 public:
  TMatchItem(TParentLink parent, std::string_view label, std::string szBaseName,
             std::string szVarFileName);
  int GetBitmapId() const override { return kBitmapMatchPage; }
  /// Writes the search pattern entry and the variable file, or deletes both when crossed
  /// out. After a rename the names stored under the old base name are moved away.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  bool CanDelete() const override { return true; }
  bool CanRename() const override { return true; }
  /// Gives the match page a new base name; the files follow at the next save.
  bool Rename(UserInterface& ui, std::string_view newName) override;
  const std::string& VarFileName() const { return szVarFileName; }
  const std::string& BaseName() const { return szBaseName; }

 private:
  std::string szVarFileName;
  std::string szBaseName;
  // The base name that the settings and the layout home hold now; differs from base_name
  // after a rename until the next save.
  std::string szStoredBaseName;
  std::string szStoredVarFileName;
};

/// The whole layout: builds the tree for the layout home and a site directory.
class TRootConfigItem : public TConfigItem {
 public:
  /// Builds the tree for the layout home `program_dir` and the site directory `szSiteDir`
  /// (which may be unusable: the tree then shows "No Dir Selected"). Pictures that vanished
  /// since the scan are reported on `ui` when given.
  TRootConfigItem(std::string szProgramDir, std::string szSiteDir, UserInterface* ui);
  ~TRootConfigItem() override;
  int GetBitmapId() const override { return kBitmapFace; }
  /// Writes the list of match pages that are not crossed out.
  Status Save() override;

  // Items of the tree that the rest of the program looks for; the tree owns them.
  TIniSettingsItem* MatchPagesItem = nullptr;
  TDirectoryItem* RootDirItem = nullptr;  // Null when the site directory is unusable.
  TPageItem* DirIndexPagesItem = nullptr;
  TIniSettingsItem* GeneralSettingsItem = nullptr;
  TGroupItem* DefaultPageItem = nullptr;

  /// The scan of the site directory that the directory and picture items stand for; null
  /// when the site directory is unusable.
  FileItem* SiteFileList() const { return SiteFileListValue.get(); }

  const std::string& ProgramDir() const { return szProgramDir; }
  const std::string& SiteDir() const { return szSiteDir; }

 private:
  std::string szProgramDir;
  std::string szSiteDir;
  // Items below the root point into the list, so the root destroys them first.
  std::unique_ptr<FileItem> SiteFileListValue;
  /// What went wrong while the tree was built (a directory that cannot be read).
  CollectedDiagnostics Problems;

 public:
  const CollectedDiagnostics& BuildProblems() const { return Problems; }
};

/// The most characters of the list of match pages that the settings hold and are read.
inline constexpr std::size_t kMatchPageListCapacity = 16384;

/// The label of the match page with base name `baseName`.
std::string MatchPageLabel(std::string_view baseName);

}  // namespace pix
