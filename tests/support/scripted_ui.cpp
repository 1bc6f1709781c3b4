#include "support/scripted_ui.h"

namespace pix::test {

MessageAnswer TScriptedUserInterface::ShowMessage(const std::string& text,
                                                  const std::string& title,
                                                  MessageButtons buttons, MessageIcon icon) {
  messages_.push_back({text, title, buttons, icon});
  if (messageAnswers_.empty()) {
    // A box with only OK needs no scripted answer.
    if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
    throw ScriptExhausted("unexpected message box: " + text);
  }
  const MessageAnswer answer = messageAnswers_.front();
  messageAnswers_.pop_front();
  return answer;
}

std::optional<std::string> TScriptedUserInterface::PromptLine(const std::string& title,
                                                              const std::string& prompt,
                                                              const std::string& initial,
                                                              int maxLength) {
  prompts_.push_back({title, prompt, initial, maxLength});
  if (promptAnswers_.empty()) throw ScriptExhausted("unexpected prompt: " + prompt);
  std::optional<std::string> answer = promptAnswers_.front();
  promptAnswers_.pop_front();
  return answer;
}

}  // namespace pix::test
