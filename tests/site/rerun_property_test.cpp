// A rerun after any change a user makes between two runs writes what a clean run of the
// changed tree writes, and leaves every file and folder of the user's as the user left it.
//
// Each sequence builds a small site from a seed, runs the generator, then makes random
// changes, each followed by a rerun. After each run the user's files (pictures, caption
// files, the user's own folders, the layout home) are copied with their times to a fresh
// folder and generated there from nothing: both sites must hold the same visible files with
// the same bytes. PIXAMOND_PROPERTY_SEQUENCES sets the number of sequences (30 unless set);
// PIXAMOND_PROPERTY_SEED replays the one sequence of that seed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "files/layouthome.h"
#include "picture/comwrite.h"
#include "site/website.h"
#include "support/build_paths.h"
#include "support/picture_builder.h"
#include "support/scripted_ui.h"
#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

constexpr int kChangesPerSequence = 6;
const char* const kPictureNames[] = {"p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"};
const char* const kEditedTemplates[] = {"PageHeadTemplate", "StyleSheet", "FileEntryTemplate",
                                        "DetailPageTemplate"};
// The values each setting takes: all in [Display] but InLineFileExt, in [FileExtensions],
// SiteURL (which makes the site's feed) in [HTMLDefaults] and those of [Pages].
const std::map<std::string, std::vector<std::string>> kSettingValues = {
    {"InLineFileExt", {"gif", "jpg", "webp"}}, {"InLinePixelDensity", {"1", "2"}},
    {"DetailImageMaxSize", {"0", "64", "96"}}, {"InLineQuality", {"60", "82", "95"}},
    {"MaxDisplayWidth", {"40", "64"}},         {"MaxDisplayHeight", {"40", "64"}},
    {"SortOrder", {"name", "natural", "-date"}}, {"PicturesPerPage", {"0", "1", "2"}},
    {"SiteURL", {"https://example.org/pictures/", "https://example.org/"}}};

// A file's access and write times, which `cp -p` keeps.
using FileTimes = std::array<timespec, 2>;

FileTimes TimesOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return {info.st_atim, info.st_mtim};
}

void SetTimes(const fs::path& path, const FileTimes& times) {
  EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times.data(), 0), 0) << path;
}

// Times `minutes` minutes ago: older than anything a run of the test writes.
FileTimes MinutesAgo(int minutes) {
  const timespec then{::time(nullptr) - 60L * minutes, 0};
  return {then, then};
}

std::size_t DigestOf(const fs::path& path) {
  return std::hash<std::string>{}(test::ReadFile(path));
}

std::string Caption(const std::string& text) { return "ImageDescription:\r\n" + text + "\r\n\r\n"; }

// A JPEG picture in colours of its own, striped so that the encoder has edges to keep.
std::string PaintPicture(int id, int width, int height, const std::string& comment) {
  test::PixelArt art{width, height, {}};
  const test::Rgb colour{static_cast<std::uint8_t>(id * 67 + 40),
                         static_cast<std::uint8_t>(id * 131 + 90),
                         static_cast<std::uint8_t>(id * 29 + 160)};
  const test::Rgb stripe{colour.B, colour.R, colour.G};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) art.pixels.push_back((x + y) / 6 % 2 ? stripe : colour);
  }
  test::JpegOptions options;
  if (!comment.empty()) options.comments.push_back(comment);
  return test::MakeJpeg(art, options);
}

// A version of a picture as a backup keeps it, to be copied back later.
struct Backup {
  std::string path, bytes;
  FileTimes times;
};

// The user's side of a site: every folder and file the user made in the site ("site/...")
// and in the layout home ("home/..."), by its path relative to the folder that holds both.
struct Tree {
  Tree(unsigned seed, const fs::path& tree_root) : random(seed), root(tree_root) {}
  int Below(std::size_t count) {
    return std::uniform_int_distribution<int>(0, static_cast<int>(count) - 1)(random);
  }
  template <class Container>
  auto Pick(const Container& items) {
    return *std::next(std::begin(items), Below(std::size(items)));
  }
  fs::path operator/(const std::string& relative) const { return root / relative; }
  std::vector<std::string> Pictures() const {
    std::vector<std::string> pictures;
    for (const auto& [path, digest] : files) {
      if (fs::path(path).extension() == ".jpg") pictures.push_back(path);
    }
    return pictures;
  }

