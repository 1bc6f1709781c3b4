#include "app/ui/captionpane.h"

#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <algorithm>
#include <cctype>

#include "base/ui/qttext.h"
#include "files/names.h"
#include "layout/inspector.h"
#include "layout/layoutmodel.h"
#include "layout/pictureitem.h"

namespace pix::ui {

namespace {

// The inspector row of `variable`, or -1.
int RowOf(const InspectorModel& model, const std::string& variable) {
  for (int row = 0; row < model.RowCount(); ++row) {
    const std::string& name = model.Field(row).Name();
    if (name.size() == variable.size() &&
        std::equal(name.begin(), name.end(), variable.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      return row;
    }
  }
  return -1;
}

// True when `text` refers to `variable`: "${Name}", or a guarded "${Name?...}" or
// "${Name!...}", the name without regard to case.
bool RefersTo(const std::string& text, const std::string& variable) {
  for (std::size_t at = text.find("${"); at != std::string::npos; at = text.find("${", at + 2)) {
    const std::size_t start = at + 2;
    if (text.size() < start + variable.size() + 1) return false;
    bool same = true;
    for (std::size_t i = 0; i < variable.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(text[start + i])) ==
             std::tolower(static_cast<unsigned char>(variable[i]));
    }
    const char after = text[start + variable.size()];
    if (same && (after == '}' || after == '?' || after == '!')) return true;
  }
  return false;
}

// The text of a box as one line where the variable has one line.
QString BoxText(const std::string& value) {
  QString text = ToQt(value);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return text;
}

}  // namespace

CaptionPane::CaptionPane(QWidget* parent, InspectorModel& model)
    : QWidget(parent), model_(model), form_(new QFormLayout), note_(new QLabel(this)) {
  setObjectName(QStringLiteral("CaptionPane"));
  const struct {
    std::string_view variable;
    const char* label;
    int lines;
  } fields[] = {
      {kDetailPageTitle, "&Title", 1},     {kImageDescription, "&Description", 4},
      {kImageSubjectName, "&Subject", 1},  {kImagePhotographerName, "&Photographer", 1},
      {kDetailPageLabel, "&Link text", 1},
  };
  form_->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  form_->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
  for (const auto& [variable, label, lines] : fields) {
    Field field;
    field.variable.assign(variable);
    field.label = QString::fromUtf8(label);
    field.box = new QPlainTextEdit(this);
    field.box->setObjectName(ToQt(field.variable));
    field.box->setTabChangesFocus(true);
    field.box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    field.box->setVerticalScrollBarPolicy(lines > 1 ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
    field.box->setFixedHeight(lines * field.box->fontMetrics().lineSpacing() +
                              2 * field.box->frameWidth() +
                              2 * static_cast<int>(field.box->document()->documentMargin()));
    field.label_widget = new QLabel(field.label, this);
    field.label_widget->setBuddy(field.box);
    form_->addRow(field.label_widget, field.box);
    fields_.push_back(field);
  }
  for (Field& field : fields_) {
    QPlainTextEdit* box = field.box;
    const std::string variable = field.variable;
    connect(box, &QPlainTextEdit::textChanged, this, [this, variable] {
      for (Field& each : fields_) {
        if (each.variable == variable) FieldEdited(each);
      }
    });
  }
  note_->setWordWrap(true);
  note_->setText(QStringLiteral(
      "Saved into the picture with File, Save (Ctrl+S). Every variable of the picture is under "
      "All Variables."));
  note_->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form_);
  layout->addWidget(note_);
  layout->addStretch(1);
}

bool CaptionPane::LayoutUses(const LayoutModel& layout, const std::string& variable) {
  // The description is what a run makes the caption variables of a page from.
  std::vector<std::string> names{variable};
  if (variable == kImageDescription) {
    names.insert(names.end(), {"ImageCaption", "ImageCaptionText"});
  }
  for (const ConfigItem* item : layout.ListedItems()) {
    if (dynamic_cast<const PictureItem*>(item) != nullptr) continue;
    for (int i = 0; i < item->ItemCount(); ++i) {
      for (const std::string& name : names) {
        if (RefersTo(item->Item(i).value(), name)) return true;
      }
    }
  }
  return false;
}

void CaptionPane::ShowFields(const LayoutModel& layout) {
  bool any = false;
  for (const Field& field : fields_) any = any || LayoutUses(layout, field.variable);
  for (const Field& field : fields_) {
    const bool shown = !any || LayoutUses(layout, field.variable);
    field.label_widget->setVisible(shown);
    field.box->setVisible(shown);
  }
  ShowValues();
}

void CaptionPane::ShowValues() {
  for (Field& field : fields_) {
    const int row = RowOf(model_, field.variable);
    const QString text = row < 0 ? QString() : BoxText(model_.Field(row).Value());
    field.shown = text;
    if (field.box->toPlainText() == text) continue;
    const QSignalBlocker block(field.box);
    field.box->setPlainText(text);
  }
}

void CaptionPane::SetFieldText(const std::string& variable, const QString& text) {
  for (Field& field : fields_) {
    if (field.variable != variable) continue;
    const int row = RowOf(model_, field.variable);
    if (row >= 0) model_.EditValue(row, FromQt(text));
    field.shown = text;
    const QSignalBlocker block(field.box);
    field.box->setPlainText(text);
  }
}

void CaptionPane::FieldEdited(Field& field) {
  const int row = RowOf(model_, field.variable);
  if (row < 0) return;  // Not a picture's row: nothing to edit.
  const QString before = field.shown;
  field.shown = field.box->toPlainText();
  model_.EditValue(row, FromQt(field.shown));
  emit FieldChanged(field.variable, before, field.shown);
  emit Edited();
}

void CaptionPane::SetReadOnly(bool read_only) {
  for (Field& field : fields_) field.box->setReadOnly(read_only);
}

QPlainTextEdit* CaptionPane::FieldBox(const std::string& variable) const {
  for (const Field& field : fields_) {
    if (field.variable == variable) return field.box;
  }
  return nullptr;
}

std::vector<QPlainTextEdit*> CaptionPane::ShownBoxes() const {
  std::vector<QPlainTextEdit*> boxes;
  for (const Field& field : fields_) {
    if (!field.box->isHidden()) boxes.push_back(field.box);
  }
  return boxes;
}

}  // namespace pix::ui
