// The desktop program's TUserInterface: message boxes and the one-line prompt as Qt dialogs,
// owned by the window that asks.
#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>
#include <string>

#include "base/userinterface.h"

namespace pix::ui {

class TQtUserInterface : public TUserInterface {
 public:
  /// `owner` (may be null) owns the boxes; it is watched, so it may go away first.
  explicit TQtUserInterface(QWidget* owner = nullptr) : Owner(owner) {}
  void SetOwner(QWidget* owner) { Owner = owner; }

  MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                            MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> PromptLine(const std::string& title, const std::string& prompt,
                                        const std::string& initial, int maxLength) override;

 private:
  QPointer<QWidget> Owner;
};

}  // namespace pix::ui
