#include "app/commandline.h"

#include <gtest/gtest.h>

#include <sstream>

#include "files/layouthome.h"
#include "files/settings.h"
#include "picture/comread.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// One command run with string streams in place of the terminal.
struct CommandRun {
  int status = -1;
  std::string out;
  std::string messages;
};

class CommandLineTest : public testing::Test {
 protected:
  CommandRun Run(std::vector<std::string> args, const std::string& input = "",
                 bool terminal = false) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream messages;
    TCommandLineIo io{in, out, messages, terminal, false};
    CommandRun run;
    run.status = RunCommandLine(args, io);
    run.out = out.str();
    run.messages = messages.str();
    return run;
  }

  test::TempDir home;
  test::TempDir site;
  test::ScopedLayoutHome restoreHome{home.path()};
};

TEST_F(CommandLineTest, HelpVersionAndUsageErrors) {
  EXPECT_EQ(Run({}).status, kExitOk);
  EXPECT_NE(Run({"--help"}).out.find("pixamond generate SITE_DIR"), std::string::npos);
  EXPECT_EQ(Run({"--version"}).out, "pixamond 2.0\n");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"generate"}, {"frobnicate", "x"}, {"generate", "a", "b"},
           {"generate", "a", "--bogus"}, {"generate", "a", "--home"}}) {
    const CommandRun run = Run(args);
    EXPECT_EQ(run.status, kExitUsage) << args.front();
    EXPECT_NE(run.messages.find("pixamond --help"), std::string::npos);
  }
}

TEST_F(CommandLineTest, GenerateWithoutANameFailsWhenNobodyCanBeAsked) {
  test::WriteJpegPicture(site / "a.jpg", 10, 10, "");
  const CommandRun run = Run({"generate", site.path().string(), "--home", home.path().string()});
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.messages, "Your Full Name is a required value.\n");
  EXPECT_FALSE(fs::exists(site / "index.html"));
}

TEST_F(CommandLineTest, GenerateAsksForTheNameOnATerminal) {
  test::WriteJpegPicture(site / "a.jpg", 10, 10, "");
  const CommandRun run = Run({"generate", site.path().string(), "--home", home.path().string(),
                              "--quiet"},
                             "\nAnn Example\n", /*terminal=*/true);
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(GetIniString("HTMLDefaults", "PersonFullName"), "Ann Example");
  EXPECT_TRUE(fs::exists(site / "index.html"));
}

TEST_F(CommandLineTest, GenerateStoresNameAndEmailAndSummarises) {
  test::WriteJpegPicture(site / "a.jpg", 10, 10, "");
  test::WriteJpegPicture(site / "sub" / "b.jpg", 10, 10, "");
  const CommandRun run = Run({"generate", site.path().string(), "--home", home.path().string(),
                              "--name", "Ann Example", "--email", "ann@example.org"});
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(GetIniString("HTMLDefaults", "EMailAddress"), "ann@example.org");
  EXPECT_NE(run.messages.find("2 pictures, 4 pages written, 2 inline images made, 0 reused"),
            std::string::npos)
      << run.messages;
  // The layout home was seeded with the default layout, so the pages are real ones: two
  // index pages and two detail pages.
  EXPECT_TRUE(fs::exists(home / "globals.txt"));
  EXPECT_NE(test::ReadFile(site / "index.html").find("<TITLE>"), std::string::npos);
}

TEST_F(CommandLineTest, GenerateReportsBadPicturesWithTheirPathAndExitsWithOne) {
  test::WriteFile(site / "broken.jpg", "garbage");
  const CommandRun run = Run({"generate", site.path().string(), "--home", home.path().string(),
                              "--name", "Ann", "--quiet"});
  EXPECT_EQ(run.status, kExitReported);
  EXPECT_NE(run.messages.find("JPEG file " + (site / "broken.jpg").string() + " is corrupt"),
            std::string::npos)
      << run.messages;
}

TEST_F(CommandLineTest, RefusedDirectoriesExitWithTwo) {
  EXPECT_EQ(Run({"generate", "/", "--home", home.path().string(), "--name", "A"}).status,
            kExitUsage);
  const CommandRun own = Run({"generate", home.path().string() + "/", "--home",
                              home.path().string(), "--name", "A"});
  EXPECT_EQ(own.status, kExitUsage);
  EXPECT_NE(own.messages.find("Select a directory that does not contain program."),
            std::string::npos);
  EXPECT_EQ(Run({"generate", (site / "missing").string(), "--home", home.path().string(),
                 "--name", "A"})
                .status,
            kExitUsage);
}

TEST_F(CommandLineTest, NamesThatNeedEscapingGiveWorkingLinks) {
  test::WriteJpegPicture(site / "x&y" / "a #1 & <b>.jpg", 20, 10, "");
  const CommandRun run = Run({"generate", site.path().string(), "--home", home.path().string(),
                              "--name", "Ann", "--quiet"});
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_TRUE(fs::exists(site / "x&y" / "a #1 & <b>.html"));
  EXPECT_TRUE(fs::exists(site / "x&y" / "inline" / "a #1 & <b>.gif"));
  const std::string page = test::ReadFile(site / "x&y" / "index.html");
  EXPECT_NE(page.find("href=\"a%20%231%20%26%20%3Cb%3E.html\""), std::string::npos) << page;
  EXPECT_NE(page.find("src=\"inline/a%20%231%20%26%20%3Cb%3E.gif\""), std::string::npos);
  EXPECT_NE(page.find(">a #1 &amp; &lt;b&gt;<"), std::string::npos) << "the name as text";
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(test::ReadFile(site / "index.html").find("href=\"x%26y/index.html\""),
            std::string::npos);
}

TEST_F(CommandLineTest, OrganizePrintsTheMatchPagesItWrote) {
  for (const char* name : {"photo0001.jpg", "photo0002.jpg", "photo0003.jpg", "other.jpg"}) {
    test::WriteJpegPicture(site / name, 10, 10, "");
  }
  const CommandRun run = Run({"organize", site.path().string(), "--home", home.path().string()});
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(run.out, "photo0000\nmiscpics\n");
}

TEST_F(CommandLineTest, CommentPrintsAndReplacesTheCaption) {
  const fs::path picture = site / "a.jpg";
  test::WriteJpegPicture(picture, 33, 17, "ImageDescription:\r\nOld\r\n\r\n");
  EXPECT_EQ(Run({"comment", picture.string()}).out, "ImageDescription:\r\nOld\r\n\r\n");
  test::WriteFile(site / "new.txt", "ImageDescription:\r\nNew\r\n\r\n");
  const CommandRun set = Run({"comment", picture.string(), "--set", (site / "new.txt").string()});
  EXPECT_EQ(set.status, kExitOk) << set.messages;
  EXPECT_EQ(set.out, "");
  EXPECT_EQ(Run({"comment", picture.string()}).out, "ImageDescription:\r\nNew\r\n\r\n");
  EXPECT_EQ(Run({"comment", picture.string(), "--set", "-"}, "From stdin\n").status, kExitOk);
  EXPECT_EQ(Run({"comment", picture.string()}).out, "From stdin\r\n");
  EXPECT_EQ(Run({"comment", (site / "new.txt").string()}).status, kExitReported);
}

}  // namespace
}  // namespace pix
