#include "layout/ui/inspectorwindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>

#include "base/dialogs.h"
#include "base/ui/qttext.h"
#include "layout/inspector.h"

namespace pix::ui {

namespace {

// The value box shows lines; the model holds them with CR LF.
QString ValueForBox(const std::string& value) {
  QString text = ToQt(value);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return text;
}

}  // namespace

TVarField::TVarField(QWidget* parent, TObjInspectModel& model, int row)
    : ParentWindow(parent, QStringLiteral("TVarField"), kVarFieldId),
      Model(model),
      RowIndex(row),
      LabelEdit(FindControlAs<QLineEdit>(kLabelEditBoxId)),
      ValueEdit(FindControlAs<QPlainTextEdit>(kValueEditBoxId)) {
  PIX_CHECK(LabelEdit != nullptr);
  PIX_CHECK(ValueEdit != nullptr);
  connect(LabelEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
    Model.EditName(RowIndex, FromQt(text));
    emit Edited(RowIndex);
  });
  connect(ValueEdit, &QPlainTextEdit::textChanged, this, [this] {
    Model.EditValue(RowIndex, FromQt(ValueEdit->toPlainText()));
    emit Edited(RowIndex);
  });
  LabelEdit->installEventFilter(this);
}

bool TVarField::eventFilter(QObject* watched, QEvent* event) {
  // A line edit reached by Tab selects its whole text, so that the first key typed would
  // replace the variable's name. The name box lets the edit take the focus as usual, then
  // leaves the caret at the end of the name with nothing selected.
  if (watched == LabelEdit && event->type() == QEvent::FocusIn) {
    static_cast<QObject*>(LabelEdit)->event(event);
    LabelEdit->deselect();
    LabelEdit->end(false);
    return true;
  }
  return ParentWindow::eventFilter(watched, event);
}

void TVarField::ShowFromModel() {
  const auto& field = Model.Field(RowIndex);
  const QString name = ToQt(field.Name());
  const QString value = ValueForBox(field.Value());
  const QSignalBlocker blockName(LabelEdit);
  const QSignalBlocker blockValue(ValueEdit);
  if (LabelEdit->text() != name) LabelEdit->setText(name);
  if (ValueEdit->toPlainText() != value) ValueEdit->setPlainText(value);
  LabelEdit->setReadOnly(Model.NamesReadOnly());
}

TObjInspectWindow::TObjInspectWindow(QWidget* parent, TObjInspectModel& model)
    : QScrollArea(parent), Model(model), Column(new QWidget) {
  setWindowTitle(QStringLiteral("Object Inspect Window"));
  setObjectName(QStringLiteral("TObjInspectWindow"));
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setWidgetResizable(false);
  // The rows take the focus, not the scrolled area around them.
  setFocusPolicy(Qt::NoFocus);
  setWidget(Column);
  ShowModel();
}

int TObjInspectWindow::RowHeight() const {
  if (!ppVarField.empty()) return ppVarField.front()->TemplateSize().height();
  return DialogBaseUnitsOf(font()).vertical * 40 / 8;
}

TVarField* TObjInspectWindow::AddRow() {
  auto* field = new TVarField(Column, Model, FieldCount());
  connect(field, &TVarField::Edited, this, &TObjInspectWindow::RowEdited);
  field->show();
  ppVarField.push_back(field);
  return field;
}

void TObjInspectWindow::ShowModel() {
  const int before = FieldCount();
  const int wanted = Model.RowCount();
  while (FieldCount() < wanted) AddRow();
  while (FieldCount() > wanted) {
    delete ppVarField.back();
    ppVarField.pop_back();
  }
  for (TVarField* field : ppVarField) field->ShowFromModel();
  PlaceRows();
  if (FieldCount() != before) emit RowsChanged();
}

void TObjInspectWindow::RowEdited(int) {
  // Typing a name into the last row makes the model add a spare row below it.
  if (Model.RowCount() != FieldCount()) {
    const int before = FieldCount();
    while (FieldCount() < Model.RowCount()) AddRow()->ShowFromModel();
    if (FieldCount() != before) {
      PlaceRows();
      emit RowsChanged();
    }
  }
}

void TObjInspectWindow::PlaceRows() {
  const int width = viewport()->width();
  const int height = RowHeight();
  for (int i = 0; i < FieldCount(); ++i) {
    Field(i)->setGeometry(0, i * height, width, height);
  }
  Column->resize(width, height * FieldCount());
  verticalScrollBar()->setSingleStep(height);
  verticalScrollBar()->setPageStep(std::max(height, viewport()->height() / height * height));
}

void TObjInspectWindow::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  PlaceRows();
}

}  // namespace pix::ui
