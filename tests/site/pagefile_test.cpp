#include "site/pagefile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSignature = "<!--Produced With Pixamond Version 2.0-->\r\n";

// A page of `size` bytes whose every line differs from the next, so that a shifted or
// changed byte anywhere shows.
std::string PageText(std::size_t size, char mark = 'a') {
  std::string text = kSignature;
  for (int line = 0; text.size() < size; ++line) {
    text += std::to_string(line) + mark + " <P>entry</P>\r\n";
  }
  text.resize(size);
  return text;
}

// How the site's record would find a page of this program's at `path`, recorded as
// `recorded` (if at all).
ClaimResult OursAt(const fs::path& path, const std::optional<RecordedOutput>& recorded) {
  ClaimResult claim;
  const std::optional<FileStamp> stamp = StampOfFile(path, false);
  if (!stamp) return claim;
  claim.claim = Ownership::kOurs;
  claim.stamp_matched = recorded && recorded->stamp == *stamp;
  return claim;
}

// Writes `text` through a page file for `path` (with what the record holds of it, if
// anything); returns whether the file was written, and what the record would now hold in
// `note`.
bool WritePage(const fs::path& path, const std::string& text,
               const std::optional<RecordedOutput>& recorded = std::nullopt,
               std::optional<RecordedOutput>* note = nullptr) {
  Result<std::unique_ptr<PageFile>> page = PageFile::Create(path, OursAt(path, recorded), recorded);
  EXPECT_TRUE(page.ok()) << page.status().message();
  if (!page.ok()) return false;
  // In uneven pieces, as templates write.
  for (std::size_t at = 0; at < text.size(); at += 777) (*page)->Stream() << text.substr(at, 777);
  const Status closed = (*page)->Close();
  EXPECT_TRUE(closed.ok()) << closed.message();
  if (note != nullptr) {
    note->reset();
    if ((*page)->Stamp()) {
      RecordedOutput output;
      output.content = (*page)->Content();
      output.stamp = *(*page)->Stamp();
      *note = output;
    }
  }
  return (*page)->Written();
}

TEST(PageFileTest, SameBytesLeaveTheOldPageAndItsTimeAlone) {
  test::TempDir dir;
  const fs::path page = dir / "index.html";
  // Small, one piece, and several pieces of the old page long.
  for (std::size_t size : {std::size_t{60}, std::size_t{3000}, std::size_t{200000}}) {
    const std::string text = PageText(size);
    test::WriteFile(page, text);
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, page.c_str(), past, 0), 0);
    const ino_t before = test::StatOf(page).st_ino;
    EXPECT_FALSE(WritePage(page, text)) << size;
    EXPECT_EQ(test::StatOf(page).st_ino, before) << size;
    EXPECT_EQ(test::StatOf(page).st_mtim.tv_sec, 1000000000) << size;
    EXPECT_EQ(test::ReadFile(page), text) << size;
    EXPECT_EQ(test::TemporaryFilesBelow(dir.path()), std::vector<std::string>());
  }
}

TEST(PageFileTest, AnyDifferenceReplacesThePageWithTheNewBytes) {
  test::TempDir dir;
  const fs::path page = dir / "p.html";
  const std::string old = PageText(150000);
  std::string changed_late = old;
  changed_late[140000] = '#';  // In the third piece of the old page.
  std::string changed_early = old;
  changed_early[50] = '#';
  const std::string cases[] = {
      changed_late, changed_early,
      old + "more",                   // Longer: the old page ends first.
      old.substr(0, 100000),          // Shorter: the new page ends first.
      old.substr(0, 65536),           // Ends exactly at a piece of the old page.
      PageText(90000, 'b'),
  };
  for (const std::string& text : cases) {
    test::WriteFile(page, old);
    EXPECT_TRUE(WritePage(page, text)) << text.size();
    EXPECT_EQ(test::ReadFile(page), text) << text.size();
    EXPECT_EQ(test::TemporaryFilesBelow(dir.path()), std::vector<std::string>());
  }
}

TEST(PageFileTest, NewPageIsWrittenAndAbandonedPageLeavesTheOldOne) {
  test::TempDir dir;
  const fs::path page = dir / "new.html";
  EXPECT_TRUE(WritePage(page, PageText(500)));
  EXPECT_EQ(test::ReadFile(page), PageText(500));

  {
    Result<std::unique_ptr<PageFile>> abandoned =
        PageFile::Create(page, OursAt(page, std::nullopt), std::nullopt);
    ASSERT_TRUE(abandoned.ok());
    (*abandoned)->Stream() << PageText(100, 'z');
  }
  EXPECT_EQ(test::ReadFile(page), PageText(500));
  EXPECT_EQ(test::TemporaryFilesBelow(dir.path()), std::vector<std::string>());
}

TEST(PageFileTest, EveryFinishedPageIsNotedAsItNowIs) {
  test::TempDir dir;
  const fs::path path = dir / "page.html";
  std::optional<RecordedOutput> note;
  for (const std::string& text : {PageText(500), PageText(500), PageText(70000, 'b')}) {
    WritePage(path, text, std::nullopt, &note);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->stamp, *StampOfFile(path, false));
    EXPECT_EQ(note->content, DigestOf(text));
    EXPECT_EQ(note->content, *DigestOfFile(path));
  }
}

TEST(PageFileTest, APageStillAsNotedIsComparedByItsDigestWithoutBeingRead) {
  test::TempDir dir;
  const fs::path path = dir / "page.html";
  std::optional<RecordedOutput> note;
  WritePage(path, PageText(3000), std::nullopt, &note);
  ASSERT_TRUE(note);
  const ino_t before = test::StatOf(path).st_ino;
  // The same bytes: left alone, and the note stays.
  std::optional<RecordedOutput> again;
  EXPECT_FALSE(WritePage(path, PageText(3000), note, &again));
  EXPECT_EQ(test::StatOf(path).st_ino, before);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->stamp, note->stamp);
  // The note is believed while the file is the one noted: a note whose digest is not the
  // file's shows that the file itself was not read.
  RecordedOutput other_digest = *note;
  other_digest.content.low ^= 1;
  EXPECT_TRUE(WritePage(path, PageText(3000), other_digest, &again));
  EXPECT_EQ(test::ReadFile(path), PageText(3000));
  // Different bytes of the same length, longer and shorter ones replace the page.
  for (const std::string& text : {PageText(3000, 'c'), PageText(9000, 'd'), PageText(100)}) {
    ASSERT_TRUE(again);
    const std::optional<RecordedOutput> current = again;
    EXPECT_TRUE(WritePage(path, text, current, &again));
    EXPECT_EQ(test::ReadFile(path), text);
    EXPECT_EQ(test::TemporaryFilesBelow(dir.path()), std::vector<std::string>());
  }
}

TEST(PageFileTest, AFileOfTheUsersIsRefusedAndKept) {
  test::TempDir dir;
  test::WriteFile(dir / "mine.html", "<html>the user's own page</html>");
  ClaimResult users;
  users.claim = Ownership::kUsers;
  users.why = "not written by Pixamond";
  const Result<std::unique_ptr<PageFile>> page =
      PageFile::Create(dir / "mine.html", users, std::nullopt);
  ASSERT_FALSE(page.ok());
  EXPECT_EQ(page.status().message(), (dir / "mine.html").string() +
                                         " is kept as it is (not written by Pixamond); the page "
                                         "is not written");
  EXPECT_EQ(test::ReadFile(dir / "mine.html"), "<html>the user's own page</html>");
}

}  // namespace
}  // namespace pix
