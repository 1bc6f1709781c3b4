#include "app/commandline.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <utility>

#include "files/layouthome.h"
#include "files/settings.h"
#include "picture/comread.h"
#include "support/command_run.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

using test::CommandRun;

class CommandLineTest : public testing::Test {
 protected:
  // The design's defaults (GIF inline images), not the settings a new home is given.
  CommandLineTest() { test::WriteFile(home_ / "pixamond.ini", ""); }

  static CommandRun Run(const std::vector<std::string>& args, const std::string& input = "",
                        bool terminal = false, const std::string& account_name = "") {
    return test::RunCommand(args, input, terminal, account_name);
  }
  // "generate SITE --home HOME" and then `more`.
  CommandRun Generate(std::vector<std::string> more, const std::string& input = "",
                      bool terminal = false, const std::string& account_name = "") {
    std::vector<std::string> args = {"generate", site_.path().string(), "--home",
                                     home_.path().string()};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args, input, terminal, account_name);
  }
  std::string PersonFullName() const {
    return SettingsFile(home_.path()).GetString("HTMLDefaults", "PersonFullName");
  }

  test::TempDir home_;
  test::TempDir site_;
};

TEST_F(CommandLineTest, HelpVersionAndUsageErrors) {
  EXPECT_EQ(Run({}).status, kExitOk);
  EXPECT_NE(Run({"--help"}).out.find("pixamond generate SITE_DIR"), std::string::npos);
  EXPECT_EQ(Run({"--version"}).out, "pixamond 2.0\n");
  // Those of publish, check and clean; the others have the table of their own below.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"generate"}, {"publish", "a"}, {"publish", "a", "b", "c"}, {"check", "a", "--delete"},
           {"clean", "a", "--home", "h"}}) {
    const CommandRun run = Run(args);
    EXPECT_EQ(run.status, kExitUsage) << args.front();
    EXPECT_NE(run.messages.find("pixamond --help"), std::string::npos);
  }
}

// Without a name and nobody to ask, generate fails; on a terminal the run asks for the name,
// offering the account's, and Enter takes the offer.
TEST_F(CommandLineTest, GenerateAsksForTheNameOnATerminalAndFailsWhenNobodyCanBeAsked) {
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  CommandRun run = Generate({});
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.messages,
            "pixamond: Your Full Name is a required value. Give it once with --name "
            "\"Your Name\"; it is remembered.\n");
  EXPECT_FALSE(fs::exists(site_ / "index.html"));

  run = Generate({"--quiet"}, "\nAnn Example\n", /*terminal=*/true);
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(PersonFullName(), "Ann Example");
  EXPECT_TRUE(fs::exists(site_ / "index.html"));

  test::WriteFile(home_ / "pixamond.ini", "");
  run = Generate({"--quiet"}, "\n", /*terminal=*/true, "Ann Account");
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(run.messages, "Please enter your full name: [Ann Account] ");
  EXPECT_EQ(PersonFullName(), "Ann Account");
}

// The summary of a run and of a rerun (which pages a rerun rewrites is the generator's own
// test); a name given again leaves the settings file alone.
TEST_F(CommandLineTest, GenerateStoresNameAndEmailAndSummarisesEveryRun) {
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "sub" / "b.jpg", 10, 10, "");
  const CommandRun run = Generate({"--name", "Ann Example", "--email", "ann@example.org"});
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(SettingsFile(home_.path()).GetString("HTMLDefaults", "EMailAddress"), "ann@example.org");
  EXPECT_NE(run.messages.find("2 pictures, 4 pages written, 0 unchanged, 2 inline images made, 0 reused"),
            std::string::npos)
      << run.messages;
  // The layout home was seeded with the default layout, so the pages are real ones: two
  // index pages and two detail pages.
  EXPECT_TRUE(fs::exists(home_ / "globals.txt"));
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("<TITLE>"), std::string::npos);

  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (home_ / "pixamond.ini").c_str(), past, 0), 0);
  const CommandRun again = Generate({"--name", "Ann Example"});
  EXPECT_EQ(again.status, kExitOk) << again.messages;
  EXPECT_NE(again.messages.find("2 pictures, 0 pages written, 4 unchanged, 0 inline images made, "
                                "2 reused"),
            std::string::npos)
      << again.messages;
  EXPECT_EQ(test::StatOf(home_ / "pixamond.ini").st_mtim.tv_sec, 1000000000);
}