  std::mt19937 random;
  fs::path root;
  std::map<std::string, std::string> settings;
  std::set<std::string> folders{"site"};     // of pictures, and the user's inline folders
  std::map<std::string, std::size_t> files;  // with their digests after the last change
  std::vector<Backup> backups;
  int made = 0;  // numbers pictures, captions, folders and edits
};

void WriteSettings(Tree& tree) {
  std::string defaults = "[HTMLDefaults]\nPersonFullName=Ann Example\n";
  std::string extensions = "[FileExtensions]\n";
  std::string display = "[Display]\n";
  std::string pages = "[Pages]\n";
  for (const auto& [key, value] : tree.settings) {
    std::string& section = key == "InLineFileExt"                            ? extensions
                           : key == "SiteURL"                                ? defaults
                           : key == "SortOrder" || key == "PicturesPerPage" ? pages
                                                                            : display;
    section += key + "=" + value + "\n";
  }
  test::WriteFile(tree / "home/pixamond.ini", defaults + extensions + display + pages);
  tree.files["home/pixamond.ini"];
}

// The user's folders named like the inline folder; the run's own are never in Folders.
bool IsUsersInlineFolder(const std::string& folder) {
  const fs::path name = fs::path(folder).filename();
  return name == "inline" || name == "Inline";
}

// The path of a picture of `folder` that no file takes yet; empty when every name is taken.
std::string FreePicturePath(Tree& tree, const std::string& folder) {
  std::vector<std::string> free;
  for (const char* name : kPictureNames) {
    const std::string path = (fs::path(folder) / name).concat(".jpg").string();
    if (tree.files.count(path) == 0) free.push_back(path);
  }
  return free.empty() ? std::string() : tree.Pick(free);
}

// Paints a picture at `path` with an old write time, some with a caption in their comment,
// some with a caption file beside them.
void PutPicture(Tree& tree, const std::string& path, int width, int height) {
  const int id = ++tree.made;
  const std::string comment = tree.Below(2) ? Caption("Picture " + std::to_string(id)) : "";
  test::WriteFile(tree / path, PaintPicture(id, width, height, comment));
  SetTimes(tree / path, MinutesAgo(600 - id));
  tree.files[path];
  tree.backups.push_back({path, test::ReadFile(tree / path), TimesOf(tree / path)});
  if (tree.Below(3) == 0) {
    const std::string text = fs::path(path).replace_extension(".txt").string();
    test::WriteFile(tree / text, Caption("Told of " + std::to_string(id)));
    SetTimes(tree / text, MinutesAgo(600 - id));
    tree.files[text];
  }
}

// Each change says what it did, or nothing when the tree offers it nothing to change.
std::string AddPicture(Tree& tree) {
  const std::string path = FreePicturePath(tree, tree.Pick(tree.folders));
  if (path.empty()) return {};
  PutPicture(tree, path, 16 + tree.Below(120), 16 + tree.Below(100));
  return "add " + path;
}

std::string SwapPictures(Tree& tree) {
  const std::vector<std::string> pictures = tree.Pictures();
  if (pictures.size() < 2) return {};
  const std::string first = tree.Pick(pictures);
  std::string second = first;
  while (second == first) second = tree.Pick(pictures);
  fs::rename(tree / first, tree / "site/.swap");
  fs::rename(tree / second, tree / first);
  fs::rename(tree / "site/.swap", tree / second);
  return "swap " + first + " " + second;
}

std::string RestoreOlderPicture(Tree& tree) {
  std::vector<const Backup*> differing;
  for (const Backup& backup : tree.backups) {
    if (test::ReadFile(tree / backup.path) != backup.bytes) differing.push_back(&backup);
  }
  if (differing.empty()) return {};
  const Backup& backup = *tree.Pick(differing);
  test::WriteFile(tree / backup.path, backup.bytes);
  SetTimes(tree / backup.path, backup.times);
  tree.files[backup.path];
  return "restore " + backup.path;
}

