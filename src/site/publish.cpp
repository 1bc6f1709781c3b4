#include "site/publish.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <vector>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "base/safefile.h"
#include "files/utils.h"
#include "site/sitecontents.h"
#include "site/siterecord.h"

extern char** environ;

namespace pix {
namespace {

namespace fs = std::filesystem;

// The whole file `path` leads to (a link is followed: a picture may be the user's link to
// a file elsewhere).
std::optional<std::string> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool IsHiddenPath(const std::string& relative) {
  return relative.empty() || relative.front() == '.' || relative.find("/.") != std::string::npos;
}

// True when one of the two folders lies inside the other (or they are the same).
bool Overlap(const fs::path& a, const fs::path& b) {
  std::error_code error;
  const fs::path first = fs::weakly_canonical(a, error);
  const fs::path second = fs::weakly_canonical(b, error);
  auto inside = [](const fs::path& inner, const fs::path& outer) {
    auto o = outer.begin();
    for (auto i = inner.begin(); o != outer.end(); ++i, ++o) {
      if (o->empty()) break;  // A trailing "/" of the outer folder.
      if (i == inner.end() || *i != *o) return false;
    }
    return true;
  };
  return inside(first, second) || inside(second, first);
}

// The files to publish: the site's files, less the originals that carry a GPS position
// unless the user asked for them, each said on one line.
std::vector<SiteFile> ChooseFiles(const fs::path& site, const SiteRecord& record,
                                  const PublishOptions& options, Diagnostics& diagnostics,
                                  PublishStats& stats) {
  std::vector<SiteFile> chosen;
  for (SiteFile& file : CollectSiteFiles(site, record)) {
    if (file.original && file.carries_gps) {
      if (!options.with_originals) {
        diagnostics.Problem(file.path +
                            ": left out, it carries a GPS position (--with-originals publishes it)");
        ++stats.withheld;
        continue;
      }
      diagnostics.Notice(file.path + ": published with its GPS position");
    }
    chosen.push_back(std::move(file));
  }
  return chosen;
}

// --- A folder destination ---------------------------------------------------------------

Status PublishToFolder(const fs::path& site, const fs::path& destination,
                       const std::vector<SiteFile>& files, const PublishOptions& options,
                       Progress& progress, std::ostream& listing, PublishStats& stats) {
  progress.SetStepCount(static_cast<int>(files.size()));
  progress.SetMainTask("Publishing to " + destination.string());
  std::set<std::string> wanted;
  for (const SiteFile& file : files) {
    wanted.insert(file.path);
    progress.SetCurrentStep(file.path);
    const std::optional<std::string> bytes = ReadWholeFile(site / file.path);
    if (!bytes) return Status::IoError("Cannot read " + (site / file.path).string());
    stats.bytes += bytes->size();
    const fs::path target = destination / file.path;
    const std::optional<Digest> there = DigestOfFile(target);
    if (there && *there == DigestOf(*bytes)) {
      ++stats.unchanged;
      progress.StepBy(1);
      continue;
    }
    ++stats.copied;
    stats.bytes_copied += bytes->size();
    if (options.dry_run) {
      listing << "copy " << file.path << "\n";
    } else {
      std::error_code error;
      fs::create_directories(target.parent_path(), error);
      if (error) {
        return Status::IoError("Cannot make the folder " + target.parent_path().string() + ": " +
                               error.message());
      }
      if (Status written = WriteFileAtomically(target, *bytes); !written.ok()) return written;
    }
    progress.StepBy(1);
  }
  if (!options.delete_extra) return Status::OK();

  // What the destination holds beyond the site: files first, then folders left empty,
  // the deepest first. Hidden files are the server's and stay.
  std::error_code error;
  std::vector<fs::path> extra_files;
  std::vector<fs::path> folders;
  for (fs::recursive_directory_iterator it(destination, error), end; !error && it != end;
       it.increment(error)) {
    const std::string relative = it->path().lexically_relative(destination).string();
    if (IsHiddenPath(relative)) {
      if (it->is_directory(error) && !it->is_symlink(error)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory(error) && !it->is_symlink(error)) {
      folders.push_back(it->path());
    } else if (wanted.count(relative) == 0) {
      extra_files.push_back(it->path());
    }
  }
  if (error) return Status::IoError("Cannot list " + destination.string() + ": " + error.message());
  std::sort(extra_files.begin(), extra_files.end());
  for (const fs::path& path : extra_files) {
    ++stats.removed;
    if (options.dry_run) {
      listing << "delete " << path.lexically_relative(destination).string() << "\n";
    } else if (!fs::remove(path, error) && error) {
      return Status::IoError("Cannot remove " + path.string() + ": " + error.message());
    }
  }
  std::sort(folders.rbegin(), folders.rend());
  for (const fs::path& folder : folders) {
    const std::string relative = folder.lexically_relative(destination).string() + "/";
    const bool holds_wanted =
        std::any_of(wanted.lower_bound(relative), wanted.end(),
                    [&](const std::string& path) { return path.compare(0, relative.size(), relative) == 0; });
    if (holds_wanted) continue;
    if (options.dry_run) {
      listing << "delete " << relative << "\n";
    } else if (fs::is_empty(folder, error)) {
      fs::remove(folder, error);
    }
  }
  return Status::OK();
}

// --- Through rsync ----------------------------------------------------------------------


// A temporary folder, removed with everything in it when the object goes.
class StagingFolder {
 public:
  StagingFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/pixamond-publish-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~StagingFolder() {
    std::error_code error;
    if (!path_.empty()) fs::remove_all(path_, error);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// What rsync said of one item with -ii ("%i %n"): the 11 letters of its change, a blank,
// the name; or "*deleting" and the name.
void TakeRsyncLine(const std::string& line, const PublishOptions& options, Progress& progress,
                   std::ostream& listing, PublishStats& stats, Diagnostics& diagnostics) {
  if (line.compare(0, 10, "*deleting ") == 0) {
    std::string name = line.substr(10);
    name.erase(0, name.find_first_not_of(' '));
    ++stats.removed;
    if (options.dry_run) listing << "delete " << name << "\n";
    return;
  }
  if (line.size() > 12 && line[11] == ' ' && line[1] == 'f') {
    const std::string name = line.substr(12);
    progress.SetCurrentStep(name);
    if (line[0] == '<' || line[0] == '>' || line[0] == 'c') {
      ++stats.copied;
      if (options.dry_run) listing << "copy " << name << "\n";
    } else {
      ++stats.unchanged;
    }
    progress.StepBy(1);
    return;
  }
  if (line.size() > 12 && line[11] == ' ' && (line[1] == 'd' || line[1] == 'L')) return;
  if (line.compare(0, 18, "created directory ") == 0) return;
  if (!line.empty()) diagnostics.Problem(line);
}

Status PublishThroughRsync(const fs::path& site, const std::string& destination,
                           const std::vector<SiteFile>& files, const PublishOptions& options,
                           Progress& progress, std::ostream& listing, PublishStats& stats,
                           Diagnostics& diagnostics) {
  const std::optional<std::string> rsync = FindProgramOnPath("rsync");
  if (!rsync) {
    return Status::NotFound(
        "rsync was not found on the PATH; it is what publishes to host:path and rsync:// "
        "(on Debian: apt-get install rsync)");
  }
  StagingFolder staging;
  if (staging.path().empty()) {
    return Status::IoError(std::string("Cannot make a temporary folder: ") + std::strerror(errno));
  }
  std::error_code error;
  const fs::path absolute_site = fs::absolute(site, error);
  for (const SiteFile& file : files) {
    const fs::path link = staging.path() / file.path;
    fs::create_directories(link.parent_path(), error);
    if (!error) fs::create_symlink(absolute_site / file.path, link, error);
    if (error) {
      return Status::IoError("Cannot prepare " + file.path + " for rsync: " + error.message());
    }
    struct stat info;
    if (::stat((site / file.path).c_str(), &info) == 0) {
      stats.bytes += static_cast<std::uint64_t>(info.st_size);
    }
  }
  // -L copies what each link leads to; -t keeps the files' times, which is what lets a
  // second run see that nothing changed; -O leaves the folders' times, which the staging
  // tree makes new each time. -ii names every file, unchanged ones too, for the progress.
  std::vector<std::string> args = {"rsync", "--recursive", "--copy-links", "--times",
                                   "--omit-dir-times", "--itemize-changes", "--itemize-changes"};
  if (options.dry_run) args.push_back("--dry-run");
  if (options.delete_extra) {
    args.push_back("--delete");
    args.push_back("--filter=P .*");
  }
  args.push_back(staging.path().string() + "/");
  args.push_back(destination);

  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
    return Status::IoError(std::string("Cannot start rsync: ") + std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, rsync->c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_ends[1]);
  if (spawned != 0) {
    ::close(pipe_ends[0]);
    return Status::IoError("Cannot start " + *rsync + ": " + std::strerror(spawned));
  }
  progress.SetStepCount(static_cast<int>(files.size()));
  progress.SetMainTask("Publishing to " + destination);
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(pipe_ends[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      TakeRsyncLine(pending.substr(0, end), options, progress, listing, stats, diagnostics);
      pending.erase(0, end + 1);
    }
  }
  TakeRsyncLine(pending, options, progress, listing, stats, diagnostics);
  ::close(pipe_ends[0]);
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(wait_status) || WEXITSTATUS(wait_status) != 0) {
    const int code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return Status::IoError("rsync failed (exit status " + std::to_string(code) + ") publishing to " +
                           destination);
  }
  return Status::OK();
}

}  // namespace

bool IsRemoteDestination(std::string_view destination) {
  if (destination.compare(0, 8, "rsync://") == 0) return true;
  const std::size_t colon = destination.find(':');
  return colon != std::string_view::npos && colon > 0 &&
         destination.substr(0, colon).find('/') == std::string_view::npos;
}

Result<PublishStats> PublishSite(const fs::path& site, const std::string& destination,
                                 const PublishOptions& options, Progress& progress,
                                 std::ostream& listing, Diagnostics& diagnostics) {
  const std::unique_ptr<SiteRecord> record = SiteRecord::OpenToRead(site);
  if (!record) {
    return Status::NotFound(site.string() +
                            " has no record of a Pixamond run to publish; run pixamond generate first");
  }
  const bool remote = IsRemoteDestination(destination);
  if (!remote && Overlap(site, destination)) {
    return Status::InvalidArgument("the destination " + destination +
                                   " and the site directory " + site.string() + " overlap");
  }
  PublishStats stats;
  const std::vector<SiteFile> files = ChooseFiles(site, *record, options, diagnostics, stats);
  stats.files = static_cast<int>(files.size());
  const Status done =
      remote ? PublishThroughRsync(site, destination, files, options, progress, listing, stats,
                                   diagnostics)
             : PublishToFolder(site, destination, files, options, progress, listing, stats);
  if (!done.ok()) return done;
  return stats;
}

}  // namespace pix