TEST_F(CommandLineTest, RefusedDirectoriesExitWithTwo) {
  for (const std::string& dir :
       {std::string("/"), home_.path().string() + "/", (site_ / "missing").string()}) {
    const CommandRun run = Run({"generate", dir, "--home", home_.path().string(), "--name", "A"});
    EXPECT_EQ(run.status, kExitUsage) << dir;
    if (dir == home_.path().string() + "/") {
      EXPECT_NE(run.messages.find("Select a directory that does not contain program."),
                std::string::npos);
    }
  }
}

TEST_F(CommandLineTest, AnUnreadableLayoutStopsTheRunWithItsMessageAndExitOne) {
  test::WriteJpegPicture(site_ / "a.jpg", 20, 20, "");
  test::WriteFile(home_ / "globals.txt", std::string("PageTitle:\r\n\0\0\r\n", 16));
  const CommandRun run = Generate({"--name", "A"});
  EXPECT_EQ(run.status, kExitReported);
  EXPECT_EQ(run.messages, "pixamond: " + (home_ / "globals.txt").string() +
                              " is not a text file of variables; it is not used\n");
  EXPECT_FALSE(std::filesystem::exists(site_ / "index.html"));
}

TEST_F(CommandLineTest, OrganizeWithoutSeriesPrintsNoCatchAllPageAndGenerateWritesNone) {
  for (const char* name : {"beach.jpg", "other.jpg"}) {
    test::WriteJpegPicture(site_ / name, 10, 10, "");
  }
  const CommandRun run = Run({"organize", site_.path().string(), "--home", home_.path().string()});
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.messages.find("no name series found"), std::string::npos);
  const CommandRun generate = Generate({"--name", "Ann"});
  EXPECT_EQ(generate.status, kExitOk) << generate.messages;
  EXPECT_FALSE(fs::exists(site_ / "miscpics.html"));
  EXPECT_TRUE(fs::exists(site_ / "index.html"));
}

TEST_F(CommandLineTest, CommentPrintsAndReplacesTheCaption) {
  const fs::path picture = site_ / "a.jpg";
  test::WriteJpegPicture(picture, 33, 17, "ImageDescription:\r\nOld\r\n\r\n");
  EXPECT_EQ(Run({"comment", picture.string()}).out, "ImageDescription:\r\nOld\r\n\r\n");
  test::WriteFile(site_ / "new.txt", "ImageDescription:\r\nNew\r\n\r\n");
  const CommandRun set = Run({"comment", picture.string(), "--set", (site_ / "new.txt").string()});
  EXPECT_EQ(set.status, kExitOk) << set.messages;
  EXPECT_EQ(set.out, "");
  EXPECT_EQ(Run({"comment", picture.string()}).out, "ImageDescription:\r\nNew\r\n\r\n");
  EXPECT_EQ(Run({"comment", picture.string(), "--set", "-"}, "From stdin\n").status, kExitOk);
  EXPECT_EQ(Run({"comment", picture.string()}).out, "From stdin\r\n");
  EXPECT_EQ(Run({"comment", (site_ / "new.txt").string()}).status, kExitReported);
}

TEST_F(CommandLineTest, CommentOpensOnlyRegularFiles) {
  const fs::path picture = site_ / "photo.jpg";
  test::WriteJpegPicture(picture, 10, 10, "Old\r\n");
  test::WriteFile(site_ / "new.txt", "New\n");
  const fs::path pipe = site_ / "pipe.jpg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  const std::string pipe_refused =
      "pixamond: " + pipe.string() + " is a named pipe, not a regular file; it is not opened\n";
  // Nothing ever writes into the pipe: a command that opened it would wait for ever.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"comment", pipe.string()},
           {"comment", pipe.string(), "--set", "-"},
           {"comment", picture.string(), "--set", pipe.string()}}) {
    const CommandRun run = Run(args);
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.messages, pipe_refused);
  }
  EXPECT_EQ(Run({"comment", site_.path().string()}).messages,
            "pixamond: " + site_.path().string() +
                " is a directory, not a regular file; it is not opened\n");
  EXPECT_EQ(Run({"comment", "/dev/null"}).messages,
            "pixamond: /dev/null is a device, not a regular file; it is not opened\n");
  EXPECT_EQ(Run({"comment", picture.string(), "--set", "/dev/zero"}).status, kExitUsage);
  EXPECT_EQ(Run({"comment", picture.string()}).out, "Old\r\n");
}

