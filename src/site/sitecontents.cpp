#include "site/sitecontents.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "files/utils.h"
#include "picture/exifinfo.h"
#include "picture/metadata.h"
#include "site/siterecord.h"

namespace pix {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `end` is written in lower case.
bool EndsWithIgnoringCase(const std::string& text, std::string_view end) {
  if (text.size() < end.size()) return false;
  const std::size_t start = text.size() - end.size();
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (AsciiLower(text[start + i]) != end[i]) return false;
  }
  return true;
}

bool IsJpegName(const std::string& path) {
  return EndsWithIgnoringCase(path, ".jpg") || EndsWithIgnoringCase(path, ".jpeg");
}

bool IsPictureName(const std::string& path) {
  return IsJpegName(path) || EndsWithIgnoringCase(path, ".gif");
}

bool IsPlainFile(const std::filesystem::path& path, bool follow_link) {
  struct stat info;
  const int got = follow_link ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
  return got == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool IsNeverPublished(const std::string& path) {
  if (path.empty() || path.front() == '.' || path.find("/.") != std::string::npos) return true;
  return EndsWithIgnoringCase(path, ".txt");
}

bool FileCarriesGpsPosition(const std::filesystem::path& path) {
  return ExifHasGpsPosition(ReadJpegMetadataSegments(path).exif);
}

std::vector<SiteFile> CollectSiteFiles(const std::filesystem::path& site, const SiteRecord& record,
                                       const PageVisitor& visit_page) {
  std::map<std::string, SiteFile> files;
  std::vector<std::string> pages;
  for (const auto& [path, output] : record.AllOutputs()) {
    if (output.kind == OutputKind::kFolder || IsNeverPublished(path)) continue;
    if (!IsPlainFile(site / path, /*follow_link=*/false)) continue;
    SiteFile file;
    file.path = path;
    file.written_by_run = true;
    files.emplace(path, std::move(file));
    if (output.kind == OutputKind::kPage) pages.push_back(path);
  }
  std::sort(pages.begin(), pages.end());
  for (const std::string& page_path : pages) {
    const Result<std::string> text = ReadTextFile(site / page_path);
    if (!text.ok()) continue;
    const HtmlPage page = ReadHtmlPage(*text);
    if (visit_page) visit_page(page_path, page);
    for (const PageReference& reference : page.references) {
      const std::optional<std::string> target = ResolvePageReference(page_path, reference.value);
      if (!target || target->empty() || LeavesSite(*target) || IsNeverPublished(*target) ||
          files.count(*target) > 0) {
        continue;
      }
      // A picture of the site may be a link to the user's file elsewhere; what it shows is
      // what the visitor gets.
      if (!IsPlainFile(site / *target, /*follow_link=*/true)) continue;
      SiteFile file;
      file.path = *target;
      file.original = IsPictureName(*target);
      files.emplace(*target, std::move(file));
    }
  }
  std::vector<SiteFile> sorted;
  sorted.reserve(files.size());
  for (auto& [path, file] : files) {
    if (IsJpegName(path)) file.carries_gps = FileCarriesGpsPosition(site / path);
    sorted.push_back(std::move(file));
  }
  return sorted;
}

}  // namespace pix
