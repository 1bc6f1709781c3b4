#include "app/console.h"

#include <cstdio>
#include <istream>
#include <ostream>

namespace pix {

TConsoleUserInterface::TConsoleUserInterface(std::istream& in, std::ostream& messages,
                                             bool interactive)
    : In(in), Messages(messages), bInteractive(interactive) {}

MessageAnswer TConsoleUserInterface::ShowMessage(const std::string& text,
                                                 const std::string& title,
                                                 MessageButtons buttons, MessageIcon) {
  if (BeforeMessage) BeforeMessage();
  Messages << "pixamond: ";
  if (!title.empty() && title != kProgramCaption) Messages << title << ": ";
  Messages << text << std::endl;
  // A terminal cannot be asked: edits are never dropped on its behalf.
  if (buttons == MessageButtons::kSaveDiscardCancel) return MessageAnswer::kCancel;
  return buttons == MessageButtons::kYesNo || buttons == MessageButtons::kYesNoCancel
             ? MessageAnswer::kYes
             : MessageAnswer::kOk;
}

std::optional<std::string> TConsoleUserInterface::PromptLine(const std::string&,
                                                             const std::string& prompt,
                                                             const std::string&,
                                                             int maxLength) {
  if (!bInteractive) return std::nullopt;
  if (BeforeMessage) BeforeMessage();
  Messages << prompt << " " << std::flush;
  std::string line;
  if (!std::getline(In, line)) {
    Messages << "\n";
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (maxLength > 0 && line.size() >= static_cast<std::size_t>(maxLength)) {
    line.resize(static_cast<std::size_t>(maxLength) - 1);
  }
  return line;
}

TConsoleProgress::TConsoleProgress(std::ostream& out, bool enabled)
    : Out(out), bEnabled(enabled), Start(std::chrono::steady_clock::now()) {}

double TConsoleProgress::ElapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void TConsoleProgress::ClearLine() {
  if (!bLineShown) return;
  Out << "\r\033[K" << std::flush;
  bLineShown = false;
}

void TConsoleProgress::Refresh() {
  if (!bEnabled) return;
  const auto now = std::chrono::steady_clock::now();
  const bool finished = Position() >= StepCount();
  if (bLineShown && !finished && now - LastDraw < std::chrono::milliseconds(100)) return;
  LastDraw = now;
  const int seconds = static_cast<int>(ElapsedSeconds());
  char head[96];
  std::snprintf(head, sizeof head, "[%d/%d %3d%%] %d:%02d ", Position(), StepCount(), Percent(),
                seconds / 60, seconds % 60);
  std::string step = CurrentStep().empty() ? MainTask() : CurrentStep();
  constexpr std::size_t kStepWidth = 56;  // Keeps the line within an 80-column terminal.
  if (step.size() > kStepWidth) step = "..." + step.substr(step.size() - kStepWidth + 3);
  Out << "\r\033[K" << head << step << std::flush;
  bLineShown = true;
}

}  // namespace pix