// A corrupt picture is refused in one line by comment and by its --set alike; a read-only
// picture is left as it is, and said so in one line.
TEST_F(CommandLineTest, CommentRefusesCorruptAndReadOnlyPicturesInOneLine) {
  // Start and end of image and nothing between: no frame, so no picture to caption.
  const fs::path empty = site_ / "empty.jpg";
  test::WriteFile(empty, test::Bytes({0xFF, 0xD8, 0xFF, 0xD9}));
  test::WriteFile(site_ / "new.txt", "ImageDescription:\r\nNew\r\n\r\n");
  const std::string corrupt = "pixamond: JPEG file " + empty.string() + " is corrupt\n";
  const CommandRun read = Run({"comment", empty.string()});
  EXPECT_EQ(read.status, kExitReported);
  EXPECT_EQ(read.messages, corrupt);
  CommandRun set = Run({"comment", empty.string(), "--set", (site_ / "new.txt").string()});
  EXPECT_EQ(set.status, kExitReported);
  EXPECT_EQ(set.messages, corrupt);
  EXPECT_EQ(test::ReadFile(empty), test::Bytes({0xFF, 0xD8, 0xFF, 0xD9}));

  const fs::path picture = site_ / "photo.jpg";
  test::WriteJpegPicture(picture, 10, 10, "Old\r\n");
  ::chmod(picture.c_str(), 0444);
  const std::string before = test::ReadFile(picture);
  set = Run({"comment", picture.string(), "--set", (site_ / "new.txt").string()});
  EXPECT_EQ(set.status, kExitReported);
  EXPECT_EQ(set.messages, "pixamond: " + picture.string() + " is read-only; it is left as it is\n");
  EXPECT_EQ(test::ReadFile(picture), before);
}

// Every value option, first as "--option value", then as "--option=value". A value may
// itself hold "=" or begin with "-".
TEST(CommandLineOptionsTest, ValueAsNextArgumentOrAfterEqualsSign) {
  for (const bool joined : {false, true}) {
    auto spell = [joined](std::vector<std::string> args, const std::string& option,
                          const std::string& value) {
      if (joined) {
        args.push_back(option + "=" + value);
      } else {
        args.push_back(option);
        args.push_back(value);
      }
      return args;
    };
    std::vector<std::string> generate = {"generate", "site"};
    generate = spell(generate, "--home", "/h");
    generate = spell(generate, "--name", "Ann = Example");
    generate = spell(generate, "--email", "-ann@example.org");
    generate = spell(generate, "--jobs", "3");
    const Result<CommandLineOptions> parsed = ParseCommandLine(generate);
    ASSERT_TRUE(parsed.ok()) << parsed.status().message();
    EXPECT_EQ(parsed->target, "site");
    EXPECT_EQ(parsed->home, "/h");
    EXPECT_EQ(parsed->full_name, "Ann = Example");
    EXPECT_EQ(parsed->e_mail_address, "-ann@example.org");
    EXPECT_EQ(parsed->jobs, 3);

    const Result<CommandLineOptions> comment =
        ParseCommandLine(spell({"comment", "a.jpg"}, "--set", "-"));
    ASSERT_TRUE(comment.ok()) << comment.status().message();
    EXPECT_EQ(comment->comment_file, "-");
  }
}

// Options before and after the positional argument are all read, also when POSIXLY_CORRECT
// asks other programs to stop at the first argument that is not an option; after "--" an
// argument that looks like an option is the positional one.
TEST(CommandLineOptionsTest, OptionsOnEitherSideOfThePositionalArgument) {
  for (const bool posixly_correct : {false, true}) {
    if (posixly_correct) ::setenv("POSIXLY_CORRECT", "1", 1);
    const Result<CommandLineOptions> parsed =
        ParseCommandLine({"generate", "--home", "/h", "site", "--jobs", "2", "--quiet"});
    if (posixly_correct) ::unsetenv("POSIXLY_CORRECT");
    ASSERT_TRUE(parsed.ok()) << parsed.status().message();
    EXPECT_EQ(parsed->target, "site");
    EXPECT_EQ(parsed->home, "/h");
    EXPECT_EQ(parsed->jobs, 2);
    EXPECT_TRUE(parsed->quiet);
  }
  const Result<CommandLineOptions> dashed =
      ParseCommandLine({"comment", "--set", "new.txt", "--", "--verbose.jpg"});
  ASSERT_TRUE(dashed.ok()) << dashed.status().message();
  EXPECT_EQ(dashed->target, "--verbose.jpg");
  EXPECT_FALSE(dashed->verbose);
}

