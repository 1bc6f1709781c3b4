// The sample layout dialog: the samples' titles above, the highlighted one's description
// below, and the buttons Ok (replace the layout after a confirmation), Cancel and Help.
// Everything it decides is SampleLayouts'.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>

#include "layout/samples.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace pix {
class UserInterface;
}

namespace pix::ui {

class SamplesDialog : public QDialog {
  Q_OBJECT

 public:
  /// Lists the samples of `directories`; a confirmed choice replaces `target` (the layout
  /// home's globals.txt). `ui` must outlive the dialog.
  SamplesDialog(QWidget* parent, UserInterface& ui,
                const std::vector<std::filesystem::path>& directories,
                const std::filesystem::path& target);

  QListWidget* List() const { return list_box_; }
  QPlainTextEdit* Description() const { return description_box_; }
  QPushButton* OkButton() const { return ok_button_; }
  QPushButton* CancelButton() const { return cancel_button_; }
  QPushButton* HelpButton() const { return help_button_; }
  const SampleLayouts& Samples() const { return *model_; }
  /// Opens a help topic; the frame's help window by default.
  std::function<void(int)> open_help;

 private:
  void Highlight();
  void PressOk();

  UserInterface& ui_;
  std::unique_ptr<SampleLayouts> model_;
  QListWidget* list_box_;
  QPlainTextEdit* description_box_;
  QPushButton* ok_button_;
  QPushButton* cancel_button_;
  QPushButton* help_button_;
};

}  // namespace pix::ui
