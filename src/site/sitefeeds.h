// Files of the whole site for other programs, written when HTMLDefaults/SiteURL says where
// the site is published: "feed.xml", an Atom feed of the newest pictures by date taken, and
// "sitemap.xml", every page of the site for search engines. Both lie at the top of the
// site, hold absolute addresses under the site's URL, and depend on the pictures and pages
// alone, so that a rerun writes the same bytes as a clean run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "site/siterecord.h"

namespace pix {

class WebSite;

inline constexpr const char* kFeedFileName = "feed.xml";
inline constexpr const char* kSitemapFileName = "sitemap.xml";

/// The pictures a feed lists at most: the newest by date taken.
inline constexpr std::size_t kFeedEntryLimit = 20;

/// One picture as the feed lists it.
struct FeedEntry {
  std::string page_path;   ///< Its detail page (or the page listing it), relative to the site.
  std::string image_path;  ///< Its inline image relative to the site; empty when none.
  std::string title_html;  ///< Its caption or title as HTML text.
  std::int64_t time_ns = 0;  ///< When it was taken (else its file's time), read as UTC.
  int image_width = 0;
  int image_height = 0;
};

/// Keeps the newest kFeedEntryLimit entries handed to it.
class FeedCollector {
 public:
  void Add(FeedEntry entry);
  /// The entries kept, newest first (ties by page path).
  std::vector<FeedEntry> Newest() const;

 private:
  std::vector<FeedEntry> entries_;
};

/// The Atom feed of `entries` (newest first) for the site at `site_url` (ending in "/"),
/// titled `title` (plain text) and written by `author`.
std::string FormatAtomFeed(const std::string& site_url, const std::string& title,
                           const std::string& author, const std::vector<FeedEntry>& entries);

/// The sitemap of `page_paths` (relative to the site) under `site_url`.
std::string FormatSitemap(const std::string& site_url, const std::vector<std::string>& page_paths);

/// The most addresses one sitemap may hold.
inline constexpr std::size_t kSitemapLimit = 50000;

/// A time in nanoseconds since 1970 as an Atom date: "2024-06-01T14:03:22Z".
std::string AtomDate(std::int64_t time_ns);

/// Writes `contents` at `full_path` (inside the site) as an output of `kind`, unless the
/// file there already holds them; recorded either way. Refused, leaving the file as it is,
/// when the file there is the user's.
Status SettleGeneratedFile(const WebSite& site, const std::string& full_path,
                           const std::string& contents, OutputKind kind);

/// Writes feed.xml and sitemap.xml at the top of the site from the entries the run
/// collected and the pages the run recorded. Called at the end of a complete run, before
/// the outputs it no longer makes are removed.
void WriteSiteFeeds(WebSite& site, const FeedCollector& feed);

}  // namespace pix
