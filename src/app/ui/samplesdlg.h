// The sample layout dialog: the samples' titles above, the highlighted one's description
// below, and the buttons Ok (replace the layout after a confirmation), Cancel and Help.
// Everything it decides is SampleLayouts'.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>

#include "base/status.h"
#include "layout/samples.h"

class QHBoxLayout;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace pix {
class UserInterface;
}

namespace pix::ui {

class PagePreviewPane;
struct PageRequest;

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
  /// Shows beside the list how the highlighted sample makes a page of the site:
  /// `prepare_page` says what that page is made from, with the sample's file (none before
  /// a sample is highlighted) in place of the layout's.
  void ShowPagePreview(
      std::function<Result<PageRequest>(const std::filesystem::path& sample)> prepare_page);
  /// The page preview; null unless ShowPagePreview was called.
  PagePreviewPane* page_preview() const { return page_preview_; }
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
  QHBoxLayout* panes_;  // The list and description, and the page preview beside them.
  PagePreviewPane* page_preview_ = nullptr;
};

}  // namespace pix::ui
