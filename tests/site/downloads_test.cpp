// Album zips (Pages/AlbumZip) and the site's feed and sitemap (HTMLDefaults/SiteURL),
// checked in the files a run writes: the zip's member list as a zip reader sees it, the
// feed and the sitemap as an XML parser reads them.
#include <expat.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "generated_site.h"
#include "site/albumzip.h"
#include "site/sitefeeds.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// One XML element as the parser gave it: its name (with the namespace URI in front,
// separated by a space), attributes, text and children.
struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;
  std::vector<std::unique_ptr<XmlElement>> children;

  std::vector<const XmlElement*> All(const std::string& child_name) const {
    std::vector<const XmlElement*> found;
    for (const auto& child : children) {
      if (child->name == child_name) found.push_back(child.get());
    }
    return found;
  }
  const XmlElement* First(const std::string& child_name) const {
    const std::vector<const XmlElement*> found = All(child_name);
    return found.empty() ? nullptr : found.front();
  }
};

// Parses `xml` with expat, namespaces resolved; none when it is not well-formed.
std::unique_ptr<XmlElement> ParseXml(const std::string& xml) {
  struct State {
    std::unique_ptr<XmlElement> root;
    std::vector<XmlElement*> open;
  } state;
  XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto& s = *static_cast<State*>(data);
        auto element = std::make_unique<XmlElement>();
        element->name = name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
          element->attributes[attributes[i]] = attributes[i + 1];
        }
        XmlElement* raw = element.get();
        if (s.open.empty()) {
          s.root = std::move(element);
        } else {
          s.open.back()->children.push_back(std::move(element));
        }
        s.open.push_back(raw);
      },
      [](void* data, const XML_Char*) { static_cast<State*>(data)->open.pop_back(); });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    auto& s = *static_cast<State*>(data);
    if (!s.open.empty()) s.open.back()->text.append(text, static_cast<std::size_t>(length));
  });
  const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok) return nullptr;
  return std::move(state.root);
}

const char kAtom[] = "http://www.w3.org/2005/Atom ";
const char kSitemap[] = "http://www.sitemaps.org/schemas/sitemap/0.9 ";

// Index pages print the zip link, so that the tests can follow it as a visitor would.
const char kLayout[] =
    "PageHeadTemplate:\r\n<TITLE>t</TITLE>\r\n\r\n"
    "FileEntryTemplate:\r\n(${AnchorFileName})\r\n\r\n"
    "DirEntryTemplate:\r\n{${AnchorFileName} zip=${AlbumZipURL}}\r\n\r\n"
    "PageEndTemplate:\r\n<ZIP ${AlbumZipURL} ${AlbumZipSizeInK}>\r\n\r\n"
    "DetailPageTemplate:\r\n<BODY>${ImageCaption}</BODY>\r\n\r\n"
    "ParentPageLabel:\r\nx\r\n\r\n";

class DownloadsTest : public test::GeneratedSiteTest {
 protected:
  DownloadsTest() { test::WriteFile(home_ / "globals.txt", kLayout); }

  // `extra` goes on in the HTMLDefaults section, or starts sections of its own.
  void Settings(const std::string& extra) {
    test::WriteFile(home_ / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Ann <Example>\n" + extra);
  }

  int Run() { return ProblemsOfRun(site_.path()); }

  std::vector<std::string> Members(const fs::path& zip) {
    Result<std::vector<std::string>> names = ListZipMembers(zip);
    EXPECT_TRUE(names.ok()) << names.status().message();
    return names.ok() ? *names : std::vector<std::string>();
  }
};

constexpr const char* kZipSettings =
    "[Display]\nDetailImageMaxSize=32\n[FileExtensions]\nInLineFileExt=jpg\n[Pages]\nAlbumZip=Yes\n";

TEST_F(DownloadsTest, AlbumZipHoldsTheDetailImagesAndIsRemadeOnlyWhenAMemberChanges) {
  Settings(kZipSettings);
  WritePictureTaken(site_ / "trip" / "b.jpg", "2024:06:02 10:00:00", 41);
  WritePictureTaken(site_ / "trip" / "a.jpg", "2024:06:01 10:00:00", 42);
  test::WriteGifPicture(site_ / "trip" / "notes.gif", 20, 10, false);
  ASSERT_EQ(Run(), 0);

  const fs::path zip = site_ / "trip" / "inline" / "trip.zip";
  // Web-sized copies only (the GIF's is a JPEG too): no original goes in.
  EXPECT_EQ(Members(zip), (std::vector<std::string>{"a.jpg", "b.jpg", "notes.jpg"}));
  // Each member is the detail image byte for byte (stored).
  EXPECT_EQ(test::ReadFile(zip).find(test::ReadFile(site_ / "trip/inline/detail/a.jpg")) !=
                std::string::npos,
            true);
  // The album's page links it; the page above links it from there.
  const std::string page = test::ReadFile(site_ / "trip" / "index.html");
  EXPECT_NE(page.find("<ZIP inline/trip.zip "), std::string::npos) << page;
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("zip=trip/inline/trip.zip}"),
            std::string::npos);

