#include "site/clean.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <set>

#include "base/diagnostics.h"
#include "base/safereplace.h"
#include "site/siterecord.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// The files beside the record that SQLite and the runs keep.
constexpr std::string_view kRecordCompanions[] = {"-wal", "-shm", "-journal"};

}  // namespace

Result<CleanStats> CleanSite(const fs::path& site, bool dry_run, std::ostream& listing,
                             Diagnostics& diagnostics) {
  CleanStats stats;
  const fs::path record_file = site / std::string(kRecordFileName);
  struct stat info;
  if (::lstat(record_file.c_str(), &info) != 0) return stats;  // No run wrote anything here.

  Result<std::unique_ptr<SiteRecord>> opened = SiteRecord::Open(site, diagnostics);
  if (!opened.ok()) return opened.status();
  std::unique_ptr<SiteRecord> record = std::move(*opened);

  std::vector<std::pair<std::string, RecordedOutput>> outputs = record->AllOutputs();
  std::vector<std::string> folders;
  std::set<std::string> removed;  // Removed, or that would be on a dry run.
  for (const auto& [path, output] : outputs) {
    if (output.kind == OutputKind::kFolder) {
      folders.push_back(path);
      continue;
    }
    const fs::path full = site / path;
    const ClaimResult claim = record->Claim(full, std::optional<RecordedOutput>(output),
                                            [](const fs::path&) { return false; });
    if (claim.claim == Ownership::kAbsent) {
      if (!dry_run) record->ForgetOutput(path);
      continue;
    }
    if (claim.claim != Ownership::kOurs) {
      const std::string why =
          claim.claim == Ownership::kHandEdited ? "changed by hand since Pixamond wrote it" : claim.why;
      diagnostics.Notice("kept " + path + ": " + why);
      ++stats.kept;
      continue;
    }
    ++stats.removed;
    removed.insert(path);
    if (dry_run) {
      listing << "remove " << path << "\n";
      continue;
    }
    if (::unlink(full.c_str()) != 0 && errno != ENOENT) {
      return Status::IoError("Cannot remove " + full.string() + ": " + std::strerror(errno));
    }
    record->ForgetOutput(path);
  }
  // The deepest folders first, so that a folder whose sub-folders went is empty in turn. A
  // dry run removes nothing, so a folder counts as empty when all it holds would go.
  std::sort(folders.rbegin(), folders.rend());
  for (const std::string& path : folders) {
    const fs::path full = site / path;
    if (::lstat(full.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
    std::error_code error;
    bool empty = true;
    for (fs::directory_iterator it(full, error), end; !error && it != end; it.increment(error)) {
      const std::string inside = it->path().lexically_relative(site).string();
      if (!dry_run || removed.count(inside) == 0) empty = false;
    }
    if (error) continue;
    if (!empty) {
      diagnostics.Notice("kept " + path + "/: it holds files Pixamond did not write");
      continue;
    }
    if (dry_run) {
      listing << "remove " << path << "/\n";
    } else if (::rmdir(full.c_str()) != 0) {
      continue;
    }
    removed.insert(path);
    ++stats.folders_removed;
  }
  // Users' pictures a run rewrote get their old bytes back, if they still hold the rewrite.
  for (const SiteRecord::Rewrite& rewrite : record->AllRewrites()) {
    const fs::path full = site / rewrite.path;
    const std::optional<Digest> now = DigestOfFile(full);
    if (!now) continue;  // Gone, or no longer a plain file: nothing to give back.
    if (rewrite.rewritten.Empty() || *now != rewrite.rewritten) {
      diagnostics.Notice("kept " + rewrite.path + ": changed since Pixamond rewrote it");
      ++stats.kept;
      continue;
    }
    ++stats.restored;
    if (dry_run) {
      listing << "restore " << rewrite.path << "\n";
      continue;
    }
    const Result<UserFileTarget> target = CheckUserFileRewrite(full, SymlinkRule::kRefuse);
    Status restored = target.status();
    if (target.ok()) {
      restored = ReplaceUserFileSafely(*target, [&rewrite](std::FILE* out) {
        if (std::fwrite(rewrite.original.data(), 1, rewrite.original.size(), out) !=
            rewrite.original.size()) {
          return Status::IoError(std::strerror(errno));
        }
        return Status::OK();
      });
    }
    if (!restored.ok()) {
      diagnostics.Problem("Cannot give " + full.string() + " back as it was: " + restored.message());
      continue;
    }
    record->ForgetRewrite(rewrite.path);
  }
  if (dry_run) return stats;
  if (Status committed = record->Commit(); !committed.ok()) return committed;
  // Kept files stay the user's; with them out of the record, nothing is left of the runs.
  record.reset();
  for (std::string_view companion : kRecordCompanions) {
    ::unlink((record_file.string() + std::string(companion)).c_str());
  }
  ::unlink((site / std::string(kPendingFileName)).c_str());
  if (::unlink(record_file.c_str()) != 0 && errno != ENOENT) {
    return Status::IoError("Cannot remove " + record_file.string() + ": " + std::strerror(errno));
  }
  return stats;
}

}  // namespace pix
