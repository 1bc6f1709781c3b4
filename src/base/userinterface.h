// The core's window onto its user.
//
// Everything the core needs to ask or tell its user goes through UserInterface: message
// boxes with a title, buttons and an icon, and the single-line input prompt. The desktop
// program implements it with dialogs, the command line with the terminal, and the tests
// with a script of answers. No core code draws or reads a terminal itself.
#pragma once

#include <optional>
#include <string>

namespace pix {

/// The caption of the program's own boxes (the program's file name).
inline constexpr const char* kProgramCaption = "pixamond";

enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel, kSaveDiscardCancel };
enum class MessageIcon { kNone, kInformation, kWarning, kQuestion, kStop };
enum class MessageAnswer { kOk, kCancel, kYes, kNo, kSave, kDiscard };

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  /// Shows a modal message box and returns the button the user chose. Closing the box
  /// without a choice answers Cancel (or Ok for a box that has only Ok, No for Yes-No).
  /// SaveDiscardCancel asks about unsaved edits: Save, Discard (drop them) or Cancel.
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                                    MessageButtons buttons, MessageIcon icon) = 0;

  /// Asks for one line of text, starting from `initial`, at most `maxLength` characters.
  /// Returns the text on OK and nothing when the user cancels.
  virtual std::optional<std::string> PromptLine(const std::string& title, const std::string& prompt,
                                                const std::string& initial, int max_length) = 0;
};

}  // namespace pix
