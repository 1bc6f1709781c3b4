#include "layout/pictureitem.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include "base/safefile.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/settings.h"
#include "files/utils.h"
#include "layout/configstore.h"
#include "picture/comread.h"
#include "picture/comwrite.h"
#include "site/pictureentry.h"

extern char** environ;

namespace pix {
namespace {

// Splits a path into its directory (without the last "/") and its file name.
void SplitPath(const std::string& path, std::string* directory, std::string* name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory->clear();
    *name = path;
  } else {
    *directory = path.substr(0, slash == 0 ? 1 : slash);
    *name = path.substr(slash + 1);
  }
}

// The box keeps the program's own words and says why below them, in the body, where a
// long reason is read whole (a title is cut at the box's width).
void ShowRenameFailure(UserInterface& ui, const Status& why) {
  ui.ShowMessage("It was not possible to rename the picture file.\n\n" + why.message(), "",
                 MessageButtons::kOk, MessageIcon::kWarning);
}

}  // namespace

// The variables in the text file beside a picture: its start, as a generation run reads it;
// empty when there is none or it is no plain file.
std::string ReadCaptionTextFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::string();
  std::ifstream in(path, std::ios::binary);
  std::string text(kPictureTextFileLimit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  return text;
}

bool HoldsPictureComment(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && IsJpegExtension(name.substr(dot));
}

bool CommentFitsReader(std::string_view text) {
  // The reader's own filter decides, so the two can never disagree on where a text is cut.
  CommentTextFilter filter;
  for (const char c : text) {
    if (!filter.Add(static_cast<std::uint8_t>(c))) return false;
  }
  return true;
}

// ---- Construction and the comment --------------------------------------------------------

PictureItem::PictureItem(ParentLink parent, std::string_view label, std::string full_file_name,
                           TreeBuildContext& context, FileItem* file_item)
    : ConfigItem(parent, label,
                  {kDetailPageTitle, kDetailPageLabel, kImageDescription, kImageSubjectName,
                   kImagePhotographerName}),
      full_file_name_(std::move(full_file_name)),
      file_item_(file_item),
      names_(context.names) {
  if (!FileExists(full_file_name_)) {
    // Gone since the directory was scanned. The item is still built, with empty variables;
    // Cancel only asks not to be told about every other missing picture of this build.
    if (context.ui != nullptr && !context.missing_files_quiet &&
        context.ui->ShowMessage(full_file_name_, "Missing File", MessageButtons::kOkCancel,
                                MessageIcon::kWarning) == MessageAnswer::kCancel) {
      context.missing_files_quiet = true;
    }
    return;
  }
  if (!HoldsPictureComment(full_file_name_)) {
    // A GIF picture has no comment of ours: its variables live in the text file beside it,
    // which a generation run reads for every picture.
    ParseVarText(ReadCaptionTextFile(CaptionTextPath()));
    stored_comment_ = FormatVarText();
    return;
  }
  // A picture that cannot be read shows no caption; saving reports why it cannot be written.
  const Result<JpegHeader> header = ReadJpegHeader(full_file_name_);
  ParseVarText(header.ok() ? header->comments : std::string());
  stored_comment_ = FormatVarText();
}

std::string PictureItem::CaptionTextPath() const {
  const std::size_t slash = full_file_name_.rfind('/');
  const std::size_t dot = full_file_name_.rfind('.');
  const std::size_t end = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                              ? dot
                              : full_file_name_.size();
  return full_file_name_.substr(0, end) + ".txt";
}

Status PictureItem::SaveCaptionTextFile(const std::string& text) {
  const std::string path = CaptionTextPath();
  const std::string name = path.substr(path.rfind('/') + 1);
  // A picture named like one of the directory's layout files would write its caption over
  // that file's variables: such a caption cannot be kept beside it.
  for (const char* layout_file : {"index.txt", "globals.txt", "dglobals.txt", "mglobals.txt"}) {
    if (EqualsNoCase(name, layout_file)) {
      return Status::Refused("The caption of " + full_file_name_ +
                             " cannot be saved: a GIF picture keeps its caption in " + path +
                             ", which is the directory's own layout file. Rename the picture "
                             "to keep a caption; the edit is still in the window");
    }
  }
  std::error_code error;
  if (text.empty() && !std::filesystem::exists(path, error)) return Status::OK();
  if (text.size() > kPictureTextFileLimit) {
    return Status::TooLarge("The caption of " + full_file_name_ + " is " +
                            std::to_string(text.size()) +
                            " characters long, more than a generation run reads from " + path +
                            "; nothing was written");
  }
  Status written = WriteFileAtomically(path, text);
  if (!written.ok()) {
    return Status::IoError("The caption of " + full_file_name_ + " could not be saved in " + path +
                           ": " + written.message());
  }
  return written;
}

