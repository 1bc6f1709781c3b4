#include "files/filelist.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<FileItem> Scan(const fs::path& directory, bool recurse,
                                Diagnostics* diagnostics = nullptr) {
  Result<std::unique_ptr<FileItem>> root =
      FileItem::CreateRoot(directory.string(), recurse, diagnostics);
  EXPECT_TRUE(root.ok()) << root.status().message();
  return root.ok() ? std::move(root).value() : nullptr;
}

// The names of one directory's chain, in order.
std::vector<std::string> ChainNames(const FileItem& directory) {
  std::vector<std::string> names;
  for (const FileItem* item = directory.FirstChild(); item; item = item->NextItem()) {
    names.emplace_back(item->FileName());
  }
  return names;
}

// The paths below the root, relative to it, in the order NextInTree visits them.
std::vector<std::string> WalkOrder(const FileItem& root) {
  std::vector<std::string> paths;
  for (const FileItem* item = root.FirstChild(); item; item = NextInTree(*item)) {
    paths.push_back(item->FullFileName().substr(root.FullFileName().size() + 1));
  }
  return paths;
}

const FileItem* Find(const FileItem& root, std::string_view name) {
  for (const FileItem* item = root.FirstChild(); item; item = NextInTree(*item)) {
    if (item->FileName() == name) return item;
  }
  return nullptr;
}

TEST(FileListTest, DirectoryChainIsSortedWithoutRegardToCase) {
  test::TempDir dir;
  for (const char* name : {"B.JPG", "a.gif", "_x.jpg", "Zz.jpg", "\xe9t\xe9.jpg", "10.jpg"}) {
    test::WriteFile(dir / name, "x");
  }
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  EXPECT_EQ(ChainNames(*root), (std::vector<std::string>{"\xe9t\xe9.jpg", "10.jpg", "a.gif",
                                                         "B.JPG", "Zz.jpg", "_x.jpg"}));
  // The names keep their case on disk and in the full names.
  const FileItem* b = Find(*root, "B.JPG");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->FullFileName(), (dir / "B.JPG").string());
  EXPECT_EQ(b->Parent(), root.get());
}

TEST(FileListTest, NamesDifferingOnlyInCaseAreBothListedInByteOrder) {
  test::TempDir dir;
  // Written in both orders in two directories, so the listing order cannot decide.
  test::WriteFile(dir / "one/b.jpg", "lower");
  test::WriteFile(dir / "one/B.jpg", "UPPER!");
  test::WriteFile(dir / "two/B.jpg", "UPPER!");
  test::WriteFile(dir / "two/b.jpg", "lower");
  auto root = Scan(dir.path(), true);
  ASSERT_TRUE(root);
  for (const FileItem* sub = root->FirstChild(); sub; sub = sub->NextItem()) {
    ASSERT_EQ(ChainNames(*sub), (std::vector<std::string>{"B.jpg", "b.jpg"}));
    EXPECT_EQ(sub->FirstChild()->Size(), 6u);
    EXPECT_EQ(sub->FirstChild()->NextItem()->Size(), 5u);
  }
}

TEST(FileListTest, LaterSiblingsAreFoundByTheirExactName) {
  test::TempDir dir;
  for (const char* name : {"IMG_1.jpg", "IMG_1.html", "img_1.TXT", "IMG_1.jpg.txt",
                           "IMG_1 (2).jpg", "IMG_10.jpg", "IMG_1.txt", "zzz.txt"}) {
    test::WriteFile(dir / name, name);
  }
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  const FileItem* picture = root->FirstChild();
  while (picture != nullptr && picture->FileName() != "IMG_1.jpg") picture = picture->NextItem();
  ASSERT_NE(picture, nullptr);
  const FileItem* text = FindLaterSibling(*picture, "IMG_1.txt");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->FileName(), "IMG_1.txt");
  EXPECT_EQ(FindLaterSibling(*picture, "zzz.txt")->FileName(), "zzz.txt");
  // Case counts; the picture itself and names sorting before it are not this walk's to find.
  EXPECT_EQ(FindLaterSibling(*picture, "img_1.txt"), nullptr);
  EXPECT_EQ(FindLaterSibling(*picture, "IMG_1.gif"), nullptr);
  EXPECT_EQ(FindLaterSibling(*picture, "IMG_1.html"), nullptr);
  EXPECT_EQ(FindLaterSibling(*picture, "IMG_1.jpg"), nullptr);
}

