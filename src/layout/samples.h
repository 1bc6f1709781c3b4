// Sample layouts: the layout files "samp####.txt" shipped with the program (and any the user
// keeps in the layout home), listed by title with a description, and the copy of a chosen
// sample over the layout home's globals.txt.
//
// The sample dialog of the desktop program draws SampleLayouts and forwards the user's
// actions to it; everything it decides lives here.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "site/variable.h"

namespace pix {

class UserInterface;

/// The most bytes of a sample file that are read for its title and description.
inline constexpr std::size_t kSampleReadLimit = 16384;

/// The file-name pattern of sample layouts.
inline constexpr const char* kSamplePattern = "samp####.txt";

/// One sample layout.
struct SampleItem {
  int list_index = -1;                ///< Its line in the list.
  std::string title;               ///< VariableFileTitle; empty when missing.
  std::string description;         ///< VariableFileDescription; empty when missing.
  std::filesystem::path file_name;  ///< Full path of the sample file.
  std::unique_ptr<VariableList> vars;   ///< The variables of its first kSampleReadLimit bytes.
};

/// Reads the sample at `path`: the variables of its first kSampleReadLimit bytes, its
/// title and description. A file that cannot be read gives an empty sample.
SampleItem ReadSampleItem(const std::filesystem::path& path);

/// The samples of `directories`, in the sort order of their file names. A file of the same
/// name in a later directory stands in for the earlier one (the layout home's copy of a
/// shipped sample wins). Every file whose name matches kSamplePattern is listed.
std::vector<SampleItem> ListSampleLayouts(const std::vector<std::filesystem::path>& directories);

/// Where the program's samples are: the shipped data folder, then `layout_home` (unless
/// they are the same folder).
std::vector<std::filesystem::path> SampleDirectories(const std::filesystem::path& layout_home);

/// `text` with every line ending CR LF: a lone line feed or carriage return becomes CR LF.
std::string WithCrLfLineEnds(std::string_view text);

/// Replaces `target` (the layout home's globals.txt) by the whole sample file `sample`,
/// with CR LF line ends, never leaving a half-written file. A sample that cannot be read
/// leaves the target as it was.
Status CopySampleLayout(const std::filesystem::path& sample, const std::filesystem::path& target);

/// The name of the next numbered backup of `file` beside it: NAME.~N~ with the lowest N
/// from 1 that no file takes yet (as GNU cp --backup=numbered names them).
std::filesystem::path NextNumberedBackup(const std::filesystem::path& file);

/// Copies `file` to `backup`, a name that must be free: an existing file is never replaced.
/// A copy that cannot be completed is removed again.
Status CopyToBackup(const std::filesystem::path& file, const std::filesystem::path& backup);

/// The sample dialog's model.
class SampleLayouts {
 public:
  /// What pressing Ok led to.
  enum class OkOutcome {
    kClosedUnchanged,  ///< Nothing was highlighted: the dialog closes, nothing changes.
    kCopied,           ///< Confirmed and copied: the dialog closes with OK.
    kStayOpen,         ///< The user cancelled the confirmation, or the copy failed.
  };

  /// Lists the samples of `directories`; a confirmed choice replaces `globals` (the layout
  /// home's globals.txt).
  SampleLayouts(const std::vector<std::filesystem::path>& directories,
                std::filesystem::path globals);
  SampleLayouts(const SampleLayouts&) = delete;
  SampleLayouts& operator=(const SampleLayouts&) = delete;

  const std::vector<SampleItem>& Samples() const { return items_; }

  /// The list's line `index` is highlighted (-1: none). Returns the description to show,
  /// empty when nothing is highlighted.
  const std::string& Highlight(int index);
  const SampleItem* SelectedSample() const { return selected_; }

  /// Ok: asks to replace the layout and copies the highlighted sample over the globals file.
  /// An existing file is first kept as its next numbered backup, which the question names.
  /// A failed backup or copy is reported on `ui` and leaves the file as it was.
  OkOutcome PressOk(UserInterface& ui);

 private:
  std::vector<SampleItem> items_;
  std::filesystem::path globals_;
  const SampleItem* selected_ = nullptr;
};

}  // namespace pix
