// The object inspector's model: the rows that show the selected item's variables, each an
// editable name above an editable multi-line value.
//
// The inspector window draws the rows and forwards the user's typing to EditName and
// EditValue; it holds no state of its own. Showing an item fills the rows
// (ConfigItem::ShowInInspector); taking the edits back (ConfigItem::TakeFromInspector)
// replaces the item's variables by the rows' variables, and only when a row was edited.
//
// There are at least FieldCount rows. An item with more variables gets a row for every
// one of them, and an item whose names may change always keeps one empty row at the end
// for a new variable, so nothing an item holds is ever out of reach or lost by an edit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pix {

class VariableList;
class Variable;

/// The most bytes of a value that a value box shows.
inline constexpr std::size_t kMaxShownValueLength = 16383;

/// A value as the value box shows it: line feeds become CR LF, carriage returns, tabs, the
/// other control characters and DEL are left out, every other byte (UTF-8 text) stays, and
/// the text is cut at kMaxShownValueLength bytes, never inside a UTF-8 character.
std::string FormatValueForDisplay(std::string_view value);

/// Line ends made CR LF, as the variable files hold them: a lone line feed or a lone
/// carriage return becomes CR LF.
std::string NormalizeLineEnds(std::string_view text);

/// One row: the name box and the value box of one variable.
class VarField {
 public:
  /// Shows `variable` and clears both modify flags.
  void ShowVar(const Variable& variable);
  /// Empties both boxes; the modify flags stay as they are.
  void ClearField();
  /// Adds or replaces the row's variable in `array`, when its name box is not empty. A value
  /// the user did not edit is taken as the variable held it, including what the box could
  /// not show.
  void CommitTo(VariableList& array) const;
  /// True when either box was edited since the row last showed a variable.
  bool IsFieldModified() const { return name_modified_ || value_modified_; }

  /// The user's edits. A change of text sets the box's modify flag.
  void EditName(std::string_view text);
  /// Takes the text with any line ends; the box holds CR LF.
  void EditValue(std::string_view text);

  const std::string& Name() const { return name_; }
  const std::string& Value() const { return value_; }

 private:
  std::string name_;
  std::string value_;
  // The value of the variable the row shows, as the item holds it; none for an empty row.
  std::optional<std::string> stored_;
  bool name_modified_ = false;
  bool value_modified_ = false;
};

class InspectorModel {
 public:
  /// The fewest rows the inspector has.
  static constexpr int kFieldCount = 10;

  InspectorModel();

  int RowCount() const { return static_cast<int>(fields_.size()); }
  const VarField& Field(int row) const { return fields_.at(static_cast<std::size_t>(row)); }

  /// Row `row` shows `variable`, if the row exists.
  void SetField(int row, const Variable& variable);
  /// Clears the rows from `first` on; ClearFields clears them all.
  void ClearFieldsFrom(int first);
  void ClearFields();
  /// Commits every row whose name box is not empty, from the top.
  void CommitFields(VariableList& array) const;
  /// True when any row was edited.
  bool FieldsModified() const;

  /// Starts showing an item of `variableCount` variables: there are enough rows for all of
  /// them (and a spare one when names may be typed), none of them modified, all empty.
  void PrepareRows(int variable_count, bool names_fixed);
  /// Empties the rows and forgets the item: FieldCount empty rows whose names may be typed.
  void Reset();

  /// True when the name boxes must not be edited (the item's names are fixed, as a
  /// settings item's names are its keys). EditName then changes nothing.
  bool NamesReadOnly() const { return names_fixed_; }

  /// The user's edits, forwarded by the window. Typing a name into the last row adds an
  /// empty row below it; RowCount tells the window how many rows to draw.
  void EditName(int row, std::string_view text);
  void EditValue(int row, std::string_view text);

 private:
  void KeepSpareRow();

  std::vector<VarField> fields_;
  bool names_fixed_ = false;
};

}  // namespace pix
