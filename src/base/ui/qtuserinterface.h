// The desktop program's UserInterface: message boxes and the one-line prompt as Qt dialogs,
// owned by the window that asks.
#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>
#include <string>

#include "base/userinterface.h"

namespace pix::ui {

class QtUserInterface : public UserInterface {
 public:
  /// `owner` (may be null) owns the boxes; it is watched, so it may go away first.
  explicit QtUserInterface(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                            MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> PromptLine(const std::string& title, const std::string& prompt,
                                        const std::string& initial, int max_length) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace pix::ui