std::string DeletePicture(Tree& tree) {
  if (tree.Pictures().empty()) return {};
  const std::string path = tree.Pick(tree.Pictures());
  fs::remove(tree / path);
  tree.files.erase(path);
  return "delete " + path;
}

std::string RenamePicture(Tree& tree) {
  if (tree.Pictures().empty()) return {};
  const std::string from = tree.Pick(tree.Pictures());
  const std::string to = FreePicturePath(tree, fs::path(from).parent_path().string());
  if (to.empty()) return {};
  fs::rename(tree / from, tree / to);
  tree.files.erase(from);
  tree.files[to];
  return "rename " + from + " " + to;
}

// A new caption in the picture's comment or in its caption file, the file's times kept.
std::string EditCaption(Tree& tree) {
  if (tree.Pictures().empty()) return {};
  const std::string picture = tree.Pick(tree.Pictures());
  const std::string caption = Caption("Edited " + std::to_string(++tree.made));
  const bool in_comment = tree.Below(2) == 0;
  const std::string path =
      in_comment ? picture : fs::path(picture).replace_extension(".txt").string();
  const FileTimes times = TimesOf(fs::exists(tree / path) ? tree / path : tree / picture);
  if (in_comment) {
    EXPECT_TRUE(WriteJpegCommentInPlace(tree / path, caption).ok()) << path;
    tree.backups.push_back({path, test::ReadFile(tree / path), times});
  } else {
    test::WriteFile(tree / path, caption);
    tree.files[path];
  }
  SetTimes(tree / path, times);
  return "caption " + path;
}

std::string ChangeSetting(Tree& tree) {
  const auto [key, values] = tree.Pick(kSettingValues);
  const std::string old = tree.settings[key];
  while (tree.settings[key] == old) tree.settings[key] = tree.Pick(values);
  WriteSettings(tree);
  return "set " + key + "=" + tree.settings[key];
}

std::string ChangeLayout(Tree& tree) {
  const std::string name = tree.Pick(kEditedTemplates);
  std::string text = test::ReadFile(tree / "home/globals.txt");
  const std::size_t at = text.find("\r\n" + name + ":\r\n");
  if (at == std::string::npos) return {};
  const std::size_t end = text.find("\r\n\r\n", at + name.size() + 5);
  if (end == std::string::npos) return {};
  text.insert(end, "\r\n<!-- layout edit " + std::to_string(++tree.made) + " -->");
  test::WriteFile(tree / "home/globals.txt", text);
  return "edit " + name;
}

// A folder of the user's named like the inline folder, holding photos larger than the
// display box, the first named like a picture beside the folder, whose inline image would
// take its name. "inline" goes into a picture folder that has no inline folder, a new one
// when every folder has one.
std::string AddUsersInlineFolder(Tree& tree, const std::string& name) {
  std::vector<std::string> candidates;
  for (const std::string& folder : tree.folders) {
    if (!IsUsersInlineFolder(folder) && !fs::exists(tree / folder / name)) {
      candidates.push_back(folder);
    }
  }
  std::string folder = candidates.empty() ? "" : tree.Pick(candidates);
  if (candidates.empty()) {
    folder = "site/d" + std::to_string(++tree.made);
    tree.folders.insert(folder);
    PutPicture(tree, FreePicturePath(tree, folder), 50, 40);
  }
  const std::string album = (fs::path(folder) / name).string();
  std::vector<std::string> beside;
  for (const std::string& path : tree.Pictures()) {
    if (fs::path(path).parent_path() == folder) beside.push_back(fs::path(path).stem().string());
  }
  PutPicture(
      tree,
      beside.empty() ? FreePicturePath(tree, album) : album + "/" + tree.Pick(beside) + ".jpg",
      150 + tree.Below(60), 110 + tree.Below(60));
  if (tree.Below(2)) PutPicture(tree, FreePicturePath(tree, album), 170, 120);
  tree.folders.insert(album);
  return "folder " + album;
}

