#include "base/ui/qtuserinterface.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "base/ui/qttext.h"

namespace pix::ui {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::Stop:
      return QMessageBox::Critical;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MessageAnswer TQtUserInterface::ShowMessage(const std::string& text, const std::string& title,
                                            MessageButtons buttons, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ToQt(title), ToQt(text), QMessageBox::NoButton, Owner.data());
  MessageAnswer closed = MessageAnswer::Ok;
  switch (buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      closed = MessageAnswer::Cancel;
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      closed = MessageAnswer::No;
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      closed = MessageAnswer::Cancel;
      break;
    case MessageButtons::SaveDiscardCancel:
      box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Save);
      box.setEscapeButton(QMessageBox::Cancel);
      closed = MessageAnswer::Cancel;
      break;
  }
  // A box may be asked for while the wait cursor is up; the user must see an arrow on it.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int chosen = box.exec();
  QApplication::restoreOverrideCursor();
  switch (chosen) {
    case QMessageBox::Ok:
      return MessageAnswer::Ok;
    case QMessageBox::Cancel:
      return MessageAnswer::Cancel;
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    case QMessageBox::Save:
      return MessageAnswer::Save;
    case QMessageBox::Discard:
      return MessageAnswer::Discard;
    default:
      return closed;
  }
}

std::optional<std::string> TQtUserInterface::PromptLine(const std::string& title,
                                                        const std::string& prompt,
                                                        const std::string& initial, int maxLength) {
  QInputDialog dialog(Owner.data());
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(ToQt(title));
  dialog.setLabelText(ToQt(prompt));
  const QString shown = ToQt(initial);
  dialog.setTextValue(shown);
  if (auto* edit = dialog.findChild<QLineEdit*>()) {
    if (maxLength > 0) edit->setMaxLength(maxLength);
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

}  // namespace pix::ui
