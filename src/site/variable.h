// Variables, variable arrays and variable files.
//
// Every text the generator writes comes from named variables held in ordered arrays. One
// plain record form serves for all stored variables (the layout's files, the text file
// beside a picture, the comment inside a JPEG):
//
//     Name:\r\n
//     value\r\n
//     \r\n
//
// An array can record "marked changes": while mark_changes is set, every value it stores
// remembers the value it replaced, so that RevertMarkedVars can undo one picture's values
// before the next picture is written.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/status.h"
#include "site/digest.h"

namespace pix {

class Diagnostics;
class VariableList;

/// One variable: a name and a text value, with the saved value of a marked change.
class Variable {
 public:
  Variable(std::string_view name, std::string_view value);

  const std::string& name() const { return name_; }  ///< Never empty; spelled as first given.
  const std::string& value() const { return value_; }  ///< May be empty.
  /// The digest of the name and the value. Made when first asked for after a change of
  /// the value: most values a run stores are replaced before anything digests them. An
  /// array and its items are used by one thread at a time.
  const Digest& digest() const;

  /// Stores `value`. When `mark` is set on an item that is not yet marked, the current
  /// value is saved first, so that RevertVar can bring it back.
  void SetVarValue(std::string_view value, bool mark);

  /// Undoes a marked change: an item created as a marked change becomes empty, any other
  /// marked item gets its saved value back. Both stay marked; unmarked items are untouched.
  void RevertVar();

  std::optional<std::string> saved_value;  // The value before the first marked change.
  bool marked = false;                     // The value was last stored as a marked change.
  bool listed_as_marked = false;           // In its array's list of marked items.
  // The array whose variables are used when this value is expanded. Not owned; it is the
  // array that holds the item unless re-pointed, and must outlive every expansion of it.
  VariableList* owner_array = nullptr;

 private:
  void StoreValue(std::string_view value);

  std::string name_;
  std::string value_;
  mutable Digest digest_;
  mutable bool digest_known_ = false;
};

/// An ordered array of variables whose names are unique without regard to ASCII case.
/// Items keep the order of their first insertion through replacement and deletion.
class VariableList {
 public:
  VariableList() = default;
  VariableList(const VariableList&) = delete;
  VariableList& operator=(const VariableList&) = delete;

  /// The first item whose name equals `name` without regard to ASCII case, or nullptr.
  Variable* FindVar(std::string_view name) const;

  /// The value of `name`, or empty text when there is no such variable.
  const std::string& GetVarValue(std::string_view name) const;

  /// Adds or replaces a variable. A replacement keeps the item's spelling, owner and place
  /// and is a marked change while mark_changes is set. A new item is owned by `owner` (for
  /// expansion) or, when none is given, by this array. An empty name is an internal error.
  Variable* SetVar(std::string_view name, std::string_view value, VariableList* owner = nullptr);
  Variable* SetIntVar(std::string_view name, int value);
  Variable* SetLongVar(std::string_view name, long long value);

  /// Appends a variable without looking the name up, for arrays built in a fixed order.
  /// `index` must equal ItemCount().
  Variable* AddVarAt(std::string_view name, std::string_view value, int index);

  /// Removes the first variable named `name`; later items move down by one.
  void DeleteVar(std::string_view name);
  void DeleteAllVars();

  /// SetVar of every variable of `other`, in its order; the copies belong to this array.
  void CopyVarsFrom(const VariableList& other);

  /// RevertVar on every marked item.
  void RevertMarkedVars();

  /// Reads variable records from `text` and stores each with SetVar.
  void ParseVarText(std::string_view text);

  /// Writes the array as variable records: every item whose name and value are both
  /// non-empty, in order. Nothing comes before the first record or after the last.
  void WriteVars(std::ostream& out) const;
  std::string FormatVarText() const;

  /// The digest of everything an expansion against this array can see: every item's name
  /// and value in order and, for an item whose value expands against another array, that
  /// array's digest too. Two arrays with the same digest expand every template alike.
  Digest ContentDigest() const;

  int ItemCount() const { return static_cast<int>(variables_.size()); }
  Variable& Item(int index) const { return *variables_.at(static_cast<std::size_t>(index)); }

  bool mark_changes = false;

 private:
  Variable* AppendItem(std::string_view name, std::string_view value, VariableList* owner);
  // Notes `item` in marked_items_ if it was marked by the store just made.
  void NoteMarked(Variable* item);

  std::vector<std::unique_ptr<Variable>> variables_;
  // Each name, made lower case, with the first item of that name: lookups take constant
  // time, so that reading a file of many variables takes time in proportion to its size.
  std::unordered_map<std::string, Variable*> name_index_;
  // The items that were marked when last looked at, so that undoing one picture's values
  // visits the few it changed rather than every item of the array.
  std::vector<Variable*> marked_items_;
};

/// True when a variable-record name line starts at `text` (see ParseVarText); `nameLength`
/// receives the length of the name.
bool StartsNameLine(std::string_view text, std::size_t* name_length = nullptr);

/// Locates a variable file and returns its whole text; a missing file gives empty text.
/// A name that contains "/" is the path as it stands. Otherwise the file is `name` ".txt"
/// in `directory`. A file that exists but cannot be read gives empty text and is reported
/// to `diagnostics`, when given.
std::string LoadVarFileText(std::string_view name, std::string_view directory = {},
                            Diagnostics* diagnostics = nullptr);

/// The text of the variable file at `path`: empty text when there is none. Fails, with a
/// message naming the file, when it cannot be read as intended: unreadable, larger than a
/// text file may be, holding NUL bytes (not text), or ending its lines with CR alone.
Result<std::string> ReadVarFile(const std::filesystem::path& path);

}  // namespace pix
