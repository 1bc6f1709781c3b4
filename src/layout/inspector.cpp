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

// ---- TVarField ---------------------------------------------------------------------------

void TVarField::ShowVar(const Variable& variable) {
  szName = variable.var_name;
  szValue = FormatValueForDisplay(variable.var_value);
  StoredValue = variable.var_value;
  bNameModified = false;
  bValueModified = false;
}

void TVarField::ClearField() {
  szName.clear();
  szValue.clear();
  StoredValue.reset();
}

void TVarField::CommitTo(VariableList& array) const {
  if (szName.empty()) return;
  // A value box leaves out tabs and control characters; a value the user did not touch
  // keeps what the box left out rather than losing it to an edit elsewhere.
  const std::string& value = (!bValueModified && StoredValue) ? *StoredValue : szValue;
  array.SetVar(szName, value);
}

void TVarField::EditName(std::string_view text) {
  if (text == szName) return;
  szName.assign(text);
  bNameModified = true;
}

void TVarField::EditValue(std::string_view text) {
  std::string value = NormalizeLineEnds(text);
  if (value == szValue) return;
  szValue = std::move(value);
  bValueModified = true;
}

// ---- TObjInspectModel --------------------------------------------------------------------

TObjInspectModel::TObjInspectModel() { Reset(); }

void TObjInspectModel::SetField(int row, const Variable& variable) {
  if (row >= 0 && row < RowCount()) ppVarField[static_cast<std::size_t>(row)].ShowVar(variable);
}

void TObjInspectModel::ClearFieldsFrom(int first) {
  for (int row = std::max(first, 0); row < RowCount(); ++row) {
    ppVarField[static_cast<std::size_t>(row)].ClearField();
  }
}

void TObjInspectModel::ClearFields() { ClearFieldsFrom(0); }

void TObjInspectModel::CommitFields(VariableList& array) const {
  for (const TVarField& field : ppVarField) field.CommitTo(array);
}

bool TObjInspectModel::FieldsModified() const {
  return std::any_of(ppVarField.begin(), ppVarField.end(),
                     [](const TVarField& field) { return field.IsFieldModified(); });
}

void TObjInspectModel::PrepareRows(int variableCount, bool namesFixed) {
  bNamesFixed = namesFixed;
  const int spare = namesFixed ? 0 : 1;
  ppVarField.assign(static_cast<std::size_t>(std::max(FieldCount, variableCount + spare)),
                    TVarField());
}

void TObjInspectModel::Reset() { PrepareRows(0, false); }

void TObjInspectModel::EditName(int row, std::string_view text) {
  if (bNamesFixed || row < 0 || row >= RowCount()) return;
  ppVarField[static_cast<std::size_t>(row)].EditName(text);
  KeepSpareRow();
}

void TObjInspectModel::EditValue(int row, std::string_view text) {
  if (row < 0 || row >= RowCount()) return;
  ppVarField[static_cast<std::size_t>(row)].EditValue(text);
}

void TObjInspectModel::KeepSpareRow() {
  if (!ppVarField.back().Name().empty()) ppVarField.emplace_back();
}

// ---- The item side -----------------------------------------------------------------------

void TConfigItem::ShowInInspector(TObjInspectModel& inspector, PreviewTarget* preview) {
  const int count = ItemCount();
  inspector.PrepareRows(count, NamesAreFixed());
  for (int i = 0; i < count; ++i) inspector.SetField(i, Item(i));
  inspector.ClearFieldsFrom(count);
  ShowPreview(preview);
}

void TConfigItem::TakeFromInspector(const TObjInspectModel& inspector) {
  if (!inspector.FieldsModified()) return;
  DeleteAllVars();
  inspector.CommitFields(*this);
  SetModified();
}

}  // namespace pix
