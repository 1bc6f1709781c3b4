#include "layout/ui/inspectorwindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

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

// How many lines of a value show without scrolling.
constexpr int kValueLines = 3;

}  // namespace

VarField::VarField(QWidget* parent, InspectorModel& model, int row)
    : QWidget(parent),
      model_(model),
      row_index_(row),
      label_edit_(new QLineEdit(this)),
      value_edit_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("VarField"));
  label_edit_->setObjectName(QStringLiteral("NameBox"));
  value_edit_->setObjectName(QStringLiteral("ValueBox"));
  // A value is read without scrolling sideways: long lines wrap at the box's width, at a
  // space where there is one, anywhere in a word longer than the box.
  value_edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  value_edit_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  value_edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  value_edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Enter starts a new line of the value; Tab goes on to the next box.
  value_edit_->setTabChangesFocus(true);
  const int value_height = kValueLines * value_edit_->fontMetrics().lineSpacing() +
                           2 * value_edit_->frameWidth() +
                           2 * static_cast<int>(value_edit_->document()->documentMargin());
  value_edit_->setFixedHeight(value_height);
  auto* layout = new QVBoxLayout(this);
  // The rows of the column lie a small gap apart, the name right above its value.
  layout->setContentsMargins(0, 0, 0, 4);
  layout->setSpacing(1);
  layout->addWidget(label_edit_);
  layout->addWidget(value_edit_);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
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
  return QWidget::eventFilter(watched, event);
}

void VarField::ShowFromModel(bool tab_stop_name) {
  const auto& field = model_.Field(row_index_);
  const QString name = ToQt(field.Name());
  const QString value = ValueForBox(field.Value());
  const QSignalBlocker block_name(label_edit_);
  const QSignalBlocker block_value(value_edit_);
  if (label_edit_->text() != name) label_edit_->setText(name);
  if (value_edit_->toPlainText() != value) value_edit_->setPlainText(value);
  label_edit_->setReadOnly(model_.NamesReadOnly() || read_only_);
  value_edit_->setReadOnly(read_only_);
  const bool named = !name.isEmpty();
  label_edit_->setFocusPolicy(tab_stop_name ? Qt::StrongFocus : Qt::ClickFocus);
  value_edit_->setFocusPolicy(named ? Qt::StrongFocus : Qt::ClickFocus);
}

void VarField::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  label_edit_->setReadOnly(model_.NamesReadOnly() || read_only);
  value_edit_->setReadOnly(read_only);
}

InspectorWindow::InspectorWindow(QWidget* parent, InspectorModel& model)
    : QScrollArea(parent), model_(model), column_(new QWidget) {
  setWindowTitle(QStringLiteral("Object Inspect Window"));
  setObjectName(QStringLiteral("InspectorWindow"));
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The rows are as wide as the area and stacked from the top; what is left below them
  // stays empty.
  setWidgetResizable(true);
  auto* rows = new QVBoxLayout(column_);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(0);
  rows->addStretch(1);
  // The rows take the focus, not the scrolled area around them.
  setFocusPolicy(Qt::NoFocus);
  setWidget(column_);
  ShowModel();
}

int InspectorWindow::RowHeight() const {
  if (!fields_.empty()) return fields_.front()->sizeHint().height();
  return fontMetrics().height() * (kValueLines + 2);
}

VarField* InspectorWindow::AddRow() {
  auto* field = new VarField(column_, model_, FieldCount());
  connect(field, &VarField::Edited, this, &InspectorWindow::RowEdited);
  auto* rows = static_cast<QVBoxLayout*>(column_->layout());
  rows->insertWidget(FieldCount(), field);  // Above the stretch.
  field->SetReadOnly(read_only_);
  field->show();                            // Now, so that Tab reaches it at once.
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
  ShowRows();
  PlaceRows();
  if (FieldCount() != before) emit RowsChanged();
}

void InspectorWindow::ShowRows() {
  bool spare_found = model_.NamesReadOnly();  // Settings pages take no new names.
  for (VarField* field : fields_) {
    const bool spare = !spare_found && model_.Field(field->Row()).Name().empty();
    if (spare) spare_found = true;
    field->ShowFromModel(spare);
  }
}

void InspectorWindow::ScrollToTop() {
  // The rows of the new item are laid out first, so that the position is one of theirs.
  column_->adjustSize();
  verticalScrollBar()->setValue(0);
}

void InspectorWindow::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  for (VarField* field : fields_) field->SetReadOnly(read_only);
}

void InspectorWindow::RowEdited(int row) {
  emit RowChanged(row);
  emit Edited();
  // Typing a name into the last row makes the model add a spare row below it.
  if (model_.RowCount() != FieldCount()) {
    const int before = FieldCount();
    while (FieldCount() < model_.RowCount()) AddRow();
    if (FieldCount() != before) {
      ShowRows();
      PlaceRows();
      emit RowsChanged();
    }
  }
}

void InspectorWindow::PlaceRows() {
  const int height = std::max(1, RowHeight());
  verticalScrollBar()->setSingleStep(height);
  verticalScrollBar()->setPageStep(std::max(height, viewport()->height() / height * height));
}

void InspectorWindow::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  PlaceRows();
}

}  // namespace pix::ui