Status PictureItem::Save() {
  if (IsCrossedOut()) return RemoveCrossedOutFile(full_file_name_, trash());
  const std::string text = FormatVarText();
  if (text == stored_comment_) return Status::OK();
  if (!HoldsPictureComment(full_file_name_)) {
    Status written = SaveCaptionTextFile(text);
    if (written.ok()) stored_comment_ = text;
    return written;
  }
  if (!CommentFitsReader(text)) {
    return Status::TooLarge("The text of " + full_file_name_ + " is " + std::to_string(text.size()) +
                            " characters long, more than a picture's comment can give back; "
                            "the picture was left as it was");
  }
  // The comment writer replaces the picture only with a complete copy that reads back with
  // the new text; on any failure the picture stays as it was.
  Status written = WriteJpegCommentInPlace(full_file_name_, text);
  if (written.ok()) stored_comment_ = text;
  return written;
}

void PictureItem::CollectDeletedFiles(std::vector<std::string>& paths) const {
  if (IsCrossedOut()) paths.push_back(full_file_name_);
}

// ---- Rename ------------------------------------------------------------------------------

bool PictureItem::Rename(UserInterface& ui, std::string_view new_name) {
  std::string directory;
  std::string old_name;
  SplitPath(full_file_name_, &directory, &old_name);
  std::string name(new_name);
  // A new name without a picture's extension keeps the old one: "Mr. Smith" for
  // "IMG_1.jpg" becomes "Mr. Smith.jpg".
  const std::size_t new_dot = name.rfind('.');
  const std::string_view new_ext =
      new_dot == std::string::npos ? std::string_view() : std::string_view(name).substr(new_dot);
  if (!name.empty() && !IsJpegExtension(new_ext) && !IsGifExtension(new_ext)) {
    const std::size_t dot = old_name.rfind('.');
    if (dot != std::string::npos) AppendWithSep(name, '.', old_name.substr(dot + 1));
  }
  if (file_item_ != nullptr) {
    const Status renamed = RenameFileItem(*file_item_, name);
    if (!renamed.ok()) {
      ShowRenameFailure(ui, renamed);
      return false;
    }
    full_file_name_ = file_item_->FullFileName();
    return true;
  }
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    ShowRenameFailure(ui, Status::InvalidArgument("\"" + name + "\" is not a usable name"));
    return false;
  }
  const std::string new_path = JoinPath(directory, name);
  const Status renamed = RenameWithoutReplacing(full_file_name_, new_path);
  if (!renamed.ok()) {
    ShowRenameFailure(ui, renamed);
    return false;
  }
  full_file_name_ = new_path;
  return true;
}

void PictureItem::FollowFileItem() {
  if (file_item_ != nullptr) full_file_name_ = file_item_->FullFileName();
}

// ---- Preview -----------------------------------------------------------------------------

std::filesystem::path PictureItem::InlineImagePath() const {
  PIX_CHECK(!full_file_name_.empty());
  std::string directory;
  std::string name;
  SplitPath(full_file_name_, &directory, &name);
  const std::string base_name = name.substr(0, name.rfind('.'));
  return BuildFileName(InlineDirectoryOf(directory, names_), base_name, names_.in_line_file_ext);
}

void PictureItem::ShowPreview(PreviewTarget* preview) {
  if (preview != nullptr) preview->SetPicture(InlineImagePath());
}

// ---- Open --------------------------------------------------------------------------------

std::vector<std::string> BuildEditorCommand(std::string_view command_line, std::string_view path) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  if (words.empty()) return {"xdg-open", std::string(path)};

  bool placed = false;
  for (std::string& argument : words) {
    for (std::size_t at = argument.find("%s"); at != std::string::npos;
         at = argument.find("%s", at + path.size())) {
      argument.replace(at, 2, path);
      placed = true;
    }
  }
  if (!placed) words.emplace_back(path);
  return words;
}

Status StartDetachedProgram(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return Status::InvalidArgument("No program to start");
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A session of its own: the editor outlives the program and its terminal.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int error =
      posix_spawnp(&pid, arguments[0], nullptr, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    return Status::IoError("Cannot start " + argv[0] + ": " + std::strerror(error));
  }
  // Nobody waits for the editor, but its exit must still be collected.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return Status::OK();
}

void PictureItem::Open(UserInterface& ui) {
  PIX_CHECK(!full_file_name_.empty());
  const std::string command_line = settings().GetString(kFilesSection, kPictureEditorKey, "", 1024);
  const Status started = StartDetachedProgram(BuildEditorCommand(command_line, full_file_name_));
  if (!started.ok()) {
    ui.ShowMessage("The picture editor could not be started.\n" + started.message(), "Error",
                   MessageButtons::kOk, MessageIcon::kWarning);
  }
}

}  // namespace pix