// Each usage error is one line naming what is wrong, then the pointer to --help, and exit
// status 2. All runs share one process, so a parse that stopped inside an argument must
// leave nothing behind for the next one.
TEST_F(CommandLineTest, UsageErrorsGiveOneLineAndExitTwo) {
  const std::string dir = site_.path().string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"generate", dir, "--bogus"}, "unknown option --bogus"},
      {{"generate", "--bogus=1", dir}, "unknown option --bogus"},
      {{"organize", dir, "--jobs", "2"}, "unknown option --jobs"},
      {{"comment", dir, "--home=x"}, "unknown option --home"},
      {{"comment", "-rf.jpg"}, "unknown option -rf.jpg"},
      {{"generate", dir, "--home"}, "--home needs a value"},
      {{"comment", dir, "--set"}, "--set needs a value"},
      {{"organize", dir, "--quiet=yes"}, "--quiet takes no value"},
      {{"generate", dir, "--jobs=0"}, "--jobs needs a number from 1 to 9999"},
      {{"generate", dir, "other"}, "unexpected argument other"},
      {{"comment", "--", "a.jpg", "b.jpg"}, "unexpected argument b.jpg"},
      {{"organize", "--quiet"}, "organize needs a site directory"},
      {{"comment"}, "comment needs a picture"},
      {{"frobnicate", dir}, "unknown command frobnicate"},
  };
  for (const auto& [args, what] : cases) {
    const CommandRun run = Run(args);
    EXPECT_EQ(run.status, kExitUsage) << what;
    EXPECT_EQ(run.messages, "pixamond: " + what + "\nTry 'pixamond --help'.\n");
    EXPECT_EQ(run.out, "");
  }
  // getopt_long stopped at the "r" of "-rf.jpg"; the next parse starts afresh all the same.
  ASSERT_FALSE(ParseCommandLine({"comment", "-rf.jpg"}).ok());
  const Result<CommandLineOptions> after = ParseCommandLine({"comment", "a.jpg"});
  ASSERT_TRUE(after.ok()) << after.status().message();
  EXPECT_EQ(after->target, "a.jpg");
}

TEST_F(CommandLineTest, ProblemsAreReportedInOneLineAndCountTowardTheExitStatus) {
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  test::WriteFile(home_ / "pixamond.ini",
                  "[HTMLDefaults]\nPersonFullName=Ann\n[FileExtensions]\nInLineFileExt=png\n");
  const CommandRun run = Generate({"--quiet"});
  EXPECT_EQ(run.status, kExitReported);
  EXPECT_EQ(
      run.messages,
      "InLineFileExt \"png\" is not supported: inline images are GIF, JPEG or WebP files and "
      "end in .gif, .jpg or .webp\n");
  EXPECT_TRUE(fs::exists(site_ / "inline" / "a.gif"));
}

