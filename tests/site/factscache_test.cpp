// The notes a run leaves for the next: what they keep, and that notes which cannot be
// trusted cost only the reading they would have spared.
#include "site/factscache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <unordered_map>

#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;
using Pictures = std::unordered_map<std::string, TNotedPicture>;
using Pages = std::unordered_map<std::string, TNotedPage>;

TNotedPicture SamplePicture() {
  TNotedPicture picture;
  picture.Picture = {123456, 1700000000123456789, 0};
  picture.Width = 4000;
  picture.Height = 3000;
  // Texts hold whatever pictures hold: tabs, line ends, backslashes, UTF-8.
  picture.szComments = "ImageDescription:\r\nDünes\tau \\ crépuscule\r\n\r\n";
  picture.Metadata.Exif.Orientation = TOrientation::kRotate90;
  picture.Metadata.Exif.DateTaken = "2024-06-01T18:30:12";
  picture.Metadata.Exif.Make = "Google";
  picture.Metadata.Exif.Model = "Pixel 8";
  picture.Metadata.XmpDescription = "Limmat\r\n\\n is not a line end";
  picture.Metadata.IptcCaption = "\\";
  picture.Inline = {{5542, 1700000001000000000, 77}, 480, 360};
  return picture;
}

TEST(FactsCacheTest, NotesComeBackAsTheyWereWhateverTheirTextsHold) {
  Pictures pictures{{"Zürich Süd/PXL 1.jpg", SamplePicture()}, {"a\tb\n.jpg", SamplePicture()}};
  pictures["a\tb\n.jpg"].Metadata = TPictureMetadata();
  Pages pages{{"index.html", {{3371, -5, 9}, {0xFFFFFFFFFFFFFFFFull, 42}}}};
  const std::string text = TFactsCache::Serialize(pictures, pages);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  Pictures readPictures;
  Pages readPages;
  ASSERT_TRUE(TFactsCache::Parse(text, &readPictures, &readPages));
  ASSERT_EQ(readPictures.size(), 2u);
  for (const auto& [path, picture] : pictures) {
    const TNotedPicture& read = readPictures.at(path);
    EXPECT_EQ(read.Picture, picture.Picture);
    EXPECT_EQ(read.Width, picture.Width);
    EXPECT_EQ(read.szComments, picture.szComments);
    EXPECT_EQ(read.Metadata.Exif.Orientation, picture.Metadata.Exif.Orientation);
    EXPECT_EQ(read.Metadata.Exif.Model, picture.Metadata.Exif.Model);
    EXPECT_EQ(read.Metadata.XmpDescription, picture.Metadata.XmpDescription);
    EXPECT_EQ(read.Metadata.IptcCaption, picture.Metadata.IptcCaption);
    EXPECT_EQ(read.Inline.Stamp, picture.Inline.Stamp);
    EXPECT_EQ(read.Inline.Height, 360);
    EXPECT_FALSE(read.Detail.Known());
  }
  EXPECT_EQ(readPages.at("index.html").Stamp, (TFileStamp{3371, -5, 9}));
  EXPECT_EQ(readPages.at("index.html").Digest[0], 0xFFFFFFFFFFFFFFFFull);
  // The same notes always make the same text, whatever order they were noted in.
  EXPECT_EQ(TFactsCache::Serialize(readPictures, readPages), text);
}

TEST(FactsCacheTest, DamagedNotesAreNotBelievedAtAll) {
  Pictures pictures{{"a.jpg", SamplePicture()}};
  const std::string good = TFactsCache::Serialize(pictures, {});
  const std::string line = good.substr(good.find('\n') + 1);
  for (const std::string& bad :
       {std::string("Pixamond facts 2\n") + line, good.substr(0, good.size() - 1),
        good + "X\tb.jpg\n", good + "H\tb.html\t1\t2\t3\t4\t5\n",
        good + "H\tb.html\t1\t2\t3\t4\t5\tsix\n", good + "H\tb.html\t1\t2\t3\t4\t5\t6\t7\n",
        good + "H\tb\\x.html\t1\t2\t3\t4\t5\t6\n"}) {
    Pictures readPictures;
    Pages readPages;
    EXPECT_FALSE(TFactsCache::Parse(bad, &readPictures, &readPages)) << bad;
  }
  std::string turned = good;
  turned.replace(turned.find("\t3000\t6\t") + 6, 1, "9");  // no orientation 9
  Pictures readPictures;
  Pages readPages;
  EXPECT_FALSE(TFactsCache::Parse(turned, &readPictures, &readPages));
  // Notes travel with a site; texts the picture readers would never hand over (a NUL, a
  // bare line feed, a date that is none, an overlong comment) mark notes made elsewhere.
  for (int field = 0; field < 5; ++field) {
    TNotedPicture odd = SamplePicture();
    switch (field) {
      case 0: odd.Metadata.Exif.Model = std::string("Pixel\0 8", 8); break;
      case 1: odd.Metadata.XmpDescription = "one\ntwo"; break;
      case 2: odd.Metadata.Exif.DateTaken = "<script>alert(1)</script>"; break;
      case 3: odd.szComments = std::string(40000, 'x') + "\r\n"; break;
      case 4: odd.szComments = "no line end"; break;
    }
    const std::string text = TFactsCache::Serialize({{"a.jpg", odd}}, {});
    EXPECT_FALSE(TFactsCache::Parse(text, &readPictures, &readPages)) << field;
  }
}

