// Picture items: a picture of the site in the layout tree.
//
// A JPEG picture keeps its own variables (title and label of its detail page, description,
// subject, photographer) as variable records in its comment segment. The item reads them
// when it is built and writes them back on save, always through a complete, checked copy of
// the picture, so that a failed save never costs the picture. It also deletes, renames and
// opens the picture and shows its inline image.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "layout/config.h"

namespace pix {

class FileItem;

class PictureItem : public ConfigItem {
 public:
  /// Builds the item for the picture at `full_file_name` and reads its comment. A picture
  /// that does not exist (any more) is reported on the context's user interface ("Missing
  /// File", OK and Cancel; Cancel quiets the rest of the build) and gets empty variables.
  /// `fileItem`, when given, is the picture's node in the root's file list (which outlives
  /// the item); a rename then goes through the list, so that it follows the new name.
  PictureItem(ParentLink parent, std::string_view label, std::string full_file_name,
               TreeBuildContext& context, FileItem* file_item = nullptr);

  int GetBitmapId() const override { return kBitmapPalette; }
  /// Writes the comment of a JPEG picture when its caption changed since it was read or last
  /// saved, or deletes the picture when crossed out. A GIF picture keeps its variables in
  /// the text file beside it (CaptionTextPath), which a generation run reads as well; where
  /// that file is one of the directory's layout files the save is refused with a message
  /// and the edit stays in the item.
  Status Save() override;
  void CollectDeletedFiles(std::vector<std::string>& paths) const override;
  bool CanDelete() const override { return true; }
  /// Starts the picture editor of the settings (Files/PictureEditor, a command line whose
  /// %s stands for the picture), or the desktop's default application when none is set.
  void Open(UserInterface& ui) override;
  bool CanOpen() const override { return true; }
  /// Shows the picture's inline image.
  void ShowPreview(PreviewTarget* preview) override;
  bool CanRename() const override { return true; }
  /// Renames the picture file in its directory to `newName`, which keeps the old extension
  /// when it has none. An existing file is never replaced.
  bool Rename(UserInterface& ui, std::string_view new_name) override;

  const std::string& FullFileName() const { return full_file_name_; }
  /// The inline image that a generation run makes for this picture:
  /// directory/inline/name.gif, the name up to its first ".".
  std::filesystem::path InlineImagePath() const;
  /// Takes the path again from the file-list node after a directory above was renamed.
  void FollowFileItem();
  /// The text file beside the picture: its path with the extension replaced by ".txt".
  std::string CaptionTextPath() const;

 private:
  Status SaveCaptionTextFile(const std::string& text);

  std::string full_file_name_;
  // The caption the picture holds, as this item would write it: what was read when the
  // item was built, then what the last successful save wrote. A save that would write the
  // same text leaves the picture alone.
  std::string stored_comment_;
  FileItem* file_item_;  // The picture's node in the root's file list; may be null.
  SiteNames names_;     // Where the site keeps the picture's inline image.
};

/// True for the pictures whose comment holds their variables: JPEG pictures (see
/// IsJpegExtension).
bool HoldsPictureComment(std::string_view path);

/// True when the comment reader hands back the whole of `text` (it keeps at most about
/// kMaxCommentsLength bytes; a line feed counts two, as it comes back as CR LF).
bool CommentFitsReader(std::string_view text);

/// The program and arguments that open `path` with the editor command line `commandLine`.
/// The command is split at blanks (double quotes keep blanks inside one argument); every
/// "%s" is replaced by the path, which stays one argument whatever it holds, and a command
/// without "%s" gets the path as its last argument. An empty command opens the picture with
/// the desktop's default application (xdg-open).
std::vector<std::string> BuildEditorCommand(std::string_view command_line, std::string_view path);

/// Starts the program `argv[0]` (searched on PATH) with its arguments, in a session of its
/// own, without a shell and without waiting for it. Fails when it cannot be started.
Status StartDetachedProgram(const std::vector<std::string>& argv);

}  // namespace pix
