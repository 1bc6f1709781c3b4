#include "site/sitefeeds.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "base/safefile.h"
#include "site/caption.h"
#include "site/escape.h"
#include "site/website.h"

namespace pix {
namespace {

// Text made safe for XML content and attribute values.
std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // XML 1.0 has no place for other control characters, not even as references.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        out += c;
    }
  }
  return out;
}

bool Newer(const FeedEntry& a, const FeedEntry& b) {
  if (a.time_ns != b.time_ns) return a.time_ns > b.time_ns;
  return a.page_path < b.page_path;
}

}  // namespace

void FeedCollector::Add(FeedEntry entry) {
  entries_.push_back(std::move(entry));
  // Only the newest are kept, so that a site of any size costs a few entries.
  if (entries_.size() >= 4 * kFeedEntryLimit) {
    std::partial_sort(entries_.begin(), entries_.begin() + kFeedEntryLimit, entries_.end(), Newer);
    entries_.resize(kFeedEntryLimit);
  }
}

std::vector<FeedEntry> FeedCollector::Newest() const {
  std::vector<FeedEntry> newest = entries_;
  std::sort(newest.begin(), newest.end(), Newer);
  if (newest.size() > kFeedEntryLimit) newest.resize(kFeedEntryLimit);
  return newest;
}

std::string AtomDate(std::int64_t time_ns) {
  std::int64_t seconds = time_ns / 1000000000;
  if (time_ns < 0 && time_ns % 1000000000 != 0) --seconds;
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (gmtime_r(&when, &parts) == nullptr || parts.tm_year + 1900 < 1 ||
      parts.tm_year + 1900 > 9999) {
    return "1970-01-01T00:00:00Z";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::string FormatAtomFeed(const std::string& site_url, const std::string& title,
                           const std::string& author, const std::vector<FeedEntry>& entries) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  xml += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
  xml += "  <title>" + XmlEscape(title) + "</title>\n";
  xml += "  <link rel=\"self\" type=\"application/atom+xml\" href=\"" +
         XmlEscape(site_url + kFeedFileName) + "\"/>\n";
  xml += "  <link rel=\"alternate\" type=\"text/html\" href=\"" + XmlEscape(site_url) + "\"/>\n";
  xml += "  <id>" + XmlEscape(site_url) + "</id>\n";
  // A feed of no pictures is still a valid feed, dated at the start of the epoch.
  xml += "  <updated>" + AtomDate(entries.empty() ? 0 : entries.front().time_ns) +
         "</updated>\n";
  xml += "  <author><name>" + XmlEscape(author) + "</name></author>\n";
  xml += "  <generator>Pixamond</generator>\n";
  for (const FeedEntry& entry : entries) {
    const std::string page_url = site_url + UrlEncodePath(entry.page_path);
    xml += "  <entry>\n";
    xml += "    <title type=\"html\">" + XmlEscape(entry.title_html) + "</title>\n";
    xml += "    <link rel=\"alternate\" type=\"text/html\" href=\"" + XmlEscape(page_url) +
           "\"/>\n";
    xml += "    <id>" + XmlEscape(page_url) + "</id>\n";
    xml += "    <updated>" + AtomDate(entry.time_ns) + "</updated>\n";
    if (!entry.image_path.empty()) {
      std::string html = "<p><a href=\"" + page_url + "\"><img src=\"" + site_url +
                         UrlEncodePath(entry.image_path) + "\"";
      if (entry.image_width > 0 && entry.image_height > 0) {
        html += " width=\"" + std::to_string(entry.image_width) + "\" height=\"" +
                std::to_string(entry.image_height) + "\"";
      }
      html += " alt=\"" + HtmlToAttributeText(entry.title_html) + "\"></a></p>";
      xml += "    <content type=\"html\">" + XmlEscape(html) + "</content>\n";
    }
    xml += "  </entry>\n";
  }
  xml += "</feed>\n";
  return xml;
}

std::string FormatSitemap(const std::string& site_url, const std::vector<std::string>& page_paths) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  for (const std::string& path : page_paths) {
    xml += "  <url><loc>" + XmlEscape(site_url + UrlEncodePath(path)) + "</loc></url>\n";
  }
  xml += "</urlset>\n";
  return xml;
}

