// Picture items on real JPEG and GIF files: comments read and written back, deletion,
// renames, the inline image to preview and the external editor.
#include "layout/pictureitem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "layout/layout_fixture.h"
#include "picture/comread.h"
#include "support/picture_builder.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

class PictureItemTest : public LayoutTest {
 protected:
  // A picture item under a plain parent, as the directory item would make it.
  PictureItem* MakeItem(const fs::path& path) {
    parent_.SetLayoutHome(Home());
    return parent_.AddChild<PictureItem>(path.filename().string(), path.string(), context_);
  }
  static std::string CommentOf(const fs::path& path) { return HeaderOf(path).comments; }
  static std::string Jpeg(const std::string& comment) {
    JpegOptions options;
    if (!comment.empty()) options.comments = {comment};
    return MakeJpeg(SampleArt(), options);
  }

  ConfigItem parent_{"dir"};
  TreeBuildContext context_{&ui_, false, SiteNames{}};
};

TEST_F(PictureItemTest, CommentRecordsFillTheVariablesAndTheInlineGifIsThePreview) {
  WriteFile(
      site_ / "Img_A.JPG",
      Jpeg("ImageDescription:\r\nfirst line\r\nsecond line\r\n\r\nCamera:\r\nOld box\r\n\r\n"));
  PictureItem* item = MakeItem(site_ / "Img_A.JPG");
  EXPECT_EQ(VarNames(*item),
            (std::vector<std::string>{"DetailPageTitle", "DetailPageLabel", "ImageDescription",
                                      "ImageSubjectName", "ImagePhotographerName", "Camera"}));
  EXPECT_EQ(item->GetVarValue("ImageDescription"), "first line\r\nsecond line");
  EXPECT_EQ(item->GetVarValue("Camera"), "Old box");
  // Its preview is the inline GIF, named with the case of the picture's name.
  RecordingPreview preview;
  item->ShowPreview(&preview);
  EXPECT_EQ(preview.shown, std::vector<std::string>{Site() + "/inline/Img_A.gif"});
}

TEST_F(PictureItemTest, SaveWritesTheRecordsAndReadsBack) {
  WriteFile(site_ / "a.jpg", Jpeg("just some free text"));
  PictureItem* item = MakeItem(site_ / "a.jpg");
  for (int i = 0; i < item->ItemCount(); ++i) EXPECT_EQ(item->Item(i).value(), "");
  // UTF-8 text is written and read back byte for byte.
  const std::string title = "D\xC3\xBCnes au cr\xC3\xA9puscule";
  const std::string comment =
      "DetailPageTitle:\r\n" + title + "\r\n\r\nImageDescription:\r\nred\r\nsky\r\n\r\n";
  item->SetVar("DetailPageTitle", title);
  item->SetVar("ImageDescription", "red\r\nsky");
  item->SetModified();
  const Status saved = item->Save();
  EXPECT_TRUE(saved.ok()) << saved.message();
  EXPECT_EQ(CommentOf(site_ / "a.jpg"), comment);

  // Read back by a new item, saved unchanged: the same comment again.
  PictureItem* again = MakeItem(site_ / "a.jpg");
  EXPECT_EQ(again->GetVarValue("DetailPageTitle"), title);
  EXPECT_EQ(again->GetVarValue("ImageDescription"), "red\r\nsky");
  ASSERT_TRUE(again->Save().ok());
  EXPECT_EQ(CommentOf(site_ / "a.jpg"), comment);
  // The free text was another program's comment, not a caption: it stays.
  EXPECT_NE(ReadFile(site_ / "a.jpg").find("just some free text"), std::string::npos);
}

TEST_F(PictureItemTest, AllEmptyVariablesLeaveNoCaptionSegment) {
  WriteFile(site_ / "a.jpg", Jpeg("ImageDescription:\r\nold\r\n\r\n"));
  PictureItem* item = MakeItem(site_ / "a.jpg");
  item->SetVar("ImageDescription", "");
  ASSERT_TRUE(item->Save().ok());
  EXPECT_EQ(CommentOf(site_ / "a.jpg"), "");
  EXPECT_EQ(ReadFile(site_ / "a.jpg").find("\xFF\xFE"), std::string::npos);
  EXPECT_EQ(MakeItem(site_ / "a.jpg")->GetVarValue("ImageDescription"), "");
}

