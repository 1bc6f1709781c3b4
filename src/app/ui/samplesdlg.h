// The sample layout dialog on template 501: the samples' titles, the highlighted one's
// description, Ok (replace the layout after a confirmation), Cancel and Help. Everything it
// decides is SampleLayouts'.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>

#include "layout/samples.h"

class QListWidget;
class QPlainTextEdit;

namespace pix {
class UserInterface;
}

namespace pix::ui {

class ParentWindow;

class TSamplesDlg : public QDialog {
  Q_OBJECT

 public:
  /// Lists the samples of `directories` (the program's own when empty); a confirmed choice
  /// replaces `target` (the layout home's globals.txt when empty). `ui` must outlive the
  /// dialog.
  TSamplesDlg(QWidget* parent, UserInterface& ui,
              const std::vector<std::filesystem::path>& directories = {},
              std::filesystem::path target = {});

  QListWidget* List() const { return ListBox; }
  QPlainTextEdit* Description() const { return DescriptionBox; }
  QWidget* Button(int id) const;
  const SampleLayouts& Samples() const { return *Model; }
  /// Opens a help topic; the frame's help window by default.
  std::function<void(int)> OpenHelp;

 private:
  void Highlight();
  void PressOk();

  UserInterface& Ui;
  std::unique_ptr<SampleLayouts> Model;
  std::filesystem::path Target;
  ParentWindow* Body;
  QListWidget* ListBox;
  QPlainTextEdit* DescriptionBox;
};

}  // namespace pix::ui
