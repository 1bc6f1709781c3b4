// What a run writes with every setting at its default, pinned byte for byte: new settings
// and new variables must leave such a site exactly as it was. The pages carry one known
// difference, the standards-mode start of the page ("<!DOCTYPE html>" and the language of
// the HTML element), which is taken out before the comparison. The digests were taken with
// Debian 12's libjpeg-turbo and giflib, which make the pictures and the inline GIFs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "site/website.h"
#include "support/picture_builder.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// FNV-1a, 64 bits: a digest that is the same on every machine and needs no library.
std::string Digest(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// A page as it was before the standards-mode start.
std::string WithoutStandardsStart(std::string page) {
  for (const std::string& cut : {std::string("<!DOCTYPE html>\r\n")}) {
    for (std::size_t at; (at = page.find(cut)) != std::string::npos;) page.erase(at, cut.size());
  }
  const std::string lang = "<HTML lang=\"en\">";
  for (std::size_t at; (at = page.find(lang)) != std::string::npos;) {
    page.replace(at, lang.size(), "<HTML>");
  }
  return page;
}

TEST(DefaultOutputTest, ASiteWithDefaultSettingsIsWrittenAsBefore) {
  test::TempDir home;
  test::TempDir root;
  test::WriteFile(home / "pixamond.ini", "[HTMLDefaults]\nPersonFullName=Ann Example\n");
  // Every template of a page, and a detail page, with the names and sizes of the entries.
  test::WriteFile(
      home / "globals.txt",
      "PageHeadTemplate:\r\n<TITLE>${PageTitle}</TITLE>\r\n\r\n"
      "PageTitle:\r\nTitle\r\n\r\n"
      "PageBodyBeginTemplate:\r\n<BODY><H1>${PageLabel}</H1>${ActualReturnLabel}\r\n\r\n"
      "PageLabel:\r\nLabel\r\n\r\n"
      "FileLeaderTemplate:\r\n<UL>\r\n\r\n"
      "FileEntryTemplate:\r\n<LI><A href=\"${DetailPageFileURL}\"><IMG src=\"${ImageFileURL}\" "
      "width=\"${DisplayWidth}\" height=\"${DisplayHeight}\"></A> ${AnchorWidth}x${AnchorHeight} "
      "${FileSizeInK} K ${ImageCaption}|${ImageDateTaken}|${ImageCamera}\r\n\r\n"
      "FileTrailerTemplate:\r\n</UL>\r\n\r\n"
      "DirLeaderTemplate:\r\n<OL>\r\n\r\n"
      "DirEntryTemplate:\r\n<LI><A href=\"${AnchorFileURL}\"><IMG src=\"${ImageFileURL}\"></A> "
      "${FileLinkCount} ${TotalFileSizeInBytes}\r\n\r\n"
      "DirTrailerTemplate:\r\n</OL>\r\n\r\n"
      "PageEndTemplate:\r\n<P>${FileLinkCount} ${TotalFileSizeInK} ${PersonFullName}</BODY>\r\n\r\n"
      "PossibleReturnLabel:\r\n<A href=\"${ParentPageAnchor}\">${ParentPageLabel}</A>\r\n\r\n"
      "ParentPageLabel:\r\n${PageLabel}\r\n\r\n"
      "DetailPageTemplate:\r\n<HEAD><TITLE>${BaseFileName}</TITLE></HEAD><BODY>"
      "<IMG src=\"${AnchorFileURL}\" width=\"${AnchorWidth}\" height=\"${AnchorHeight}\">"
      "${ImageDescription}</BODY>\r\n\r\n");
  test::WriteJpegPicture(root / "wide.jpg", 640, 360,
                         "ImageDescription:\r\nA wide one\r\n\r\n");
  test::WriteJpegPicture(root / "tall.jpg", 90, 250, "");
  test::WriteGifPicture(root / "drawing.gif", 150, 120, false);
  test::WriteJpegPicture(root / "sub" / "small.jpg", 40, 30, "");
  test::WriteGifPicture(root / "sub" / "icon.gif", 20, 20, false);

  test::ScriptedUserInterface ui;
  Progress progress;
  CollectedDiagnostics diagnostics;
  WebSite site(root.path().string(), home.path().string(), ui, progress, diagnostics);
  ASSERT_TRUE(site.Prepare().ok());
  site.Execute();
  EXPECT_EQ(diagnostics.ProblemText(), "");

  std::map<std::string, std::string> digests;
  for (const auto& entry : fs::recursive_directory_iterator(root.path())) {
    // The inline folders' hidden marker files came in with them; they are no page or image.
    if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
    const std::string name = fs::relative(entry.path(), root.path()).generic_string();
    std::string bytes = test::ReadFile(entry.path());
    if (entry.path().extension() == ".html") bytes = WithoutStandardsStart(bytes);
    digests[name] = Digest(bytes);
  }
  const std::map<std::string, std::string> expected = {
      // Written by the program before the photographers' settings and variables came in;
      // the pictures themselves are the test's own.
      {"drawing.gif", "d482057c5e83f8fe"},
      {"drawing.html", "0fb2fbfc5678d2a1"},
      {"index.html", "83201d035be37b0b"},
      {"inline/drawing.gif", "4583d002ef75a793"},
      {"inline/tall.gif", "ed892506195f5293"},
      {"inline/wide.gif", "721798f773f9c7e9"},
      {"sub/icon.gif", "ca67aa98d2b86d6f"},
      {"sub/icon.html", "b01176b5278f72e0"},
      {"sub/index.html", "294331dabdf3c03b"},
      {"sub/inline/icon.gif", "ca97fda8e179be62"},
      {"sub/inline/small.gif", "3fb05f9772003e10"},
      {"sub/small.html", "5f6a5bba1ca53756"},
      {"sub/small.jpg", "2e3e8225719e940a"},
      {"tall.html", "57dee3960e3a3c4d"},
      {"tall.jpg", "42ccd8a81ba247a3"},
      {"wide.html", "69247daf75f50ca8"},
      {"wide.jpg", "3b5a1d676c323801"},
  };
  EXPECT_EQ(digests, expected);
}

}  // namespace
}  // namespace pix