// The extension follows the last dot; read-only and directory come from the file status.
TEST(FileListTest, NamesExtensionsAndAttributesComeFromTheEntry) {
  test::TempDir dir;
  for (const char* name : {"photo.old.jpg", "README", "trailing.", "locked.jpg"}) {
    test::WriteFile(dir / name, "");
  }
  fs::create_directory(dir / "sub");
  fs::permissions(dir / "locked.jpg", fs::perms::owner_read | fs::perms::group_read);
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->FileName(), dir.path().filename().string());
  EXPECT_TRUE(root->Extension().empty());
  EXPECT_TRUE(IsDirectory(*root));
  for (const auto& [name, extension] : std::vector<std::pair<std::string, std::string>>{
           {"photo.old.jpg", ".jpg"}, {"README", ""}, {"trailing.", "."}}) {
    const FileItem* item = Find(*root, name);
    ASSERT_NE(item, nullptr) << name;
    EXPECT_EQ(item->Extension(), extension) << name;
    EXPECT_FALSE(item->IsReadOnly() || IsDirectory(*item)) << name;
  }
  const FileItem* locked = Find(*root, "locked.jpg");
  const FileItem* sub = Find(*root, "sub");
  ASSERT_TRUE(locked && sub);
  EXPECT_TRUE(locked->IsReadOnly());
  EXPECT_FALSE(IsDirectory(*locked));
  EXPECT_TRUE(IsDirectory(*sub));
  EXPECT_FALSE(sub->IsDirectoryLink());
}

TEST(FileListTest, HiddenEntriesAndSpecialFilesAreNeverListed) {
  test::TempDir dir;
  test::WriteFile(dir / ".hidden.jpg", "x");
  test::WriteFile(dir / ".git/config", "x");
  test::WriteFile(dir / "seen.jpg", "x");
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink(dir / "missing.jpg", dir / "broken.jpg");
  auto root = Scan(dir.path(), true);
  ASSERT_TRUE(root);
  EXPECT_EQ(WalkOrder(*root), std::vector<std::string>{"seen.jpg"});
}

TEST(FileListTest, ShallowScanListsSubdirectoriesWithoutChildren) {
  test::TempDir dir;
  test::WriteFile(dir / "a.jpg", std::string(1000, 'a'));
  test::WriteFile(dir / "sub/b.jpg", std::string(5000, 'b'));
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  const FileItem* sub = Find(*root, "sub");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->FirstChild(), nullptr);
  EXPECT_EQ(sub->Size(), 0u);
  EXPECT_EQ(root->Size(), 1000u);

  // Listing the sub-directory later adds its size to every directory above it.
  FileItem* later = root->FirstChild()->NextItem();
  ASSERT_EQ(later, sub);
  ASSERT_NE(ScanDirectory(*later, false), nullptr);
  EXPECT_EQ(sub->Size(), 5000u);
  EXPECT_EQ(root->Size(), 6000u);
  // A directory is listed only once.
  ScanDirectory(*later, true);
  EXPECT_EQ(ChainNames(*sub), std::vector<std::string>{"b.jpg"});
  EXPECT_EQ(root->Size(), 6000u);
}

TEST(FileListTest, AForgottenFolderKeepsItsSizeAndIsNotListedAgain) {
  test::TempDir dir;
  test::WriteFile(dir / "sub/a.jpg", std::string(700, 'a'));
  test::WriteFile(dir / "sub/deep/b.jpg", std::string(300, 'b'));
  auto root = Scan(dir.path(), true);
  ASSERT_TRUE(root);
  FileItem* sub = root->FirstChild();
  ASSERT_EQ(sub->FileName(), "sub");
  sub->ForgetChildren();
  EXPECT_EQ(sub->FirstChild(), nullptr);
  EXPECT_EQ(sub->Size(), 1000u);
  EXPECT_EQ(ScanDirectory(*sub, true), nullptr) << "a folder a walk has left stays left";
  EXPECT_EQ(root->Size(), 1000u);
}

