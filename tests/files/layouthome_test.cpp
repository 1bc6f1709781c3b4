#include "files/layouthome.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/diagnostics.h"
#include "files/settings.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

// Sets or clears environment variables for one test and restores them afterwards.
class ScopedEnvironment {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(LayoutHomeTest, ResolvesInTheDocumentedOrder) {
  ScopedEnvironment env;
  env.Set("PIXAMOND_HOME", "/tmp/px-home");
  env.Set("XDG_CONFIG_HOME", "/tmp/px-config");
  env.Set("HOME", "/tmp/px-user");
  EXPECT_EQ(*ResolveLayoutHome(std::filesystem::path("/tmp/px-option")), "/tmp/px-option");
  EXPECT_EQ(*ResolveLayoutHome(std::nullopt), "/tmp/px-home");
  env.Set("PIXAMOND_HOME", "");
  EXPECT_EQ(*ResolveLayoutHome(std::nullopt), "/tmp/px-config/pixamond");
  env.Set("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(*ResolveLayoutHome(std::nullopt), "/tmp/px-user/.config/pixamond");
  env.Set("HOME", nullptr);
  EXPECT_FALSE(ResolveLayoutHome(std::nullopt).ok());
}

TEST(LayoutHomeTest, TheHomeIsAbsoluteAndNormalWithoutATrailingSlash) {
  const Result<std::filesystem::path> home = ResolveLayoutHome(std::filesystem::path("rel/dir/"));
  ASSERT_TRUE(home.ok());
  EXPECT_TRUE(home->is_absolute());
  EXPECT_EQ(home->filename(), "dir");
  EXPECT_EQ(*ResolveLayoutHome(std::filesystem::path("/tmp/a/../px//")), "/tmp/px");
  EXPECT_EQ(*ResolveLayoutHome(std::filesystem::path("/")), "/");
}

TEST(LayoutHomeTest, SeedingCreatesTheHomeAndCopiesOnlyMissingFiles) {
  test::TempDir shipped;
  test::TempDir root;
  for (const char* name : kSiteLayoutFiles) test::WriteFile(shipped / name, "Shipped:\r\nx\r\n\r\n");
  const std::filesystem::path home = root / "deep" / "pixamond";
  test::WriteFile(home / "dglobals.txt", "Mine:\r\nkeep me\r\n\r\n");

  ASSERT_TRUE(PrepareLayoutHome(home, shipped.path()).ok());
  EXPECT_EQ(test::ReadFile(home / "globals.txt"), "Shipped:\r\nx\r\n\r\n");
  EXPECT_EQ(test::ReadFile(home / "mglobals.txt"), "Shipped:\r\nx\r\n\r\n");
  EXPECT_EQ(test::ReadFile(home / "dglobals.txt"), "Mine:\r\nkeep me\r\n\r\n");

  test::WriteFile(home / "globals.txt", "Edited:\r\ny\r\n\r\n");
  ASSERT_TRUE(PrepareLayoutHome(home, shipped.path()).ok());
  EXPECT_EQ(test::ReadFile(home / "globals.txt"), "Edited:\r\ny\r\n\r\n") << "never overwritten";
}

TEST(LayoutHomeTest, ANewHomeStartsPrivateAndSharpAndAHomesOwnSettingsStay) {
  test::TempDir shipped;
  test::TempDir root;
  CollectedDiagnostics diagnostics;
  ASSERT_TRUE(PrepareLayoutHome(root / "new", shipped.path()).ok());
  const RunSettings fresh = ReadRunSettings(root / "new", diagnostics);
  EXPECT_EQ(fresh.names.in_line_file_ext, "jpg");
  EXPECT_EQ(fresh.in_line_pixel_density, 2);
  EXPECT_EQ(fresh.detail_image_max_size, 1600);
  EXPECT_EQ(fresh.max_display.width, 240);
  EXPECT_EQ(fresh.max_display.height, 180);

  // A home with settings of its own keeps them, and the keys it lacks keep the design's
  // defaults.
  test::WriteFile(root / "own" / "pixamond.ini", "[Display]\nInLinePixelDensity=2\n");
  ASSERT_TRUE(PrepareLayoutHome(root / "own", shipped.path()).ok());
  EXPECT_EQ(test::ReadFile(root / "own" / "pixamond.ini"), "[Display]\nInLinePixelDensity=2\n");
  const RunSettings own = ReadRunSettings(root / "own", diagnostics);
  EXPECT_EQ(own.names.in_line_file_ext, "gif");
  EXPECT_EQ(own.in_line_pixel_density, 2);
  EXPECT_EQ(own.detail_image_max_size, 0);
  EXPECT_EQ(own.max_display.width, 100);
  EXPECT_TRUE(diagnostics.Problems().empty());
}

TEST(LayoutHomeTest, AHomeThatIsAFileIsReported) {
  test::TempDir root;
  test::WriteFile(root / "file", "");
  const Status status = PrepareLayoutHome(root / "file", root.path());
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("file"), std::string::npos);
}

TEST(LayoutHomeTest, InstalledDataIsFoundFromEachProgramFolder) {
  test::TempDir prefix;
  const std::filesystem::path data = prefix / "share" / "pixamond";
  test::WriteFile(data / "globals.txt", "");
  const std::vector<std::filesystem::path> program_dirs{"bin", "lib/pixamond"};
  const std::filesystem::path data_dir = "share/pixamond";

  EXPECT_EQ(FindInstalledDataDir(prefix / "bin", program_dirs, data_dir), data);
  EXPECT_EQ(FindInstalledDataDir(prefix / "lib" / "pixamond", program_dirs, data_dir), data);
  EXPECT_EQ(FindInstalledDataDir(prefix.path() / "bin/", program_dirs, data_dir), data);
  // A build tree is no install folder, and neither is a folder that merely ends alike.
  EXPECT_EQ(FindInstalledDataDir(prefix / "build", program_dirs, data_dir), std::nullopt);
  EXPECT_EQ(FindInstalledDataDir(prefix / "pixamond", program_dirs, data_dir), std::nullopt);
  EXPECT_EQ(FindInstalledDataDir(prefix / "other" / "pixamond", program_dirs, data_dir),
            std::nullopt);
  // An install folder without the data beside it.
  test::TempDir bare;
  EXPECT_EQ(FindInstalledDataDir(bare / "bin", program_dirs, data_dir), std::nullopt);
}

TEST(LayoutHomeTest, ShippedDefaultLayoutIsFoundAndComplete) {
  const std::filesystem::path data = FindShippedDataDir();
  for (const char* name : kSiteLayoutFiles) {
    EXPECT_TRUE(std::filesystem::is_regular_file(data / name)) << name;
  }
}

}  // namespace
}  // namespace pix
