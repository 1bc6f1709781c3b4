#include "layout/samples.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "base/safefile.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/layouthome.h"
#include "files/pattern.h"
#include "files/utils.h"

namespace pix {
namespace {

const std::string kNoText;

// The first `limit` bytes of the file, or nothing when it cannot be opened.
std::optional<std::string> ReadFilePrefix(const std::filesystem::path& path, std::size_t limit) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text(limit, '\0');
  const std::size_t got = std::fread(text.data(), 1, limit, file);
  std::fclose(file);
  text.resize(got);
  return text;
}

// Orders file names as directory listings do.
struct FileNameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    const int order = CompareFileNames(a, b);
    return order != 0 ? order < 0 : a < b;
  }
};

}  // namespace

SampleItem ReadSampleItem(const std::filesystem::path& path) {
  SampleItem item;
  item.file_name = path;
  item.vars = std::make_unique<VariableList>();
  item.vars->ParseVarText(ReadFilePrefix(path, kSampleReadLimit).value_or(std::string()));
  item.title = item.vars->GetVarValue("VariableFileTitle");
  item.description = item.vars->GetVarValue("VariableFileDescription");
  return item;
}

std::vector<SampleItem> ListSampleLayouts(const std::vector<std::filesystem::path>& directories) {
  const PatternListItem patterns(kSamplePattern);
  std::map<std::string, std::filesystem::path, FileNameLess> found;
  for (const std::filesystem::path& directory : directories) {
    Result<std::unique_ptr<FileItem>> listed = FileItem::CreateRoot(directory.string(), false);
    if (!listed.ok()) continue;
    for (const FileItem* item = (*listed)->FirstChild(); item != nullptr;
         item = item->NextItem()) {
      if (IsDirectory(*item) || !MatchesAnyPattern(patterns, item->FileName())) continue;
      found[std::string(item->FileName())] = item->FullFileName();
    }
  }
  std::vector<SampleItem> samples;
  for (const auto& [name, path] : found) {
    samples.push_back(ReadSampleItem(path));
    samples.back().list_index = static_cast<int>(samples.size()) - 1;
  }
  return samples;
}

std::vector<std::filesystem::path> SampleDirectories(const std::filesystem::path& home) {
  std::vector<std::filesystem::path> directories{FindShippedDataDir()};
  std::error_code error;
  if (!std::filesystem::equivalent(directories.front(), home, error)) {
    directories.push_back(home);
  }
  return directories;
}

std::string WithCrLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

Status CopySampleLayout(const std::filesystem::path& sample, const std::filesystem::path& target) {
  const Result<std::string> text = ReadTextFile(sample);
  if (!text.ok()) {
    return Status::NotFound("Cannot read the sample layout " + sample.string() + ": " +
                            text.status().message());
  }
  return WriteFileAtomically(target, WithCrLfLineEnds(*text));
}

std::filesystem::path NextNumberedBackup(const std::filesystem::path& file) {
  for (int number = 1;; ++number) {
    std::filesystem::path backup = file;
    backup += ".~" + std::to_string(number) + "~";
    struct stat status;
    if (::lstat(backup.c_str(), &status) != 0 && errno == ENOENT) return backup;
  }
}

Status CopyToBackup(const std::filesystem::path& file, const std::filesystem::path& backup) {
  const Result<std::string> text = ReadTextFile(file);
  if (!text.ok()) return Status::IoError("Cannot read " + file.string() + ": " + text.status().message());
  struct stat status;
  const mode_t mode = ::stat(file.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0644;
  // O_EXCL: a backup that appeared meanwhile is never overwritten.
  const int out = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (out < 0) return Status::IoError("Cannot create " + backup.string() + ": " + std::strerror(errno));
  std::string_view rest = *text;
  bool written = true;
  while (!rest.empty() && written) {
    const ssize_t done = ::write(out, rest.data(), rest.size());
    written = done > 0;
    if (written) rest.remove_prefix(static_cast<std::size_t>(done));
  }
  const std::string why = std::strerror(errno);
  written = written && ::fsync(out) == 0;
  written = ::close(out) == 0 && written;
  if (!written) {
    ::unlink(backup.c_str());
    return Status::IoError("Cannot write " + backup.string() + ": " + why);
  }
  return Status::OK();
}

// ---- SampleLayouts ----------------------------------------------------------------------

SampleLayouts::SampleLayouts(const std::vector<std::filesystem::path>& directories,
                             std::filesystem::path globals)
    : items_(ListSampleLayouts(directories)), globals_(std::move(globals)) {}

const std::string& SampleLayouts::Highlight(int index) {
  selected_ = nullptr;
  for (const SampleItem& item : items_) {
    if (item.list_index == index) selected_ = &item;
  }
  return selected_ != nullptr ? selected_->description : kNoText;
}

SampleLayouts::OkOutcome SampleLayouts::PressOk(UserInterface& ui) {
  if (selected_ == nullptr) return OkOutcome::kClosedUnchanged;
  const std::filesystem::path& globals = globals_;
  std::error_code error;
  const bool keep = std::filesystem::exists(globals, error);
  const std::filesystem::path backup = keep ? NextNumberedBackup(globals) : std::filesystem::path();
  std::string question = "Replace current layout with selection";
  if (keep) {
    question += "\n\nThe current " + globals.filename().string() + " is kept as " +
                backup.filename().string() + " beside it.";
  }
  if (ui.ShowMessage(question, "Confirm", MessageButtons::kOkCancel, MessageIcon::kQuestion) !=
      MessageAnswer::kOk) {
    return OkOutcome::kStayOpen;
  }
  if (keep) {
    const Status kept = CopyToBackup(globals, backup);
    if (!kept.ok()) {
      ui.ShowMessage("The current layout could not be kept as a backup; it is unchanged.\n" +
                         kept.message(),
                     "Error", MessageButtons::kOk, MessageIcon::kWarning);
      return OkOutcome::kStayOpen;
    }
  }
  const Status copied = CopySampleLayout(selected_->file_name, globals);
  if (!copied.ok() && keep) {
    // The layout is unchanged, so the copy of it would only be in the way.
    std::filesystem::remove(backup, error);
  }
  if (!copied.ok()) {
    ui.ShowMessage("The sample layout could not be copied; the current layout is unchanged.\n" +
                       copied.message(),
                   "Error", MessageButtons::kOk, MessageIcon::kWarning);
    return OkOutcome::kStayOpen;
  }
  return OkOutcome::kCopied;
}

}  // namespace pix