TEST(FileListTest, FilesNamedForNoStatusAreListedFromTheirEntryAlone) {
  test::TempDir dir;
  test::WriteFile(dir / "a.jpg", std::string(10, 'a'));
  test::WriteFile(dir / "a.html", std::string(20, 'h'));
  test::WriteFile(dir / "sub.html/b.jpg", "");
  ::chmod((dir / "a.html").c_str(), 0444);
  fs::create_symlink(dir / "a.jpg", dir / "link.html");
  const auto is_page = [](std::string_view name) {
    return name.size() > 5 && name.substr(name.size() - 5) == ".html";
  };
  Result<std::unique_ptr<FileItem>> root =
      FileItem::CreateRoot(dir.path().string(), true, nullptr, is_page);
  ASSERT_TRUE(root.ok());
  const FileItem* page = Find(**root, "a.html");
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->HasStatus());
  EXPECT_EQ(page->Size(), 0u);
  EXPECT_FALSE(page->IsReadOnly()) << "nothing is known of its permissions";
  EXPECT_TRUE(Find(**root, "a.jpg")->HasStatus());
  // A folder and a link are always looked at: their kind is what the walk needs.
  EXPECT_TRUE(IsDirectory(*Find(**root, "sub.html")));
  EXPECT_NE(Find(**root, "b.jpg"), nullptr);
  EXPECT_TRUE(Find(**root, "link.html")->HasStatus());
  EXPECT_EQ(Find(**root, "link.html")->Size(), 10u);
  EXPECT_EQ((*root)->Size(), 20u) << "a.jpg and the link to it";
}

