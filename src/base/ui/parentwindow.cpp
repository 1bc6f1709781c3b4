#include "base/ui/parentwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

#include "base/dialogs.h"
#include "base/ui/icons.h"
#include "base/ui/qttext.h"

namespace pix::ui {

DialogBaseUnits DialogBaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 letters, rounded as the platform rounds it.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogBaseUnits units;
  units.horizontal = std::max(1, (letters / 26 + 1) / 2);
  units.vertical = std::max(1, metrics.height());
  return units;
}

ParentWindow::ParentWindow(QWidget* parent, const QString& caption, ControlSizer sizer)
    : QWidget(parent), sizer_(std::move(sizer)) {
  setWindowTitle(caption);
  const DialogBaseUnits units = DialogBaseUnitsOf(font());
  for (int i = 0; i < sizer_.ChildCount(); ++i) {
    QWidget* control = MakeControl(sizer_.Child(i));
    const DialogPixelRect r = sizer_.InitialChildRect(i, units);
    control->setGeometry(r.left, r.top, r.width, r.height);
    // A static of one line's height shows one line: wrapping would hide the rest below it.
    if (auto* label = qobject_cast<QLabel*>(control)) {
      label->setWordWrap(r.height >= 2 * QFontMetrics(font()).height());
    }
    controls_.push_back(control);
  }
  resize(TemplateSize());
}

ParentWindow::ParentWindow(QWidget* parent, const QString& caption, int template_id)
    : ParentWindow(parent, caption, LoadDialogSizer(template_id)) {}

QSize ParentWindow::TemplateSize() const {
  const DialogPixelRect r = sizer_.WindowRect(DialogBaseUnitsOf(font()));
  return QSize(r.width, r.height);
}

QWidget* ParentWindow::FindControl(int id) const {
  const std::optional<int> index = sizer_.FindChild(id);
  if (!index) return nullptr;
  return controls_[static_cast<std::size_t>(*index)];
}

QWidget* ParentWindow::MakeControl(const ChildSizeObject& child) {
  const QString title = ToQt(child.title);
  QWidget* control = nullptr;
  switch (child.kind) {
    case ControlKind::kCheckBox:
      control = new QCheckBox(title, this);
      break;
    case ControlKind::kPushButton: {
      auto* button = new QPushButton(title, this);
      // In a dialog, the template's default button is the one Enter presses.
      button->setAutoDefault(false);
      button->setDefault((child.style & 0xF) == kBsDefPushButton);
      control = button;
      break;
    }
    case ControlKind::kEdit:
      if (child.style & kEsMultiLine) {
        auto* edit = new QPlainTextEdit(this);
        edit->setReadOnly((child.style & kEsReadOnly) != 0);
        edit->setVerticalScrollBarPolicy((child.style & kWsVScroll) ? Qt::ScrollBarAlwaysOn
                                                                    : Qt::ScrollBarAsNeeded);
        // Without automatic sideways scrolling the box wraps its lines at its width: at a
        // space where there is one, anywhere in a word longer than the box.
        edit->setLineWrapMode((child.style & kEsAutoHScroll) ? QPlainTextEdit::NoWrap
                                                             : QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        edit->setTabChangesFocus(true);
        control = edit;
      } else {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly((child.style & kEsReadOnly) != 0);
        control = edit;
      }
      break;
    case ControlKind::Static: {
      const std::uint32_t kind = child.style & 0x1F;
      if (kind >= 4 && kind <= 9) {  // Rectangles and frames: a place holder, drawn as a box.
        auto* frame = new QFrame(this);
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        control = frame;
      } else if (kind == kSsIcon) {
        auto* label = new QLabel(this);
        // The title names an icon resource as "#number".
        bool is_number = false;
        const int icon = QString(title).remove(QLatin1Char('#')).toInt(&is_number);
        if (is_number) label->setPixmap(ResourcePixmap(icon, 32, label->devicePixelRatioF()));
        control = label;
      } else {
        auto* label = new QLabel(title.left(TextLimitOf(ControlKind::Static)), this);
        label->setAlignment((kind == kSsRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        control = label;
      }
      break;
    }
    case ControlKind::kListBox: {
      auto* list = new QListWidget(this);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      if (!(child.style & kWsHScroll)) list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      control = list;
      break;
    }
    case ControlKind::kComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      combo->lineEdit()->setMaxLength(TextLimitOf(ControlKind::kComboBox));
      control = combo;
      break;
    }
  }
  control->setObjectName(QString::number(child.id));
  if (child.style & kWsTabStop) control->setFocusPolicy(Qt::StrongFocus);
  return control;
}

void ParentWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutControls();
}

void ParentWindow::LayoutControls() {
  const std::vector<DialogPixelRect> rects = sizer_.Layout(width(), height());
  for (std::size_t i = 0; i < rects.size() && i < controls_.size(); ++i) {
    const DialogPixelRect& r = rects[i];
    controls_[i]->setGeometry(r.left, r.top, r.width, r.height);
  }
  ControlsMoved();
}

}  // namespace pix::ui
