#include "base/ui/qtuserinterface.h"

#include <QApplication>
#include <QCoreApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>
#include <utility>

#include "base/ui/qttext.h"

namespace pix::ui {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kStop:
      return QMessageBox::Critical;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MessageAnswer QtUserInterface::ShowMessage(const std::string& text, const std::string& title,
                                            MessageButtons buttons, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ToQt(title), ToQt(text), QMessageBox::NoButton, owner_.data());
  MessageAnswer closed = MessageAnswer::kOk;
  switch (buttons) {
    case MessageButtons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MessageButtons::kOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      closed = MessageAnswer::kCancel;
      break;
    case MessageButtons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      closed = MessageAnswer::kNo;
      break;
    case MessageButtons::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      closed = MessageAnswer::kCancel;
      break;
    case MessageButtons::kSaveDiscardCancel:
      box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Save);
      box.setEscapeButton(QMessageBox::Cancel);
      closed = MessageAnswer::kCancel;
      break;
  }
  // A box may be asked for while the wait cursor is up; the user must see an arrow on it.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int chosen = box.exec();
  QApplication::restoreOverrideCursor();
  switch (chosen) {
    case QMessageBox::Ok:
      return MessageAnswer::kOk;
    case QMessageBox::Cancel:
      return MessageAnswer::kCancel;
    case QMessageBox::Yes:
      return MessageAnswer::kYes;
    case QMessageBox::No:
      return MessageAnswer::kNo;
    case QMessageBox::Save:
      return MessageAnswer::kSave;
    case QMessageBox::Discard:
      return MessageAnswer::kDiscard;
    default:
      return closed;
  }
}

std::optional<std::string> QtUserInterface::PromptLine(const std::string& title,
                                                        const std::string& prompt,
                                                        const std::string& initial, int max_length) {
  QInputDialog dialog(owner_.data());
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(ToQt(title));
  dialog.setLabelText(ToQt(prompt));
  const QString shown = ToQt(initial);
  dialog.setTextValue(shown);
  if (auto* edit = dialog.findChild<QLineEdit*>()) {
    if (max_length > 0) edit->setMaxLength(max_length);
  }
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int result = dialog.exec();
  QApplication::restoreOverrideCursor();
  if (result != QDialog::Accepted) return std::nullopt;
  // An answer left as it was shown gives back the initial bytes: a file name that is not
  // UTF-8 is shown with U+FFFD, and must not turn into that spelling when accepted as is.
  if (dialog.textValue() == shown) return initial;
  return FromQt(dialog.textValue());
}

namespace {

// Runs `ask` on the application's thread and waits for it.
template <typename Ask>
void OnApplicationThread(Ask&& ask) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr || QThread::currentThread() == application->thread()) {
    ask();
    return;
  }
  QMetaObject::invokeMethod(application, std::forward<Ask>(ask), Qt::BlockingQueuedConnection);
}

}  // namespace

MessageAnswer MainThreadUserInterface::ShowMessage(const std::string& text,
                                                   const std::string& title, MessageButtons buttons,
                                                   MessageIcon icon) {
  MessageAnswer answer = MessageAnswer::kCancel;
  OnApplicationThread([&] { answer = inner_.ShowMessage(text, title, buttons, icon); });
  return answer;
}

std::optional<std::string> MainThreadUserInterface::PromptLine(const std::string& title,
                                                               const std::string& prompt,
                                                               const std::string& initial,
                                                               int max_length) {
  std::optional<std::string> answer;
  OnApplicationThread([&] { answer = inner_.PromptLine(title, prompt, initial, max_length); });
  return answer;
}

}  // namespace pix::ui
