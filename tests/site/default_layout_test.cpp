// The shipped default layout must read back exactly and refer only to variables that a
// generation run or the layout itself provides: a misspelt reference would silently vanish
// from every page.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "files/layouthome.h"
#include "files/utils.h"
#include "site/template.h"
#include "site/variable.h"

namespace pix {
namespace {

// Variables that the generator computes for pages, pictures and entries.
const std::set<std::string, std::less<>> kComputed = {
    "PersonFullName", "EMailAddress", "DirectoryFullFileName", "PageFullDOSFileName",
    "DirBaseName", "PageHTMLFileName", "ActualReturnLabel", "ParentPageAnchor",
    "MainImageDisplayWidth", "MainImageDisplayHeight", "FileLinkCount",
    "TotalFileSizeInBytes", "TotalFileSizeInK", "DisplayWidth", "DisplayHeight",
    "SearchPattern", "SearchPatternHTML", "PersonFullNameHTML", "EMailAddressHTML", "AnchorDOSFullFileName", "AnchorFileName", "ImageDOSFullFileName",
    "ImageFileName", "TextDOSFullFileName", "BaseFileName", "DetailPageFileName",
    "FileSizeInBytes", "FileSizeInK", "ImageComments", "AnchorWidth", "AnchorHeight",
    "AnchorFileURL", "AnchorFileNameHTML", "ImageFileURL", "DetailPageFileURL",
    "BaseFileNameHTML", "DirBaseNameHTML", "PageHTMLFileURL", "TotalFileLinkCount",
    "ImageCaption", "ImageCaptionText", "ImageDateTaken", "ImageDateTakenText", "ImageCamera",
    "DetailImageURL", "DetailImageWidth", "DetailImageHeight", "PrevDetailPageURL",
    "PrevDetailPageCaptionText", "NextDetailPageURL", "NextDetailPageCaptionText",
    "PictureIndex", "PictureCount", "UpPageURL", "SeriesNameRangeHTML", "BaseFileTitleHTML",
    "PageNumber", "PageCount", "PreviousIndexPageURL", "NextIndexPageURL",
    "AlbumZipURL", "AlbumZipFileNameHTML", "AlbumZipSizeInK", "SiteURL", "FeedURL",
    "ImageExposureTime", "ImageAperture", "ImageISO", "ImageFocalLength",
    "ImageFocalLengthEquivalent", "ImageLens", "ImageMapURL", "VideoURL", "VideoType",
    "VideoDuration", "VideoDurationISO", "VideoNote", "ImageSrcSet", "ImageLoading",
    // Picture fields that a picture's comment usually sets.
    "ImageSubjectName", "ImagePhotographerName", "ImageDescription", "PageIntro"};

// Reads a shipped file, checks that it is in canonical record form, and adds its variables
// to `all`.
void ReadShipped(const char* name, VariableList& all) {
  const Result<std::string> text = ReadTextFile(FindShippedDataDir() / name);
  ASSERT_TRUE(text.ok()) << name;
  VariableList array;
  array.ParseVarText(*text);
  EXPECT_GT(array.ItemCount(), 0) << name;
  EXPECT_EQ(array.FormatVarText(), *text) << name << " is not in canonical record form";
  all.CopyVarsFrom(array);
}

void ExpectCompleteLayout(const VariableList& all, const std::string& what) {
  for (const char* required : {"PageHeadTemplate", "PageBodyBeginTemplate", "FileEntryTemplate",
                               "DirEntryTemplate", "PageEndTemplate", "DetailPageTemplate",
                               "PossibleReturnLabel", "ParentPageLabel", "PageTitle",
                               "VariableFileTitle", "VariableFileDescription"}) {
    EXPECT_FALSE(all.GetVarValue(required).empty()) << what << " lacks " << required;
  }
  for (int i = 0; i < all.ItemCount(); ++i) {
    const std::string& value = all.Item(i).value();
    for (std::size_t at = value.find("${"); at != std::string::npos;
         at = value.find("${", at + 1)) {
      std::string_view name;
      std::string_view guarded;
      bool when_empty = false;
      const std::string_view rest = std::string_view(value).substr(at);
      ASSERT_TRUE(ParseVarRef(rest, &name) > 0 ||
                  ParseGuardedRef(rest, &name, &guarded, &when_empty) > 0)
          << what << ": " << all.Item(i).name() << ": malformed reference";
      EXPECT_TRUE(all.FindVar(name) != nullptr || kComputed.count(name) > 0)
          << what << ": " << all.Item(i).name() << " refers to unknown ${" << name << "}";
    }
  }
}

// Every picture of a shipped layout keeps its place while it loads and says what it shows;
// thumbnails load lazily after the first few of a page (ImageLoading), album covers and
// the picture of a detail page at once. Pages end with the body's
// end tag, written after the page-end template.
void ExpectAccessibleLayout(const VariableList& all, const std::string& what) {
  for (int i = 0; i < all.ItemCount(); ++i) {
    const std::string& value = all.Item(i).value();
    for (std::size_t at = value.find("<IMG"); at != std::string::npos;
         at = value.find("<IMG", at + 1)) {
      const std::string tag = value.substr(at, value.find('>', at) - at);
      for (const char* attribute : {" width=\"", " height=\"", " alt=\""}) {
        EXPECT_NE(tag.find(attribute), std::string::npos)
            << what << ": " << all.Item(i).name() << ": " << tag << " lacks" << attribute;
      }
      const std::string& name = all.Item(i).name();
      const bool at_once = name == "DetailPageTemplate" || name == "DirEntryTemplate";
      const bool lazy = tag.find(" loading=\"lazy\"") != std::string::npos ||
                        tag.find(" loading=\"${ImageLoading}\"") != std::string::npos;
      EXPECT_EQ(lazy, !at_once) << what << ": " << name << ": " << tag;
    }
  }
  EXPECT_EQ(all.GetVarValue("PageEndTemplate").find("</BODY>"), std::string::npos) << what;
  EXPECT_EQ(all.GetVarValue("BodyEndTag"), "</BODY>") << what;
  EXPECT_NE(all.GetVarValue("DetailPageTemplate").find("rel=\"next\""), std::string::npos)
      << what;
}

TEST(DefaultLayoutTest, FilesReadBackByteForByteAndReferOnlyToKnownVariables) {
  VariableList all;
  for (const char* name : kSiteLayoutFiles) ReadShipped(name, all);
  ExpectCompleteLayout(all, "default layout");
  ExpectAccessibleLayout(all, "default layout");
}

TEST(DefaultLayoutTest, EverySampleIsACompleteLayoutInTheFirst16384Bytes) {
  int samples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FindShippedDataDir())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("samp", 0) != 0) continue;
    ++samples;
    EXPECT_LE(entry.file_size(), 16384u) << name;
    VariableList all;
    ReadShipped(name.c_str(), all);  // a sample replaces globals.txt
    ReadShipped("dglobals.txt", all);
    ReadShipped("mglobals.txt", all);
    ExpectCompleteLayout(all, name);
    ExpectAccessibleLayout(all, name);
  }
  EXPECT_GE(samples, 3);
}

}  // namespace
}  // namespace pix
