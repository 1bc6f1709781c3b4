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

VarField::VarField(QWidget* parent, InspectorModel& model, int row)
    : ParentWindow(parent, QStringLiteral("VarField"), kVarFieldId),
      model_(model),
      row_index_(row),
      label_edit_(FindControlAs<QLineEdit>(kLabelEditBoxId)),
      value_edit_(FindControlAs<QPlainTextEdit>(kValueEditBoxId)) {
  PIX_CHECK(label_edit_ != nullptr);
  PIX_CHECK(value_edit_ != nullptr);
  connect(label_edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    model_.EditName(row_index_, FromQt(text));
    emit Edited(row_index_);
  });
  connect(value_edit_, &QPlainTextEdit::textChanged, this, [this] {
    model_.EditValue(row_index_, FromQt(value_edit_->toPlainText()));
    emit Edited(row_index_);
  });
  label_edit_->installEventFilter(this);
}

bool VarField::eventFilter(QObject* watched, QEvent* event) {
  // A line edit reached by Tab selects its whole text, so that the first key typed would
  // replace the variable's name. The name box lets the edit take the focus as usual, then
  // leaves the caret at the end of the name with nothing selected.
  if (watched == label_edit_ && event->type() == QEvent::FocusIn) {
    static_cast<QObject*>(label_edit_)->event(event);
    label_edit_->deselect();
    label_edit_->end(false);
    return true;
  }
  return ParentWindow::eventFilter(watched, event);
}

void VarField::ShowFromModel() {
  const auto& field = model_.Field(row_index_);
  const QString name = ToQt(field.Name());
  const QString value = ValueForBox(field.Value());
  const QSignalBlocker block_name(label_edit_);
  const QSignalBlocker block_value(value_edit_);
  if (label_edit_->text() != name) label_edit_->setText(name);
  if (value_edit_->toPlainText() != value) value_edit_->setPlainText(value);
  label_edit_->setReadOnly(model_.NamesReadOnly());
}

InspectorWindow::InspectorWindow(QWidget* parent, InspectorModel& model)
    : QScrollArea(parent), model_(model), column_(new QWidget) {
  setWindowTitle(QStringLiteral("Object Inspect Window"));
  setObjectName(QStringLiteral("InspectorWindow"));
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setWidgetResizable(false);
  // The rows take the focus, not the scrolled area around them.
  setFocusPolicy(Qt::NoFocus);
  setWidget(column_);
  ShowModel();
}

int InspectorWindow::RowHeight() const {
  if (!fields_.empty()) return fields_.front()->TemplateSize().height();
  return DialogBaseUnitsOf(font()).vertical * 40 / 8;
}

VarField* InspectorWindow::AddRow() {
  auto* field = new VarField(column_, model_, FieldCount());
  connect(field, &VarField::Edited, this, &InspectorWindow::RowEdited);
  field->show();
  fields_.push_back(field);
  return field;
}

void InspectorWindow::ShowModel() {
  const int before = FieldCount();
  const int wanted = model_.RowCount();
  while (FieldCount() < wanted) AddRow();
  while (FieldCount() > wanted) {
    delete fields_.back();
    fields_.pop_back();
  }
  for (VarField* field : fields_) field->ShowFromModel();
  PlaceRows();
  if (FieldCount() != before) emit RowsChanged();
}

void InspectorWindow::RowEdited(int) {
  // Typing a name into the last row makes the model add a spare row below it.
  if (model_.RowCount() != FieldCount()) {
    const int before = FieldCount();
    while (FieldCount() < model_.RowCount()) AddRow()->ShowFromModel();
    if (FieldCount() != before) {
      PlaceRows();
      emit RowsChanged();
    }
  }
}

void InspectorWindow::PlaceRows() {
  const int width = viewport()->width();
  const int height = RowHeight();
  for (int i = 0; i < FieldCount(); ++i) {
    Field(i)->setGeometry(0, i * height, width, height);
  }
  column_->resize(width, height * FieldCount());
  verticalScrollBar()->setSingleStep(height);
  verticalScrollBar()->setPageStep(std::max(height, viewport()->height() / height * height));
}

void InspectorWindow::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  PlaceRows();
}

}  // namespace pix::ui
