#include "app/console.h"

#include <cstdio>
#include <istream>
#include <ostream>

namespace pix {

ConsoleUserInterface::ConsoleUserInterface(std::istream& in, std::ostream& messages,
                                             bool interactive)
    : input_(in), messages_(messages), interactive_(interactive) {}

MessageAnswer ConsoleUserInterface::ShowMessage(const std::string& text,
                                                 const std::string& title,
                                                 MessageButtons buttons, MessageIcon) {
  if (before_message_) before_message_();
  messages_ << "pixamond: ";
  if (!title.empty() && title != kProgramCaption) messages_ << title << ": ";
  messages_ << text << std::endl;
  // A terminal cannot be asked: edits are never dropped on its behalf.
  if (buttons == MessageButtons::kSaveDiscardCancel) return MessageAnswer::kCancel;
  return buttons == MessageButtons::kYesNo || buttons == MessageButtons::kYesNoCancel
             ? MessageAnswer::kYes
             : MessageAnswer::kOk;
}

std::optional<std::string> ConsoleUserInterface::PromptLine(const std::string&,
                                                             const std::string& prompt,
                                                             const std::string& initial,
                                                             int max_length) {
  if (!interactive_) return std::nullopt;
  if (before_message_) before_message_();
  messages_ << prompt << " ";
  if (!initial.empty()) messages_ << "[" << initial << "] ";
  messages_ << std::flush;
  std::string line;
  if (!std::getline(input_, line)) {
    messages_ << "\n";
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) line = initial;
  if (max_length > 0 && line.size() >= static_cast<std::size_t>(max_length)) {
    line.resize(static_cast<std::size_t>(max_length) - 1);
  }
  return line;
}

ConsoleProgress::ConsoleProgress(std::ostream& out, bool enabled)
    : out_(out), enabled_(enabled), start_(std::chrono::steady_clock::now()) {}

double ConsoleProgress::ElapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ConsoleProgress::ClearLine() {
  if (!line_shown_) return;
  out_ << "\r\033[K" << std::flush;
  line_shown_ = false;
}

void ConsoleProgress::Refresh() {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  const bool finished = Position() >= StepCount();
  if (line_shown_ && !finished && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  const int seconds = static_cast<int>(ElapsedSeconds());
  char head[96];
  std::snprintf(head, sizeof head, "[%d/%d %3d%%] %d:%02d ", Position(), StepCount(), Percent(),
                seconds / 60, seconds % 60);
  std::string step = CurrentStep().empty() ? MainTask() : CurrentStep();
  constexpr std::size_t kStepWidth = 56;  // Keeps the line within an 80-column terminal.
  if (step.size() > kStepWidth) step = "..." + step.substr(step.size() - kStepWidth + 3);
  out_ << "\r\033[K" << head << step << std::flush;
  line_shown_ = true;
}

}  // namespace pix