TEST_F(PictureItemTest, FailedSaveLeavesThePictureWhole) {
  // A file that only looks like a JPEG picture: the writer cannot place a comment in it.
  const std::string not_jpeg = "this is not a picture at all";
  WriteFile(site_ / "fake.jpg", not_jpeg);
  PictureItem* item = MakeItem(site_ / "fake.jpg");
  item->SetVar("DetailPageTitle", "x");
  EXPECT_FALSE(item->Save().ok());
  EXPECT_EQ(ReadFile(site_ / "fake.jpg"), not_jpeg);

  // A text longer than the comment reader gives back is refused before anything is written.
  const std::string original = Jpeg("ImageDescription:\r\nshort\r\n\r\n");
  WriteFile(site_ / "long.jpg", original);
  PictureItem* big = MakeItem(site_ / "long.jpg");
  big->SetVar("ImageDescription", std::string(40000, 'x'));
  const Status saved = big->Save();
  EXPECT_EQ(saved.code(), Status::Code::kTooLarge);
  EXPECT_EQ(ReadFile(site_ / "long.jpg"), original);

  EXPECT_EQ(CountEntries(site_), 2u) << "no temporary file is left beside the pictures";
}

TEST_F(PictureItemTest, CommentLimitMatchesTheReader) {
  // The longest text that the reader hands back whole is accepted, one more is not.
  std::string text = "ImageDescription:\r\n";
  text += std::string(kMaxCommentsLength - 5 - text.size() - 4, 'x') + "\r\n\r\n";
  EXPECT_TRUE(CommentFitsReader(text));
  EXPECT_EQ(FilterCommentText(text), text);
  text.insert(20, "0123456789");
  EXPECT_FALSE(CommentFitsReader(text));
  EXPECT_NE(FilterCommentText(text), text);

  // UTF-8 text counts by its bytes: 15986 two-byte characters fill the reader exactly.
  std::string utf8 = "ImageDescription:\r\n";
  for (int i = 0; i < 15986; ++i) utf8 += "\xC3\xA9";
  utf8 += "\r\n\r\n";
  ASSERT_EQ(utf8.size(), static_cast<std::size_t>(kMaxCommentsLength - 5));
  EXPECT_TRUE(CommentFitsReader(utf8));
  EXPECT_EQ(FilterCommentText(utf8), utf8);
  utf8.insert(20, "\xC3\xA9");
  EXPECT_FALSE(CommentFitsReader(utf8));
  EXPECT_NE(FilterCommentText(utf8), utf8);
}

TEST_F(PictureItemTest, GifPicturesKeepTheirCaptionInTheTextFileBesideThem) {
  WriteGifPicture(site_ / "b.gif", 4, 3, false);
  const std::string before = ReadFile(site_ / "b.gif");
  PictureItem* item = MakeItem(site_ / "b.gif");
  EXPECT_EQ(item->ItemCount(), 5);
  item->SetVar("ImageDescription", "A red flower");
  item->SetModified();
  ASSERT_TRUE(item->Save().ok());
  // The picture is untouched; the text file a run reads beside it holds the caption.
  EXPECT_EQ(ReadFile(site_ / "b.gif"), before);
  EXPECT_NE(ReadFile(site_ / "b.txt").find("ImageDescription:\r\nA red flower\r\n\r\n"),
            std::string::npos);
  // A tree built again reads it back.
  EXPECT_EQ(MakeItem(site_ / "b.gif")->GetVarValue("ImageDescription"), "A red flower");

  // A GIF named like the directory's own layout file cannot keep a caption beside it: the
  // save says so and writes nothing, and the edit stays.
  WriteGifPicture(site_ / "Globals.gif", 4, 3, false);
  WriteFile(site_ / "Globals.txt", "PageTitle:\r\nHome\r\n\r\n");
  PictureItem* index = MakeItem(site_ / "Globals.gif");
  index->SetVar("ImageDescription", "lost?");
  index->SetModified();
  const Status refused = index->Save();
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("cannot be saved"), std::string::npos) << refused.message();
  EXPECT_EQ(ReadFile(site_ / "Globals.txt"), "PageTitle:\r\nHome\r\n\r\n");
  EXPECT_EQ(index->GetVarValue("ImageDescription"), "lost?");
}

TEST_F(PictureItemTest, CrossedOutPictureIsDeletedButItsInlineImageStays) {
  WriteFile(site_ / "a.jpg", Jpeg(""));
  WriteFile(site_ / "inline" / "a.gif", "GIF");
  PictureItem* item = MakeItem(site_ / "a.jpg");
  item->CrossOutTree();
  EXPECT_TRUE(item->Save().ok());
  EXPECT_FALSE(fs::exists(site_ / "a.jpg"));
  EXPECT_TRUE(fs::exists(site_ / "inline" / "a.gif"));
  EXPECT_TRUE(item->Save().ok());  // Already gone: no failure.
}

