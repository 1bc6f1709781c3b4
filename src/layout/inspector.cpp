#include "layout/inspector.h"

#include <algorithm>

#include "layout/config.h"
#include "site/variable.h"

namespace pix {

std::string FormatValueForDisplay(std::string_view value) {
  std::string shown;
  shown.reserve(std::min(value.size() + value.size() / 16, kMaxShownValueLength));
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\n') {
      shown += "\r\n";
    } else if ((byte >= 32 && byte <= 126) || byte >= 0x80) {
      // Bytes from 0x80 up are the bytes of UTF-8 characters and are shown as they are.
      shown += c;
    }
  }
  if (shown.size() > kMaxShownValueLength) {
    // The cut may fall between CR and LF; the box then ends with a bare CR as the control
    // did. A cut inside a UTF-8 character moves back to the character's first byte, so the
    // box never ends in half a character.
    std::size_t cut = kMaxShownValueLength;
    for (int back = 0;
         back < 3 && cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80; ++back) {
      --cut;
    }
    if ((static_cast<unsigned char>(shown[cut]) & 0xC0) != 0xC0) cut = kMaxShownValueLength;
    shown.resize(cut);
  }
  return shown;
}

std::string NormalizeLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// ---- VarField ---------------------------------------------------------------------------

void VarField::ShowVar(const Variable& variable) {
  name_ = variable.name();
  value_ = FormatValueForDisplay(variable.value());
  stored_ = variable.value();
  name_modified_ = false;
  value_modified_ = false;
}

void VarField::ClearField() {
  name_.clear();
  value_.clear();
  stored_.reset();
}

void VarField::CommitTo(VariableList& array) const {
  if (name_.empty()) return;
  // A value box leaves out tabs and control characters; a value the user did not touch
  // keeps what the box left out rather than losing it to an edit elsewhere.
  const std::string& value = (!value_modified_ && stored_) ? *stored_ : value_;
  array.SetVar(name_, value);
}

void VarField::EditName(std::string_view text) {
  if (text == name_) return;
  name_.assign(text);
  name_modified_ = true;
}

void VarField::EditValue(std::string_view text) {
  std::string value = NormalizeLineEnds(text);
  if (value == value_) return;
  value_ = std::move(value);
  value_modified_ = true;
}

// ---- InspectorModel --------------------------------------------------------------------

InspectorModel::InspectorModel() { Reset(); }

void InspectorModel::SetField(int row, const Variable& variable) {
  if (row >= 0 && row < RowCount()) fields_[static_cast<std::size_t>(row)].ShowVar(variable);
}

void InspectorModel::ClearFieldsFrom(int first) {
  for (int row = std::max(first, 0); row < RowCount(); ++row) {
    fields_[static_cast<std::size_t>(row)].ClearField();
  }
}

void InspectorModel::ClearFields() { ClearFieldsFrom(0); }

void InspectorModel::CommitFields(VariableList& array) const {
  for (const VarField& field : fields_) field.CommitTo(array);
}

bool InspectorModel::FieldsModified() const {
  return std::any_of(fields_.begin(), fields_.end(),
                     [](const VarField& field) { return field.IsFieldModified(); });
}

void InspectorModel::PrepareRows(int variable_count, bool names_fixed) {
  names_fixed_ = names_fixed;
  const int spare = names_fixed ? 0 : 1;
  fields_.assign(static_cast<std::size_t>(std::max(kFieldCount, variable_count + spare)),
                    VarField());
}

void InspectorModel::Reset() { PrepareRows(0, false); }

void InspectorModel::EditName(int row, std::string_view text) {
  if (names_fixed_ || row < 0 || row >= RowCount()) return;
  fields_[static_cast<std::size_t>(row)].EditName(text);
  KeepSpareRow();
}

void InspectorModel::EditValue(int row, std::string_view text) {
  if (row < 0 || row >= RowCount()) return;
  fields_[static_cast<std::size_t>(row)].EditValue(text);
}

void InspectorModel::KeepSpareRow() {
  if (!fields_.back().Name().empty()) fields_.emplace_back();
}

// ---- The item side -----------------------------------------------------------------------

void ConfigItem::ShowInInspector(InspectorModel& inspector, PreviewTarget* preview) {
  const int count = ItemCount();
  inspector.PrepareRows(count, NamesAreFixed());
  for (int i = 0; i < count; ++i) inspector.SetField(i, Item(i));
  inspector.ClearFieldsFrom(count);
  ShowPreview(preview);
}

void ConfigItem::TakeFromInspector(const InspectorModel& inspector) {
  if (!inspector.FieldsModified()) return;
  DeleteAllVars();
  inspector.CommitFields(*this);
  SetModified();
}

}  // namespace pix