std::string PlantInlineMarker(Tree& tree) {
  std::vector<std::string> markers;
  for (const std::string& folder : tree.folders) {
    const std::string marker = folder + "/.pixamond-inline";
    if (IsUsersInlineFolder(folder) && tree.files.count(marker) == 0) markers.push_back(marker);
  }
  if (markers.empty()) return {};
  const std::string marker = tree.Pick(markers);
  test::WriteFile(tree / marker, "");
  tree.files[marker];
  return "marker " + marker;
}

// A layout file of one folder's own, which its pages read beside the layout home's.
std::string ChangeFolderLayout(Tree& tree) {
  std::vector<std::string> folders;
  for (const std::string& folder : tree.folders) {
    if (!IsUsersInlineFolder(folder)) folders.push_back(folder);
  }
  const std::string path = tree.Pick(folders) + "/globals.txt";
  test::WriteFile(tree / path, "StyleSheet:\r\n<!-- folder style " + std::to_string(++tree.made) +
                                   " -->\r\n\r\n");
  tree.files[path];
  return "folder layout " + path;
}

// A page or image the run wrote, gone: the next run makes it again.
std::string DeleteOutput(Tree& tree) {
  std::vector<std::string> outputs;
  for (const auto& entry : fs::recursive_directory_iterator(tree / "site")) {
    const std::string path = "site/" + fs::relative(entry.path(), tree / "site").string();
    if (entry.is_regular_file() && tree.files.count(path) == 0 &&
        entry.path().filename().string()[0] != '.') {
      outputs.push_back(path);
    }
  }
  if (outputs.empty()) return {};
  const std::string path = tree.Pick(outputs);
  fs::remove(tree / path);
  return "remove output " + path;
}

// clang-format off
const std::function<std::string(Tree&)> kChanges[] = {
    AddPicture, SwapPictures, RestoreOlderPicture, DeletePicture, RenamePicture, EditCaption,
    ChangeSetting, ChangeLayout, PlantInlineMarker, ChangeFolderLayout, DeleteOutput,
    [](Tree& tree) { return AddUsersInlineFolder(tree, "inline"); },
    [](Tree& tree) { return AddUsersInlineFolder(tree, "Inline"); }};
// clang-format on

// Four folders holding five to seven pictures, a layout home seeded with the shipped layout, and
// some of the settings set.
void BuildTree(Tree& tree) {
  ASSERT_TRUE(PrepareLayoutHome(tree / "home", test::kSourceDataDir).ok());
  for (const auto& entry : fs::directory_iterator(tree / "home")) {
    tree.files["home/" + entry.path().filename().string()];
  }
  for (const auto& [key, values] : kSettingValues) {
    if (tree.Below(2)) tree.settings[key] = tree.Pick(values);
  }
  WriteSettings(tree);
  // Folders beside and below each other, so that a change in one leaves others to be
  // taken as they are.
  for (const char* folder : {"site/trip", "site/trip/day", "site/walk"}) tree.folders.insert(folder);
  PutPicture(tree, "site/p1.jpg", 90, 60);
  PutPicture(tree, "site/trip/p1.jpg", 30, 70);
  PutPicture(tree, "site/trip/day/p1.jpg", 40, 30);
  PutPicture(tree, "site/walk/p2.jpg", 20, 50);
  for (int more = 1 + tree.Below(3); more > 0; --more) AddPicture(tree);
}

void NoteUsersFiles(Tree& tree) {
  for (auto& [path, digest] : tree.files) digest = DigestOf(tree / path);
}

// The user's files and folders that are no longer as the last change left them.
std::string ChangedUsersFiles(const Tree& tree) {
  std::string changed;
  for (const std::string& folder : tree.folders) {
    if (!fs::is_directory(tree / folder)) changed += "\n  folder deleted: " + folder;
  }
  for (const auto& [path, digest] : tree.files) {
    if (!fs::is_regular_file(tree / path)) {
      changed += "\n  deleted: " + path;
    } else if (DigestOf(tree / path) != digest) {
      changed += "\n  changed: " + path;
    }
  }
  return changed;
}