TEST_F(CommandLineTest, PicturesThatWouldShareAPageAreLeftOutAndReported) {
  test::WriteJpegPicture(site_ / "a.jpeg", 30, 10, "");
  test::WriteJpegPicture(site_ / "a.jpg", 10, 30, "");
  test::WriteJpegPicture(site_ / "index.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "2024.06.01 walk.jpg", 10, 10, "");
  test::WriteFile(home_ / "pixamond.ini", "[HTMLDefaults]\nPersonFullName=Ann\n");
  const CommandRun run = Generate({"--quiet"});
  EXPECT_EQ(run.status, kExitReported);
  EXPECT_NE(run.messages.find("a.jpg is left out of the site: a.jpeg already makes"),
            std::string::npos)
      << run.messages;
  EXPECT_NE(run.messages.find("index.jpg is left out of the site"), std::string::npos);
  const std::string detail = test::ReadFile(site_ / "a.html");
  EXPECT_NE(detail.find("a.jpeg"), std::string::npos) << "the first in name order keeps it";
  EXPECT_EQ(detail.find("a.jpg"), std::string::npos) << detail;
  EXPECT_EQ(test::ReadFile(site_ / "index.html").find("index.jpg"), std::string::npos);
  EXPECT_TRUE(fs::exists(site_ / "2024.06.01 walk.html")) << "a name with dots gets its page";
  EXPECT_TRUE(fs::exists(site_ / "inline" / "2024.06.01 walk.gif"));
}

// Values joined to their options, flags in any place; the name reaches the pages escaped.
TEST_F(CommandLineTest, JoinedValuesAndFlagsWorkThroughAWholeRun) {
  for (const char* name : {"photo0001.jpg", "photo0002.jpg", "photo0003.jpg"}) {
    test::WriteJpegPicture(site_ / name, 10, 10, "");
  }
  const std::string home_option = "--home=" + home_.path().string();
  const CommandRun generate = Run({"generate", "--quiet", "--verbose", home_option,
                                   "--name=Ann & <Bob>", "--jobs=2", site_.path().string()});
  EXPECT_EQ(generate.status, kExitOk) << generate.messages;
  EXPECT_EQ(generate.messages.find("pictures,"), std::string::npos)
      << "--quiet leaves out the summary";
  EXPECT_NE(generate.messages.find("GifRSize: Image 1"), std::string::npos)
      << "--verbose shows the picture libraries' detail lines";
  EXPECT_EQ(PersonFullName(), "Ann & <Bob>");
  // The user's name reaches the pages escaped.
  const std::string index = test::ReadFile(site_ / "index.html");
  EXPECT_NE(index.find("Ann &amp; &lt;Bob&gt;"), std::string::npos) << index;
  EXPECT_EQ(index.find("<Bob>"), std::string::npos);

  const CommandRun organize =
      Run({"organize", site_.path().string(), "--verbose", "--quiet", home_option});
  EXPECT_EQ(organize.status, kExitOk) << organize.messages;
  EXPECT_EQ(organize.out, "photo0000\nmiscpics\n");

  test::WriteFile(site_ / "new.txt", "Caption\r\n");
  const fs::path picture = site_ / "photo0001.jpg";
  EXPECT_EQ(Run({"comment", "--verbose", picture.string(), "--set=" + (site_ / "new.txt").string(),
                 "--quiet"})
                .status,
            kExitOk);
  EXPECT_EQ(Run({"comment", picture.string(), "--quiet", "--verbose"}).out, "Caption\r\n");
}

TEST_F(CommandLineTest, GenerateCheckPublishAndCleanFromTheCommandLine) {
  test::WriteJpegPicture(site_ / "a.jpg", 40, 30, "");
  const std::string site = site_.path().string();
  const CommandRun generated = Generate({"--name", "Ann", "--check"});
  EXPECT_EQ(generated.status, kExitOk) << generated.messages;
  EXPECT_NE(generated.messages.find("check: 0 findings\n"), std::string::npos) << generated.messages;

  test::TempDir web;
  const CommandRun dry = Run({"publish", site, web.path().string(), "--dry-run"});
  EXPECT_EQ(dry.status, kExitOk) << dry.messages;
  EXPECT_NE(dry.out.find("copy index.html\n"), std::string::npos) << dry.out;
  EXPECT_FALSE(fs::exists(web / "index.html"));
  const CommandRun published = Run({"publish", site, web.path().string()});
  EXPECT_EQ(published.status, kExitOk) << published.messages;
  EXPECT_TRUE(fs::exists(web / "index.html"));
  EXPECT_NE(published.messages.find(" unchanged, 0 removed, "), std::string::npos)
      << published.messages;
  EXPECT_EQ(Run({"publish", site, (site_ / "web").string()}).status, kExitUsage);

  test::WriteFile(site_ / "index.html", "<html><img src=x.jpg></html>");
  const CommandRun checked = Run({"check", site});
  EXPECT_EQ(checked.status, kExitReported);
  EXPECT_NE(checked.out.find("index.html:1: <img> src x.jpg leads to nothing\n"), std::string::npos)
      << checked.out;

  const CommandRun cleaned = Run({"clean", site});
  EXPECT_EQ(cleaned.status, kExitOk) << cleaned.messages;
  EXPECT_NE(cleaned.messages.find("kept index.html: changed since Pixamond wrote it\n"),
            std::string::npos) << cleaned.messages;
  EXPECT_FALSE(fs::exists(site_ / ".pixamond-record"));
  EXPECT_EQ(Run({"check", site}).status, kExitReported);
  EXPECT_EQ(Run({"clean", (site_ / "missing").string()}).status, kExitUsage);
}

}  // namespace
}  // namespace pix
