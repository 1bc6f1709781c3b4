// Text and file names between the core and Qt: text crosses as UTF-8, file names as the file
// system spells them, and a name that is not UTF-8 is shown with U+FFFD but found again.
#include "base/ui/qttext.h"

#include <gtest/gtest.h>

#include <QFile>

#include "support/temp_dir.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

const char kStormUtf8[] =
    "Storm \xC3\xBC"
    "ber Z\xC3\xBCrich \xE2\x80\x93 5 \xE2\x82\xAC";
const char16_t kStorm[] = u"Storm \u00FCber Z\u00FCrich \u2013 5 \u20AC";

TEST(QtTextTest, TextAndUtf8NamesCrossAsTheyAre) {
  EXPECT_EQ(ui::ToQt(kStormUtf8), QString::fromUtf16(kStorm));
  EXPECT_EQ(ui::FromQt(QString::fromUtf16(kStorm)), kStormUtf8);
  EXPECT_EQ(ui::FromQt(ui::ToQt("")), "");
  // Bytes that are not UTF-8 are shown as U+FFFD, never as other letters.
  EXPECT_EQ(ui::ToQt("caf\xE9"), QString::fromUtf16(u"caf\uFFFD"));
  // UTF-8 file names cross as they are.
  const std::string name =
      "/photos/Fotos-Caf\xC3\xA9/Z\xC3\xBCrich S\xC3\xBC"
      "d.jpg";
  EXPECT_EQ(ui::PathToQt(name),
            QString::fromUtf16(u"/photos/Fotos-Caf\u00E9/Z\u00FCrich S\u00FCd.jpg"));
  EXPECT_EQ(ui::PathFromQt(ui::PathToQt(name)).native(), name);
  // Qt's own file classes take the QString for the same file.
  EXPECT_EQ(QFile::encodeName(ui::PathToQt(name)).toStdString(), name);
}

TEST(QtPathTest, NameThatIsNotUtf8IsShownWithAReplacementAndComesBackByteForByte) {
  TempDir dir;
  const fs::path folder = dir / "Fotos-Caf\xE9";
  const fs::path picture = folder / "\xFF\xFE photo \xE9t\xE9.jpg";
  WriteFile(picture, "x");

  const QString shown = ui::PathToQt(picture);
  EXPECT_TRUE(
      shown.endsWith(QString::fromUtf16(u"/Fotos-Caf\uFFFD/\uFFFD\uFFFD photo \uFFFDt\uFFFD.jpg")))
      << ui::FromQt(shown);
  EXPECT_EQ(ui::PathFromQt(shown).native(), picture.native());
  EXPECT_EQ(ui::PathFromQt(ui::PathToQt(folder)).native(), folder.native());

  // A relative name is looked up from the working directory.
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  EXPECT_EQ(
      ui::PathFromQt(QString::fromUtf16(u"Fotos-Caf\uFFFD/\uFFFD\uFFFD photo \uFFFDt\uFFFD.jpg"))
          .native(),
      fs::path("Fotos-Caf\xE9/\xFF\xFE photo \xE9t\xE9.jpg").native());
  fs::current_path(before);
}

TEST(QtPathTest, NamesThatLookAlikeAreNotGuessed) {
  TempDir dir;
  WriteFile(dir / "a\xE9.jpg", "1");
  WriteFile(dir / "a\xE8.jpg", "2");
  // Both show as "a\uFFFD.jpg": neither is taken, and the plain UTF-8 spelling stands.
  const QString shown = ui::PathToQt(dir / "a\xE9.jpg");
  EXPECT_EQ(ui::PathFromQt(shown).native(), (dir / "a\xEF\xBF\xBD.jpg").native());
  // A name that exists under the plain spelling is that name.
  WriteFile(dir / "a\xEF\xBF\xBD.jpg", "3");
  EXPECT_EQ(ui::PathFromQt(shown).native(), (dir / "a\xEF\xBF\xBD.jpg").native());
}

}  // namespace
}  // namespace pix::test