// Generates `site`. The reruns of a sequence trust every file's stamp at once, as a real
// rerun trusts those of files that have settled: it is then that an unchanged page is
// neither read nor expanded, so the sequence sees that only an unchanged one is. Every
// change of a sequence happens long after the run before it, so its times tell.
// Detail pages that reruns took as they were, without expanding them, and folders they took
// as they were, without reading their pictures, in all sequences.
int pages_not_expanded = 0;
int folders_unchanged = 0;

bool Generate(const fs::path& site, const fs::path& home, bool trust_stamps = false) {
  test::ScriptedUserInterface ui;
  Progress progress;
  CollectedDiagnostics diagnostics;
  WebSite run(site.string(), home.string(), ui, progress, diagnostics);
  const Status prepared = run.Prepare();
  EXPECT_TRUE(prepared.ok()) << prepared.message();
  if (prepared.ok() && trust_stamps) run.Record().SetSettleTimeForTesting(0);
  if (prepared.ok()) run.Execute();
  if (trust_stamps) {
    pages_not_expanded += run.Stats().pages_not_expanded;
    folders_unchanged += run.Stats().folders_unchanged;
  }
  return prepared.ok();
}

// What a clean run writes for the user's files as they are now, copied with their times to
// folders of the same names (pages show the site's).
std::map<std::string, std::string> CleanRun(const Tree& tree) {
  test::TempDir root;
  for (const std::string& folder : tree.folders) fs::create_directories(root / folder);
  for (const auto& [path, digest] : tree.files) {
    test::WriteFile(root / path, test::ReadFile(tree / path));
    SetTimes(root / path, TimesOf(tree / path));
  }
  Generate(root / "site", root / "home");
  return test::VisibleFiles(root / "site");
}

// Runs one sequence; false when a run broke a rule, which is reported.
bool RunSequence(unsigned seed) {
  SCOPED_TRACE("seed " + std::to_string(seed) +
               ", replay with PIXAMOND_PROPERTY_SEED=" + std::to_string(seed));
  test::TempDir root;
  Tree tree(seed, root.path());
  BuildTree(tree);
  std::string story = "built " + std::to_string(tree.files.size()) + " files";
  for (int change = 0; change <= kChangesPerSequence; ++change) {
    if (change > 0) {
      const std::string done = tree.Pick(kChanges)(tree);
      story += "; " + (done.empty() ? AddPicture(tree) : done);
    }
    NoteUsersFiles(tree);
    if (!Generate(tree / "site", tree / "home", /*trust_stamps=*/true)) return false;
    const std::string changed = ChangedUsersFiles(tree);
    const std::string differences =
        test::DescribeDifferences(test::VisibleFiles(tree / "site"), CleanRun(tree));
    if (!changed.empty() || !differences.empty()) {
      ADD_FAILURE() << "After: " << story
                    << (changed.empty() ? "" : "\nThe user's files were touched:" + changed)
                    << (differences.empty()
                            ? ""
                            : "\nThe rerun differs from a clean run:" + differences);
      return false;
    }
  }
  return true;
}

unsigned NumberFromEnvironment(const char* name, unsigned otherwise) {
  const char* text = std::getenv(name);
  return text && *text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : otherwise;
}

TEST(RerunPropertyTest, ARerunAfterAnyChangeWritesWhatACleanRunWritesAndSparesTheUsersFiles) {
  const unsigned replay = NumberFromEnvironment("PIXAMOND_PROPERTY_SEED", 0);
  const unsigned first = replay ? replay : 1;
  const unsigned count = replay ? 1 : NumberFromEnvironment("PIXAMOND_PROPERTY_SEQUENCES", 30);
  int failed = 0;
  for (unsigned seed = first; seed < first + count; ++seed) {
    // A rule broken in one sequence is usually broken in many; a few show it well enough.
    if (!RunSequence(seed) && ++failed == 5) {
      ADD_FAILURE() << "Stopped after five failing sequences of " << count;
      break;
    }
  }
  // Otherwise the sequences would no longer check that a page taken as it was is current.
  if (count >= 10) {
    EXPECT_GT(pages_not_expanded, 0);
    EXPECT_GT(folders_unchanged, 0);
  }
}

}  // namespace
}  // namespace pix