TEST_F(PictureItemTest, RenameKeepsTheExtensionUnlessOneIsTypedAndNeverReplacesAFile) {
  WriteFile(site_ / "a.jpg", Jpeg(""));
  PictureItem* item = MakeItem(site_ / "a.jpg");
  ASSERT_TRUE(item->Rename(ui_, "Sunset"));
  EXPECT_EQ(item->FullFileName(), Site() + "/Sunset.jpg");
  EXPECT_TRUE(fs::exists(site_ / "Sunset.jpg"));
  ASSERT_TRUE(item->Rename(ui_, "b.gif"));
  EXPECT_EQ(item->FullFileName(), Site() + "/b.gif");

  // A "." in a directory name plays no part.
  WriteFile(temp_ / "my.pics" / "a.jpg", Jpeg(""));
  PictureItem* dotted = MakeItem(temp_ / "my.pics" / "a.jpg");
  ASSERT_TRUE(dotted->Rename(ui_, "b"));
  EXPECT_EQ(dotted->FullFileName(), (temp_ / "my.pics" / "b.jpg").string());
  EXPECT_TRUE(ui_.messages().empty());

  // A name that is taken, leads out of the folder or is empty is refused; nothing is replaced.
  WriteFile(site_ / "c.jpg", Jpeg("ImageDescription:\r\nC\r\n\r\n"));
  WriteFile(site_ / "d.jpg", Jpeg("ImageDescription:\r\nD\r\n\r\n"));
  PictureItem* c = MakeItem(site_ / "c.jpg");
  const std::string refused = "It was not possible to rename the picture file.\n\n";
  for (const char* name : {"d", "../escape", ""}) {
    EXPECT_FALSE(c->Rename(ui_, name)) << name;
    const std::string& text = ui_.messages().back().text;
    EXPECT_EQ(text.rfind(refused, 0), 0u) << text;
    EXPECT_GT(text.size(), refused.size()) << "the reason follows, below the program's words";
  }
  EXPECT_EQ(c->FullFileName(), Site() + "/c.jpg");
  EXPECT_NE(CommentOf(site_ / "c.jpg").find("\r\nC\r\n"), std::string::npos);
  EXPECT_NE(CommentOf(site_ / "d.jpg").find("\r\nD\r\n"), std::string::npos);
}

TEST_F(PictureItemTest, EditorCommandKeepsThePathOneArgument) {
  const std::string path = "/pics/my trip/a \"b\".jpg";
  EXPECT_EQ(BuildEditorCommand("", path), (std::vector<std::string>{"xdg-open", path}));
  EXPECT_EQ(BuildEditorCommand("gimp %s", path), (std::vector<std::string>{"gimp", path}));
  EXPECT_EQ(BuildEditorCommand("gimp", path), (std::vector<std::string>{"gimp", path}));
  EXPECT_EQ(BuildEditorCommand("\"/opt/My Editor/edit\" --file=%s -n", path),
            (std::vector<std::string>{"/opt/My Editor/edit", "--file=" + path, "-n"}));
  // A path that holds "%s" itself is put in once, not expanded again.
  EXPECT_EQ(BuildEditorCommand("ed %s", "/a%s.jpg"), (std::vector<std::string>{"ed", "/a%s.jpg"}));
}

TEST_F(PictureItemTest, OpenStartsTheEditorWithoutAShell) {
  WriteFile(site_ / "a b;touch x.jpg", Jpeg(""));
  PictureItem* item = MakeItem(site_ / "a b;touch x.jpg");
  const fs::path copy = temp_ / "copied.jpg";
  WriteSetting("Files", "PictureEditor", "cp %s " + copy.string());
  item->Open(ui_);
  for (int i = 0; i < 200 && !fs::exists(copy); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(fs::exists(copy));
  EXPECT_FALSE(fs::exists(fs::current_path() / "x.jpg"));
  EXPECT_TRUE(ui_.messages().empty());

  WriteSetting("Files", "PictureEditor", "/no/such/editor %s");
  item->Open(ui_);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].title, "Error");
  EXPECT_NE(ui_.messages()[0].text.find("/no/such/editor"), std::string::npos);
}

}  // namespace
}  // namespace pix::test