Status SettleGeneratedFile(const WebSite& site, const std::string& full_path,
                           const std::string& contents, OutputKind kind) {
  SiteRecord& record = site.Record();
  const std::string site_path = site.SitePath(full_path);
  const std::optional<RecordedOutput> recorded = record.FindOutput(site_path);
  const ClaimResult claim =
      record.Claim(full_path, recorded, [](const std::filesystem::path&) { return false; });
  if (claim.claim == Ownership::kUsers || claim.claim == Ownership::kHandEdited) {
    if (recorded) record.ForgetOutput(site_path);
    return Status::Refused(full_path + " is kept as it is (" + claim.why + ")");
  }
  const Digest content = DigestOf(contents);
  if (claim.claim == Ownership::kOurs && recorded && recorded->content == content &&
      recorded->kind == kind) {
    if (claim.stamp_matched) {
      record.ConfirmOutput(site_path);
    } else if (const std::optional<FileStamp> stamp = StampOfFile(full_path, false)) {
      RecordedOutput again = *recorded;
      again.stamp = *stamp;
      record.RecordOutput(site_path, again);
    }
    return Status::OK();
  }
  Result<TempFileBeside> temp =
      TempFileBeside::Create(full_path, TempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) return temp.status();
  if (std::fwrite(contents.data(), 1, contents.size(), temp->File()) != contents.size()) {
    return Status::IoError("Cannot write " + temp->TempPath().string());
  }
  const Status committed = temp->Commit(
      [&](const std::filesystem::path&) { return record.NotePending(site_path, kind, content); });
  if (!committed.ok()) return committed;
  RecordedOutput made;
  made.kind = kind;
  made.content = content;
  made.stamp = StampOfFile(full_path, false).value_or(FileStamp());
  record.RecordOutput(site_path, made);
  return Status::OK();
}

void WriteSiteFeeds(WebSite& site, const FeedCollector& feed) {
  const std::string& site_url = site.Settings().site_url;
  if (site_url.empty()) return;
  const std::filesystem::path top(site.SiteDirectory());
  std::filesystem::path name = top.filename();
  if (name.empty()) name = top.parent_path().filename();
  std::string title = TitleFromFileName(name.string());
  if (title.empty()) title = "Pictures";
  const std::string atom =
      FormatAtomFeed(site_url, title, site.Settings().person_full_name, feed.Newest());
  Status written = SettleGeneratedFile(site, (top / kFeedFileName).string(), atom,
                                       OutputKind::kSiteFile);
  if (!written.ok()) site.Report(written.message());

  // The pages of this run: those it recorded or confirmed, not those it no longer makes,
  // which are removed after this.
  std::vector<std::string> stale;
  for (const SiteRecord::Unconfirmed& entry : site.Record().UnconfirmedOutputs()) {
    if (entry.output.kind == OutputKind::kPage) stale.push_back(entry.path);
  }
  std::sort(stale.begin(), stale.end());
  std::vector<std::string> pages;
  for (const auto& [path, output] : site.Record().AllOutputs()) {
    if (output.kind == OutputKind::kPage && !std::binary_search(stale.begin(), stale.end(), path)) {
      pages.push_back(path);
    }
  }
  std::sort(pages.begin(), pages.end());
  if (pages.size() > kSitemapLimit) {
    site.Report("The site has " + std::to_string(pages.size()) + " pages; " + kSitemapFileName +
                " lists the first " + std::to_string(kSitemapLimit));
    pages.resize(kSitemapLimit);
  }
  written = SettleGeneratedFile(site, (top / kSitemapFileName).string(),
                                FormatSitemap(site_url, pages), OutputKind::kSiteFile);
  if (!written.ok()) site.Report(written.message());
}

}  // namespace pix