TEST(FactsCacheTest, OnlySettledFilesAreNotedAndAForeignFileIsKept) {
  test::TempDir site;
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  TFactsCache cache;
  cache.Load(site.path());
  EXPECT_FALSE(cache.FindPicture("a.jpg"));
  TNotedPicture settled = SamplePicture();
  settled.Picture.WriteTimeNs = now - 60'000'000'000;
  settled.Inline.Stamp.WriteTimeNs = now;  // just made: looked at again next time
  TNotedPicture fresh = SamplePicture();
  fresh.Picture.WriteTimeNs = now;
  cache.NotePicture("a.jpg", settled);
  cache.NotePicture("b.jpg", fresh);
  cache.NotePage("old.html", {{10, now - 60'000'000'000, 1}, {1, 2}});
  cache.NotePage("new.html", {{10, now, 2}, {1, 2}});
  ASSERT_TRUE(cache.Save(true).ok());
  TFactsCache next;
  next.Load(site.path());
  ASSERT_TRUE(next.FindPicture("a.jpg"));
  EXPECT_FALSE(next.FindPicture("a.jpg")->Inline.Known());
  EXPECT_FALSE(next.FindPicture("b.jpg"));
  EXPECT_NE(next.FindPage("old.html"), nullptr);
  EXPECT_EQ(next.FindPage("new.html"), nullptr);
  // A run that did not get through keeps the notes of what it did not reach.
  ASSERT_TRUE(next.Save(false).ok());
  TFactsCache third;
  third.Load(site.path());
  EXPECT_TRUE(third.FindPicture("a.jpg"));
  // A file of the same name that this program did not write is neither believed nor
  // replaced.
  test::WriteFile(site / std::string(FACTS_FILE_NAME), "my own notes\n");
  TFactsCache foreign;
  foreign.Load(site.path());
  foreign.NotePicture("a.jpg", settled);
  const Status saved = foreign.Save(true);
  EXPECT_FALSE(saved.ok());
  EXPECT_EQ(saved.message(), (site / std::string(FACTS_FILE_NAME)).string() +
                                 " is not a file of Pixamond's; it is left as it is, and the "
                                 "next run reads every picture again");
  EXPECT_EQ(test::ReadFile(site / std::string(FACTS_FILE_NAME)), "my own notes\n");
  // Nor is anything written through a link in its place, even to notes.
  fs::remove(site / std::string(FACTS_FILE_NAME));
  TFactsCache renewed;
  renewed.Load(site.path());
  renewed.NotePicture("a.jpg", settled);
  ASSERT_TRUE(renewed.Save(true).ok());
  fs::rename(site / std::string(FACTS_FILE_NAME), site / "elsewhere");
  fs::create_symlink(site / "elsewhere", site / std::string(FACTS_FILE_NAME));
  const std::string elsewhere = test::ReadFile(site / "elsewhere");
  TFactsCache linked;
  linked.Load(site.path());
  EXPECT_FALSE(linked.FindPicture("a.jpg")) << "not read through the link";
  linked.NotePicture("c.jpg", settled);
  EXPECT_EQ(linked.Save(true).code(), Status::Code::kRefused);
  EXPECT_EQ(test::ReadFile(site / "elsewhere"), elsewhere);
  EXPECT_TRUE(fs::is_symlink(site / std::string(FACTS_FILE_NAME)));
}

}  // namespace
}  // namespace pix