  // A rerun, and a picture only touched, leave the zip as it is: the record decides.
  const struct stat first = test::StatOf(zip);
  const struct utimbuf later {2000000000, 2000000000};
  ASSERT_EQ(::utime((site_ / "trip" / "a.jpg").c_str(), &later), 0);
  ASSERT_EQ(Run(), 0);
  const struct stat second = test::StatOf(zip);
  EXPECT_EQ(second.st_ino, first.st_ino);
  EXPECT_EQ(second.st_mtim.tv_nsec, first.st_mtim.tv_nsec);
  EXPECT_EQ(second.st_mtim.tv_sec, first.st_mtim.tv_sec);

  // A changed picture changes its member: the zip is made again, and equals what a clean
  // run of the same pictures makes.
  WritePictureTaken(site_ / "trip" / "a.jpg", "2024:06:01 10:00:00", 49);
  WritePictureTaken(site_ / "trip" / "c.jpg", "2024:06:03 10:00:00", 43);
  ASSERT_EQ(Run(), 0);
  EXPECT_NE(test::StatOf(zip).st_ino, first.st_ino);
  EXPECT_EQ(Members(zip), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "notes.jpg"}));
  test::TempDir clean;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "notes.gif"}) {
    test::WriteFile(clean / "trip" / name, test::ReadFile(site_ / "trip" / name));
  }
  ASSERT_EQ(ProblemsOfRun(clean.path()), 0);
  EXPECT_EQ(test::ReadFile(clean / "trip" / "inline" / "trip.zip"), test::ReadFile(zip));

  // Publishing carries the zip; with the setting off, the next run removes it.
  test::TempDir published;
  ASSERT_TRUE(PublishTo(published.path()));
  EXPECT_TRUE(fs::exists(published / "trip" / "inline" / "trip.zip"));
  Settings("[Display]\nDetailImageMaxSize=32\n[FileExtensions]\nInLineFileExt=jpg\n");
  ASSERT_EQ(Run(), 0);
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_EQ(test::ReadFile(site_ / "trip" / "index.html").find("inline/trip.zip"),
            std::string::npos);
}

TEST_F(DownloadsTest, AlbumZipNeedsWebSizedCopiesAndLeavesAUsersFileAlone) {
  // Without detail images there is nothing to zip but originals: the setting is refused.
  Settings("[Pages]\nAlbumZip=Yes\n");
  WritePictureTaken(site_ / "a.jpg", "2024:06:01 10:00:00", 41);
  EXPECT_EQ(Run(), 1);
  for (const auto& [path, bytes] : test::VisibleFiles(site_.path())) {
    EXPECT_EQ(path.find(".zip"), std::string::npos) << path;
  }

  // A file of the user's where the zip would go is never written over.
  Settings(kZipSettings);
  fs::create_directories(site_ / "inline");
  const std::string name = site_.path().filename().string() + ".zip";
  test::WriteFile(site_ / "inline" / name, "mine");
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(test::ReadFile(site_ / "inline" / name), "mine");
}

