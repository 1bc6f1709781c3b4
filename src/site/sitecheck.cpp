#include "site/sitecheck.h"

#include <sys/stat.h>

#include <algorithm>

#include "files/picturenames.h"
#include "picture/versions.h"
#include "picture/video.h"
#include "site/htmlpage.h"
#include "site/sitecontents.h"
#include "site/siterecord.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

std::string Place(const std::string& page, unsigned line) {
  return line == 0 ? page : page + ":" + std::to_string(line);
}

// Why an image made from `source` no longer is what a run would make now; empty when it is.
std::string Staleness(const fs::path& site, const SiteRecord& record, const std::string& source) {
  const std::optional<RecordedPicture> picture = record.FindPicture(source);
  if (!picture) return "made from " + source + ", which the record does not know";
  const std::optional<FileStamp> stamp = StampOfFile(site / source, /*follow_link=*/true);
  if (!stamp) return "made from " + source + ", which is gone";
  const std::size_t dot = source.rfind('.');
  const bool video = dot != std::string::npos && IsVideoExtension(source.substr(dot));
  if (picture->reader_version !=
      (video ? VideoReaderVersion(VideoTools::Find()) : kPictureReaderVersion)) {
    return "made from " + source + " by an older version of Pixamond";
  }
  if (picture->stamp.inode != 0 && *stamp == picture->stamp) return "";
  // Digested as a run digests it, through a link too.
  const std::optional<PictureDigests> digests = DigestOfPicture(site / source);
  if (!digests || digests->file != picture->content) {
    return "stale: " + source + " changed since it was made";
  }
  return "";
}

void CheckReferences(const fs::path& site, const std::string& page_path, const HtmlPage& page,
                     std::vector<std::string>& findings) {
  for (const PageProblem& problem : page.problems) {
    findings.push_back(Place(page_path, problem.line) + ": " + problem.text);
  }
  for (const PageReference& reference : page.references) {
    const std::optional<std::string> target = ResolvePageReference(page_path, reference.value);
    if (!target) continue;
    const std::string what = reference.element == "a" ? "link" : "<" + reference.element + "> " + reference.attribute;
    if (LeavesSite(*target)) {
      findings.push_back(Place(page_path, reference.line) + ": " + what + " " + reference.value +
                         " leads out of the site");
      continue;
    }
    struct stat info;
    if (::stat((site / *target).c_str(), &info) != 0) {
      findings.push_back(Place(page_path, reference.line) + ": " + what + " " + reference.value +
                         " leads to nothing");
    }
  }
}

}  // namespace

Result<std::vector<std::string>> CheckSite(const fs::path& site) {
  const std::unique_ptr<SiteRecord> record = SiteRecord::OpenToRead(site);
  if (!record) {
    return Status::NotFound(site.string() + " has no record of a Pixamond run that can be read");
  }
  std::vector<std::string> findings;
  for (const auto& [path, output] : record->AllOutputs()) {
    const fs::path full = site / path;
    if (output.kind == OutputKind::kFolder) {
      struct stat info;
      if (::lstat(full.c_str(), &info) != 0) findings.push_back(path + ": missing folder");
      continue;
    }
    const ClaimResult claim =
        record->Claim(full, std::optional<RecordedOutput>(output), [](const fs::path&) { return false; });
    if (claim.claim == Ownership::kAbsent) {
      findings.push_back(path + ": missing");
      continue;
    }
    if (claim.claim == Ownership::kHandEdited) {
      findings.push_back(path + ": changed by hand since Pixamond wrote it");
    } else if (claim.claim == Ownership::kUsers) {
      findings.push_back(path + ": " + claim.why);
    }
    if (!output.source.empty()) {
      const std::string stale = Staleness(site, *record, output.source);
      if (!stale.empty()) findings.push_back(path + ": " + stale);
    }
  }
  const std::vector<SiteFile> files = CollectSiteFiles(
      site, *record, [&](const std::string& page_path, const HtmlPage& page) {
        CheckReferences(site, page_path, page, findings);
      });
  for (const SiteFile& file : files) {
    if (file.carries_gps) findings.push_back(file.path + ": carries a GPS position");
  }
  std::stable_sort(findings.begin(), findings.end());
  return findings;
}

}  // namespace pix
