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

/// Asks `inner` on the application's own thread, whichever thread asks: a job that runs in
/// the background puts its questions through it and waits for the answer while the window
/// goes on drawing. Called on the application's thread it asks at once.
class MainThreadUserInterface : public UserInterface {
 public:
  /// `inner` must outlive this.
  explicit MainThreadUserInterface(UserInterface& inner) : inner_(inner) {}

  MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                            MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> PromptLine(const std::string& title, const std::string& prompt,
                                        const std::string& initial, int max_length) override;

 private:
  UserInterface& inner_;
};

}  // namespace pix::ui