TEST_F(DownloadsTest, FeedListsTheNewestPicturesAndSitemapEveryPage) {
  Settings("SiteURL=https://example.org/photos\n");
  WritePictureTaken(site_ / "old.jpg", "2020:01:01 08:00:00", 41);
  WritePictureTaken(site_ / "trip" / "new.jpg", "2024:06:01 14:03:22", 42);
  WritePictureTaken(site_ / "trip" / "mid & more.jpg", "2022:02:02 02:02:02", 43);
  test::WriteFile(site_ / "trip" / "mid & more.txt", "ImageDescription:\r\nA <b>bold</b> caption\r\n\r\n");
  ASSERT_EQ(Run(), 0);

  const std::unique_ptr<XmlElement> feed = ParseXml(test::ReadFile(site_ / "feed.xml"));
  ASSERT_NE(feed, nullptr) << test::ReadFile(site_ / "feed.xml");
  EXPECT_EQ(feed->name, std::string(kAtom) + "feed");
  EXPECT_EQ(feed->First(std::string(kAtom) + "id")->text, "https://example.org/photos/");
  EXPECT_EQ(feed->First(std::string(kAtom) + "updated")->text, "2024-06-01T14:03:22Z");
  EXPECT_EQ(feed->First(std::string(kAtom) + "author")->First(std::string(kAtom) + "name")->text,
            "Ann <Example>");
  std::vector<std::string> links;
  std::vector<std::string> dates;
  for (const XmlElement* entry : feed->All(std::string(kAtom) + "entry")) {
    links.push_back(entry->First(std::string(kAtom) + "link")->attributes.at("href"));
    dates.push_back(entry->First(std::string(kAtom) + "updated")->text);
    ASSERT_NE(entry->First(std::string(kAtom) + "title"), nullptr);
    ASSERT_NE(entry->First(std::string(kAtom) + "content"), nullptr);
  }
  // Newest first, each at its detail page's address, names made safe for a URL.
  EXPECT_EQ(links, (std::vector<std::string>{"https://example.org/photos/trip/new.html",
                                             "https://example.org/photos/trip/mid%20%26%20more.html",
                                             "https://example.org/photos/old.html"}));
  EXPECT_EQ(dates[2], "2020-01-01T08:00:00Z");
  const XmlElement* second = feed->All(std::string(kAtom) + "entry")[1];
  EXPECT_EQ(second->First(std::string(kAtom) + "title")->text, "A <b>bold</b> caption");
  EXPECT_NE(second->First(std::string(kAtom) + "content")->text.find(
                "<img src=\"https://example.org/photos/trip/inline/mid%20%26%20more.gif\""),
            std::string::npos);

  const std::unique_ptr<XmlElement> sitemap = ParseXml(test::ReadFile(site_ / "sitemap.xml"));
  ASSERT_NE(sitemap, nullptr);
  EXPECT_EQ(sitemap->name, std::string(kSitemap) + "urlset");
  std::vector<std::string> locations;
  for (const XmlElement* url : sitemap->All(std::string(kSitemap) + "url")) {
    locations.push_back(url->First(std::string(kSitemap) + "loc")->text);
  }
  EXPECT_EQ(locations, (std::vector<std::string>{
                           "https://example.org/photos/index.html",
                           "https://example.org/photos/old.html",
                           "https://example.org/photos/trip/index.html",
                           "https://example.org/photos/trip/mid%20%26%20more.html",
                           "https://example.org/photos/trip/new.html"}));

  // A picture removed leaves both; a rerun with nothing changed writes neither again.
  fs::remove(site_ / "old.jpg");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(test::ReadFile(site_ / "sitemap.xml").find("old.html"), std::string::npos);
  EXPECT_EQ(test::ReadFile(site_ / "feed.xml").find("old.html"), std::string::npos);
  const struct stat before = test::StatOf(site_ / "feed.xml");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(test::StatOf(site_ / "feed.xml").st_ino, before.st_ino);

  // Without a SiteURL the run writes neither and removes its own.
  Settings("");
  ASSERT_EQ(Run(), 0);
  EXPECT_FALSE(fs::exists(site_ / "feed.xml"));
  EXPECT_FALSE(fs::exists(site_ / "sitemap.xml"));
}

TEST_F(DownloadsTest, SiteUrlMustBeAWebAddress) {
  for (const char* bad : {"example.org", "ftp://example.org/", "https://", "https://a b/",
                          "https://example.org/?q=1"}) {
    Settings(std::string("SiteURL=") + bad + "\n");
    test::WriteJpegPicture(site_ / "a.jpg", 8, 8, "");
    EXPECT_EQ(Run(), 1) << bad;
    EXPECT_FALSE(fs::exists(site_ / "feed.xml")) << bad;
  }
}

}  // namespace
}  // namespace pix
