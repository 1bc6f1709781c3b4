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

TDialogBaseUnits DialogBaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 letters, rounded as the platform rounds it.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  TDialogBaseUnits units;
  units.Horizontal = std::max(1, (letters / 26 + 1) / 2);
  units.Vertical = std::max(1, metrics.height());
  return units;
}

TParentWindow::TParentWindow(QWidget* parent, const QString& caption, TControlSizer sizer)
    : QWidget(parent), SizerValue(std::move(sizer)) {
  setWindowTitle(caption);
  const TDialogBaseUnits units = DialogBaseUnitsOf(font());
  for (int i = 0; i < SizerValue.ChildCount(); ++i) {
    QWidget* control = MakeControl(SizerValue.Child(i));
    const TWindowRect r = SizerValue.InitialChildRect(i, units);
    control->setGeometry(r.Left, r.Top, r.Width, r.Height);
    // A static of one line's height shows one line: wrapping would hide the rest below it.
    if (auto* label = qobject_cast<QLabel*>(control)) {
      label->setWordWrap(r.Height >= 2 * QFontMetrics(font()).height());
    }
    Controls.push_back(control);
  }
  resize(TemplateSize());
}

TParentWindow::TParentWindow(QWidget* parent, const QString& caption, int templateId)
    : TParentWindow(parent, caption, LoadDialogSizer(templateId)) {}

QSize TParentWindow::TemplateSize() const {
  const TWindowRect r = SizerValue.WindowRect(DialogBaseUnitsOf(font()));
  return QSize(r.Width, r.Height);
}

QWidget* TParentWindow::FindControl(int id) const {
  const std::optional<int> index = SizerValue.FindChild(id);
  if (!index) return nullptr;
  return Controls[static_cast<std::size_t>(*index)];
}

QWidget* TParentWindow::MakeControl(const TChildSizeObject& child) {
  const QString title = ToQt(child.szTitle);
  QWidget* control = nullptr;
  switch (child.Kind) {
    case TControlKind::CheckBox:
      control = new QCheckBox(title, this);
      break;
    case TControlKind::PushButton: {
      auto* button = new QPushButton(title, this);
      // In a dialog, the template's default button is the one Enter presses.
      button->setAutoDefault(false);
      button->setDefault((child.Style & 0xF) == kBsDefPushButton);
      control = button;
      break;
    }
    case TControlKind::Edit:
      if (child.Style & kEsMultiLine) {
        auto* edit = new QPlainTextEdit(this);
        edit->setReadOnly((child.Style & kEsReadOnly) != 0);
        edit->setVerticalScrollBarPolicy((child.Style & kWsVScroll) ? Qt::ScrollBarAlwaysOn
                                                                    : Qt::ScrollBarAsNeeded);
        // Without automatic sideways scrolling the box wraps its lines at its width: at a
        // space where there is one, anywhere in a word longer than the box.
        edit->setLineWrapMode((child.Style & kEsAutoHScroll) ? QPlainTextEdit::NoWrap
                                                             : QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        edit->setTabChangesFocus(true);
        control = edit;
      } else {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly((child.Style & kEsReadOnly) != 0);
        control = edit;
      }
      break;
    case TControlKind::Static: {
      const std::uint32_t kind = child.Style & 0x1F;
      if (kind >= 4 && kind <= 9) {  // Rectangles and frames: a place holder, drawn as a box.
        auto* frame = new QFrame(this);
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        control = frame;
      } else if (kind == kSsIcon) {
        auto* label = new QLabel(this);
        // The title names an icon resource as "#number".
        bool isNumber = false;
        const int icon = QString(title).remove(QLatin1Char('#')).toInt(&isNumber);
        if (isNumber) label->setPixmap(ResourcePixmap(icon, 32, label->devicePixelRatioF()));
        control = label;
      } else {
        auto* label = new QLabel(title.left(TextLimitOf(TControlKind::Static)), this);
        label->setAlignment((kind == kSsRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        control = label;
      }
      break;
    }
    case TControlKind::ListBox: {
      auto* list = new QListWidget(this);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      if (!(child.Style & kWsHScroll)) list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      control = list;
      break;
    }
    case TControlKind::ComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      combo->lineEdit()->setMaxLength(TextLimitOf(TControlKind::ComboBox));
      control = combo;
      break;
    }
  }
  control->setObjectName(QString::number(child.Id));
  if (child.Style & kWsTabStop) control->setFocusPolicy(Qt::StrongFocus);
  return control;
}

void TParentWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutControls();
}

void TParentWindow::LayoutControls() {
  const std::vector<TWindowRect> rects = SizerValue.Layout(width(), height());
  for (std::size_t i = 0; i < rects.size() && i < Controls.size(); ++i) {
    const TWindowRect& r = rects[i];
    Controls[i]->setGeometry(r.Left, r.Top, r.Width, r.Height);
  }
  ControlsMoved();
}

}  // namespace pix::ui
