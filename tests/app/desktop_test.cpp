#include "app/desktop.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/commandline.h"

namespace pix {
namespace {

TEST(DesktopArgumentsTest, CommandsAndTheirHelpStayWithTheCommandLine) {
  for (const char* first : {"generate", "organize", "comment", "publish", "check", "clean", "help",
                            "--help", "-h", "--version"}) {
    EXPECT_TRUE(IsCommandLineRequest({first, "x"})) << first;
  }
  // Everything else is the window's form: nothing, a site directory, or --home.
  EXPECT_FALSE(IsCommandLineRequest({}));
  EXPECT_FALSE(IsCommandLineRequest({"/home/me/site"}));
  EXPECT_FALSE(IsCommandLineRequest({"--home", "/tmp/home", "site"}));
  EXPECT_FALSE(IsCommandLineRequest({"Generate"}));
}

TEST(DesktopArgumentsTest, HomeAndSiteInEitherOrderWithOrWithoutEquals) {
  Result<DesktopOptions> options = ParseDesktopArguments({"site", "--home", "/h"});
  ASSERT_TRUE(options.ok()) << options.status().message();
  EXPECT_EQ(options->home, "/h");
  EXPECT_EQ(options->site_directory, "site");

  options = ParseDesktopArguments({"--home=/h2"});
  ASSERT_TRUE(options.ok());
  EXPECT_EQ(options->home, "/h2");
  EXPECT_FALSE(options->site_directory);

  // After "--" a name that begins with "-" is the site directory.
  options = ParseDesktopArguments({"--", "-odd name"});
  ASSERT_TRUE(options.ok());
  EXPECT_EQ(options->site_directory, "-odd name");
  EXPECT_FALSE(options->home);

  options = ParseDesktopArguments({});
  ASSERT_TRUE(options.ok());
  EXPECT_FALSE(options->home);
  EXPECT_FALSE(options->site_directory);
}

TEST(DesktopArgumentsTest, UsageErrorsAreOneLineLikeTheCommands) {
  const auto message = [](std::vector<std::string> args) {
    Result<DesktopOptions> options = ParseDesktopArguments(args);
    return options.ok() ? std::string("accepted") : options.status().message();
  };
  EXPECT_EQ(message({"--home"}), "--home needs a value");
  EXPECT_EQ(message({"--jobs=2", "site"}), "unknown option --jobs");
  EXPECT_EQ(message({"-x"}), "unknown option -x");
  EXPECT_EQ(message({"one", "two"}), "unexpected argument two");
}

TEST(DesktopArgumentsTest, AWordThatNamesNothingIsAMistypedCommand) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream messages;
  CommandLineIo io{in, out, messages, false, false};
  EXPECT_EQ(StartDesktopProgram({"genrate"}, io), kExitUsage);
  EXPECT_EQ(messages.str(), "pixamond: unknown command genrate\nTry 'pixamond --help'.\n");
}

}  // namespace
}  // namespace pix