TEST(FileListTest, DeepScanTotalsEverySizeBelowAndBeyondFourGigabytes) {
  test::TempDir dir;
  test::WriteFile(dir / "a.jpg", std::string(10, 'a'));
  test::WriteFile(dir / "x/b.jpg", std::string(200, 'b'));
  test::WriteFile(dir / "x/y/c.jpg", std::string(3000, 'c'));
  // A sparse file of 5 GiB: sizes and totals must not wrap at 32 bits.
  const std::uint64_t big = 5ull << 30;
  {
    const int fd = ::open((dir / "x/y/big.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, static_cast<off_t>(big)) == 0;
    ::close(fd);
    if (!sized) GTEST_SKIP() << "this file system cannot hold a sparse 5 GiB file";
  }
  auto root = Scan(dir.path(), true);
  ASSERT_TRUE(root);
  EXPECT_EQ(Find(*root, "y")->Size(), 3000u + big);
  EXPECT_EQ(Find(*root, "x")->Size(), 3200u + big);
  EXPECT_EQ(root->Size(), 3210u + big);
}

TEST(FileListTest, NextInTreeWalksEveryDirectoryBeforeItsContents) {
  test::TempDir dir;
  test::WriteFile(dir / "b.jpg", "");
  test::WriteFile(dir / "a/1.jpg", "");
  test::WriteFile(dir / "a/deep/er/2.jpg", "");
  test::WriteFile(dir / "c/3.jpg", "");
  fs::create_directory(dir / "empty");
  auto root = Scan(dir.path(), true);
  ASSERT_TRUE(root);
  EXPECT_EQ(WalkOrder(*root),
            (std::vector<std::string>{"a", "a/1.jpg", "a/deep", "a/deep/er", "a/deep/er/2.jpg",
                                      "b.jpg", "c", "c/3.jpg", "empty"}));
  // From the root itself the walk starts at its first child; after the last item it ends.
  EXPECT_EQ(NextInTree(*root), root->FirstChild());
  const FileItem* empty = Find(*root, "empty");
  EXPECT_EQ(NextInTree(*empty), nullptr);

  // A walk of one sub-directory stays inside it.
  const FileItem* a = root->FirstChild();
  std::vector<std::string> in_a;
  for (const FileItem* item = a->FirstChild(); item; item = NextInSubtree(*item, *a)) {
    in_a.emplace_back(item->FileName());
  }
  EXPECT_EQ(in_a, (std::vector<std::string>{"1.jpg", "deep", "er", "2.jpg"}));
}

TEST(FileListTest, RootPathsAreMadeAbsoluteAndChecked) {
  test::TempDir dir;
  test::WriteFile(dir / "pics/a.jpg", "");
  auto messy = Scan(dir.path().string() + "/./pics/../pics//", false);
  ASSERT_TRUE(messy);
  EXPECT_EQ(messy->FullFileName(), (dir / "pics").string());
  EXPECT_EQ(messy->FirstChild()->FullFileName(), (dir / "pics/a.jpg").string());

  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  Result<std::unique_ptr<FileItem>> relative = FileItem::CreateRoot("pics", false);
  fs::current_path(previous);
  ASSERT_TRUE(relative.ok());
  EXPECT_EQ((*relative)->FullFileName(), (dir / "pics").string());

  EXPECT_EQ(FileItem::CreateRoot((dir / "none").string(), true).status().code(),
            Status::Code::kNotFound);
  EXPECT_FALSE(FileItem::CreateRoot((dir / "pics/a.jpg").string(), true).ok());
  EXPECT_FALSE(FileItem::CreateRoot("", true).ok());
}

TEST(FileListTest, SymbolicLinkCycleNeitherLoopsNorIsDescended) {
  test::TempDir dir;
  test::WriteFile(dir / "site/a/photo.jpg", std::string(7, 'p'));
  fs::create_directory_symlink("..", dir / "site/a/up");         // Back to site.
  fs::create_directory_symlink(dir / "site", dir / "site/a/b");  // Absolute, same target.
  fs::create_directory_symlink(".", dir / "site/self");
  fs::create_symlink("a/photo.jpg", dir / "site/alias.jpg");
  auto root = Scan(dir / "site", true);
  ASSERT_TRUE(root);
  EXPECT_EQ(WalkOrder(*root),
            (std::vector<std::string>{"a", "a/b", "a/photo.jpg", "a/up", "alias.jpg", "self"}));
  for (const char* name : {"b", "up", "self"}) {
    const FileItem* link = Find(*root, name);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(IsDirectory(*link) && link->IsDirectoryLink()) << name;
    EXPECT_EQ(link->FirstChild(), nullptr) << name;
  }
  // A link to a file stands for the file, with the file's size.
  const FileItem* alias = Find(*root, "alias.jpg");
  ASSERT_NE(alias, nullptr);
  EXPECT_FALSE(IsDirectory(*alias));
  EXPECT_EQ(alias->Size(), 7u);
  EXPECT_EQ(root->Size(), 14u);
}

// The number of times `needle` occurs in `text`.
int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

// A directory that cannot be opened (here: its full path is longer than the system accepts,
// which stops root too; a folder without permissions takes the same path) is listed without
// children, reported once, and the scan goes on.
TEST(FileListTest, UnreachableDirectoryIsListedEmptyAndReportedOnce) {
  test::TempDir dir;
  const std::string long_name(200, 'd');
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const int levels = 25;  // 25 * 201 characters: beyond the 4096 of a path.
  for (int level = 0; level < levels; ++level) {
    ASSERT_EQ(::mkdirat(fd, long_name.c_str(), 0700), 0);
    const int next = ::openat(fd, long_name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  ::close(fd);
  test::WriteFile(dir / "z.jpg", "x");

  CollectedDiagnostics problems;
  auto root = Scan(dir.path(), true, &problems);
  const std::string diagnostics = problems.ProblemText();
  ASSERT_TRUE(root);
  int depth = 0;
  const FileItem* deepest = nullptr;
  for (const FileItem* item = root->FirstChild(); item; item = NextInTree(*item)) {
    if (item->FileName() == long_name) {
      ++depth;
      deepest = item;
    }
  }
  EXPECT_GT(depth, 10);
  EXPECT_LT(depth, levels);
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(deepest->FirstChild(), nullptr);
  EXPECT_NE(Find(*root, "z.jpg"), nullptr);  // The scan went on after the failure.
  EXPECT_EQ(CountOf(diagnostics, "Cannot read the directory"), 1) << diagnostics;

  // Take the chain apart from the inside, since its paths are too long for removal by path.
  fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  std::vector<int> fds{fd};
  for (int level = 1; level < levels; ++level) {
    fds.push_back(::openat(fds.back(), long_name.c_str(), O_RDONLY | O_DIRECTORY));
  }
  for (int level = levels - 1; level >= 0; --level) {
    ::unlinkat(fds[level], long_name.c_str(), AT_REMOVEDIR);
    ::close(fds[level]);
  }
}

TEST(FileListTest, RenameTakesTheNewNameAndKeepsThePlace) {
  test::TempDir dir;
  test::WriteFile(dir / "a.jpg", "A");
  test::WriteFile(dir / "m.jpg", "M");
  test::WriteFile(dir / "z.jpg", "Z");
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  FileItem* m = root->FirstChild()->NextItem();
  ASSERT_TRUE(RenameFileItem(*m, "Zebra.Photo.JPG").ok());
  EXPECT_EQ(m->FullFileName(), (dir / "Zebra.Photo.JPG").string());
  EXPECT_EQ(m->FileName(), "Zebra.Photo.JPG");
  EXPECT_EQ(m->Extension(), ".JPG");
  EXPECT_EQ(test::ReadFile(dir / "Zebra.Photo.JPG"), "M");
  EXPECT_FALSE(fs::exists(dir / "m.jpg"));
  EXPECT_EQ(ChainNames(*root), (std::vector<std::string>{"a.jpg", "Zebra.Photo.JPG", "z.jpg"}));
  // A change of case alone is a real rename on this file system.
  ASSERT_TRUE(RenameFileItem(*root->FirstChild(), "A.jpg").ok());
  EXPECT_EQ(test::ReadFile(dir / "A.jpg"), "A");
  EXPECT_FALSE(fs::exists(dir / "a.jpg"));
}

TEST(FileListTest, RenameOntoAnExistingEntryFailsAndLosesNothing) {
  test::TempDir dir;
  test::WriteFile(dir / "b.jpg", "lower");
  test::WriteFile(dir / "B.jpg", "UPPER");
  test::WriteFile(dir / "x.jpg", "x");
  test::WriteFile(dir / "sub/keep.jpg", "keep");
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  FileItem* lower = root->FirstChild()->NextItem();
  ASSERT_EQ(lower->FileName(), "b.jpg");
  for (const char* target : {"B.jpg", "x.jpg", "sub"}) {
    const Status status = RenameFileItem(*lower, target);
    EXPECT_EQ(status.code(), Status::Code::kExists) << target << ": " << status.message();
    EXPECT_EQ(lower->FullFileName(), (dir / "b.jpg").string());
  }
  EXPECT_EQ(test::ReadFile(dir / "b.jpg"), "lower");
  EXPECT_EQ(test::ReadFile(dir / "B.jpg"), "UPPER");
  EXPECT_EQ(test::ReadFile(dir / "x.jpg"), "x");
  EXPECT_EQ(test::ReadFile(dir / "sub/keep.jpg"), "keep");
  // Renaming to its own name changes nothing and is no failure.
  EXPECT_TRUE(RenameFileItem(*lower, "b.jpg").ok());
}

TEST(FileListTest, RenamedDirectoryTakesItsContentsAlong) {
  test::TempDir dir;
  test::WriteFile(dir / "old/a.jpg", "a");
  test::WriteFile(dir / "old/deeper/b.jpg", "b");
  auto root = Scan(dir.path(), true);
  ASSERT_TRUE(root);
  FileItem* old = root->FirstChild();
  ASSERT_TRUE(RenameFileItem(*old, "New Name").ok());
  for (const FileItem* item = root->FirstChild(); item; item = NextInTree(*item)) {
    EXPECT_EQ(item->FullFileName().rfind((dir / "New Name").string(), 0), 0u)
        << item->FullFileName();
    EXPECT_TRUE(fs::exists(item->FullFileName())) << item->FullFileName();
  }
  EXPECT_EQ(Find(*root, "b.jpg")->Extension(), ".jpg");
}

TEST(FileListTest, RenameRefusesNamesThatAreNotOneEntry) {
  test::TempDir dir;
  test::WriteFile(dir / "a.jpg", "a");
  auto root = Scan(dir.path(), false);
  ASSERT_TRUE(root);
  for (std::string bad :
       {std::string(""), std::string("."), std::string(".."), std::string("../escape.jpg"),
        std::string("sub/a.jpg"), std::string(".hidden.jpg"), std::string("nul\0.jpg", 8)}) {
    EXPECT_EQ(RenameFileItem(*root->FirstChild(), bad).code(), Status::Code::kInvalidArgument)
        << bad;
  }
  EXPECT_EQ(test::ReadFile(dir / "a.jpg"), "a");
  EXPECT_EQ(fs::directory_iterator(dir.path())->path(), dir / "a.jpg");
  // The file system's root has an empty name, its entries no doubled slash, and it is never
  // renamed.
  auto system = Scan("/", false);
  ASSERT_TRUE(system);
  EXPECT_EQ(system->FullFileName(), "/");
  EXPECT_EQ(system->FileName(), "");
  ASSERT_NE(system->FirstChild(), nullptr);
  for (const FileItem* item = system->FirstChild(); item; item = item->NextItem()) {
    EXPECT_EQ(item->FullFileName(), "/" + std::string(item->FileName()));
  }
  EXPECT_FALSE(RenameFileItem(*system, "elsewhere").ok());
}

// The fallback for file systems without a no-replace rename behaves like the real thing.
TEST(FileListTest, LinkingFallbackNeverReplaces) {
  test::TempDir dir;
  test::WriteFile(dir / "a.jpg", "a");
  test::WriteFile(dir / "taken.jpg", "taken");
  test::WriteFile(dir / "folder/in.jpg", "in");
  test::WriteFile(dir / "full/x.jpg", "x");
  fs::create_directory(dir / "empty");
  const std::string a = (dir / "a.jpg").string();

  EXPECT_EQ(detail::RenameByLinking(a, (dir / "taken.jpg").string()).code(), Status::Code::kExists);
  EXPECT_EQ(detail::RenameByLinking((dir / "folder").string(), (dir / "full").string()).code(),
            Status::Code::kExists);
  EXPECT_EQ(detail::RenameByLinking((dir / "folder").string(), (dir / "empty").string()).code(),
            Status::Code::kExists);
  EXPECT_EQ(detail::RenameByLinking((dir / "gone.jpg").string(), (dir / "g.jpg").string()).code(),
            Status::Code::kNotFound);

  ASSERT_TRUE(detail::RenameByLinking(a, (dir / "b.jpg").string()).ok());
  ASSERT_TRUE(detail::RenameByLinking((dir / "folder").string(), (dir / "moved").string()).ok());
  EXPECT_FALSE(fs::exists(a));
  EXPECT_EQ(test::ReadFile(dir / "b.jpg"), "a");
  EXPECT_EQ(test::ReadFile(dir / "taken.jpg"), "taken");
  EXPECT_EQ(test::ReadFile(dir / "moved/in.jpg"), "in");
  EXPECT_EQ(test::ReadFile(dir / "full/x.jpg"), "x");
}

TEST(FileListTest, OutOfMemoryEndsTheProgramWithAMessage) {
  const std::new_handler previous = std::get_new_handler();
  InstallOutOfMemoryHandler();
  const std::new_handler installed = std::get_new_handler();
  std::set_new_handler(previous);
  ASSERT_NE(installed, nullptr);
  EXPECT_EXIT(installed(), testing::ExitedWithCode(1), "out of memory");
}

}  // namespace
}  // namespace pix
