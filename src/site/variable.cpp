#include "site/variable.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <sstream>

#include "base/check.h"
#include "base/diagnostics.h"
#include "files/utils.h"

namespace pix {
namespace {

bool IsRecordSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const std::string kEmptyText;

}  // namespace

Variable::Variable(std::string_view name, std::string_view value) : name_(name) {
  StoreValue(value);
}

void Variable::StoreValue(std::string_view value) {
  value_.assign(value);
  digest_known_ = false;
}

const Digest& Variable::digest() const {
  if (!digest_known_) {
    digest_ = DigestOf(name_, value_);
    digest_known_ = true;
  }
  return digest_;
}

void Variable::SetVarValue(std::string_view value, bool mark) {
  if (!marked && mark) saved_value = value_;
  StoreValue(value);
  marked = mark;
}

void Variable::RevertVar() {
  if (!marked) return;
  // The item stays marked, so its saved value stays the one to come back to.
  const std::string_view before = saved_value ? std::string_view(*saved_value) : std::string_view();
  if (value_ != before) StoreValue(before);
}

Variable* VariableList::FindVar(std::string_view name) const {
  // Every reference of every page is looked up here: the lower-case key is made in a
  // buffer that keeps its room, not in a new string each time.
  thread_local std::string key;
  key.assign(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const auto found = name_index_.find(key);
  return found != name_index_.end() ? found->second : nullptr;
}

const std::string& VariableList::GetVarValue(std::string_view name) const {
  const Variable* item = FindVar(name);
  return item != nullptr ? item->value() : kEmptyText;
}

Variable* VariableList::SetVar(std::string_view name, std::string_view value, VariableList* owner) {
  PIX_CHECK(!name.empty());
  if (Variable* item = FindVar(name)) {
    item->SetVarValue(value, mark_changes);
    NoteMarked(item);
    return item;
  }
  return AppendItem(name, value, owner);
}

void VariableList::NoteMarked(Variable* item) {
  if (item->marked && !item->listed_as_marked) {
    item->listed_as_marked = true;
    marked_items_.push_back(item);
  }
}

Variable* VariableList::SetIntVar(std::string_view name, int value) {
  return SetLongVar(name, value);
}

Variable* VariableList::SetLongVar(std::string_view name, long long value) {
  // Written in place: every picture sets several numbers.
  char text[24];
  const std::to_chars_result written = std::to_chars(std::begin(text), std::end(text), value);
  return SetVar(name, std::string_view(text, static_cast<std::size_t>(written.ptr - text)));
}

Variable* VariableList::AddVarAt(std::string_view name, std::string_view value, int index) {
  PIX_CHECK(!name.empty());
  PIX_CHECK(index == ItemCount());
  return AppendItem(name, value, nullptr);
}

Variable* VariableList::AppendItem(std::string_view name, std::string_view value, VariableList* owner) {
  auto item = std::make_unique<Variable>(name, value);
  item->marked = mark_changes;
  item->owner_array = owner != nullptr ? owner : this;
  // The first item of a name is the one found; a later one of the same name (AddVarAt
  // does not look) stays out of the index.
  name_index_.emplace(LowerCase(name), item.get());
  NoteMarked(item.get());
  variables_.push_back(std::move(item));
  return variables_.back().get();
}

void VariableList::DeleteVar(std::string_view name) {
  auto found = std::find_if(variables_.begin(), variables_.end(),
                            [&](const auto& item) { return EqualsNoCase(item->name(), name); });
  if (found == variables_.end()) return;
  if ((*found)->listed_as_marked) {
    marked_items_.erase(std::find(marked_items_.begin(), marked_items_.end(), found->get()));
  }
  variables_.erase(found);
  // A later item of the same name, if any, becomes the one found.
  const std::string key = LowerCase(name);
  name_index_.erase(key);
  for (const auto& item : variables_) {
    if (EqualsNoCase(item->name(), name)) {
      name_index_.emplace(key, item.get());
      break;
    }
  }
}

void VariableList::DeleteAllVars() {
  variables_.clear();
  name_index_.clear();
  marked_items_.clear();
}

void VariableList::CopyVarsFrom(const VariableList& other) {
  for (const auto& item : other.variables_) SetVar(item->name(), item->value());
}

void VariableList::RevertMarkedVars() {
  // Items stored unmarked since leave the list; the others stay marked, and listed.
  const auto unmarked = std::remove_if(marked_items_.begin(), marked_items_.end(), [](Variable* item) {
    item->RevertVar();
    item->listed_as_marked = item->marked;
    return !item->marked;
  });
  marked_items_.erase(unmarked, marked_items_.end());
}

namespace {

// Appends the digests of the items of `array` to `words`; `seen` holds the arrays already
// taken, so that arrays whose items expand against each other are each taken once.
void AddContent(const VariableList& array, std::vector<std::uint64_t>& words,
                std::vector<const VariableList*>& seen) {
  seen.push_back(&array);
  for (int i = 0; i < array.ItemCount(); ++i) {
    const Variable& item = array.Item(i);
    words.push_back(item.digest().low);
    words.push_back(item.digest().high);
    const VariableList* owner = item.owner_array;
    if (owner == nullptr || owner == &array) continue;
    // Where the value expands matters as much as what it holds.
    const auto at = std::find(seen.begin(), seen.end(), owner);
    words.push_back(static_cast<std::uint64_t>(at - seen.begin()));
    if (at == seen.end()) AddContent(*owner, words, seen);
  }
}

}  // namespace

Digest VariableList::ContentDigest() const {
  // Every detail page takes one: the words are gathered in a buffer that keeps its room and
  // digested at once.
  thread_local std::vector<std::uint64_t> words;
  words.clear();
  std::vector<const VariableList*> seen;
  AddContent(*this, words, seen);
  return DigestOf(std::string_view(reinterpret_cast<const char*>(words.data()),
                                   words.size() * sizeof(std::uint64_t)));
}

bool StartsNameLine(std::string_view text, std::size_t* name_length) {
  // Letters up to the first colon at offset 2 or more; a colon at offset 0 or 1 counts as
  // part of the name.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':' && i >= 2) {
      if (name_length != nullptr) *name_length = i;
      return true;
    }
    if (!IsAsciiLetter(c) && c != ':') return false;
  }
  return false;
}

void VariableList::ParseVarText(std::string_view text) {
  std::size_t p = 0;
  const std::size_t end = text.size();
  while (p < end) {
    std::size_t name_length = 0;
    if (StartsNameLine(text.substr(p), &name_length)) {
      const std::string_view name = text.substr(p, name_length);
      p += name_length + 1;
      while (p < end && IsRecordSpace(text[p])) ++p;
      // The value runs to the end, a blank line (CR LF CR LF or LF LF), or a line break
      // whose next line starts a new record.
      std::size_t value_end = p;
      while (value_end < end) {
        const std::string_view rest = text.substr(value_end);
        if (rest.compare(0, 4, "\r\n\r\n") == 0 || rest.compare(0, 2, "\n\n") == 0) break;
        if (rest[0] == '\n' && StartsNameLine(rest.substr(1))) break;
        ++value_end;
      }
      SetVar(name, text.substr(p, value_end - p));
    }
    while (p < end && text[p] != '\r' && text[p] != '\n') ++p;
    while (p < end && (text[p] == '\r' || text[p] == '\n')) ++p;
  }
}

void VariableList::WriteVars(std::ostream& out) const {
  for (const auto& item : variables_) {
    if (item->name().empty() || item->value().empty()) continue;
    out << item->name() << ":\r\n" << item->value() << "\r\n\r\n";
  }
}

std::string VariableList::FormatVarText() const {
  std::ostringstream out;
  WriteVars(out);
  return std::move(out).str();
}

std::string LoadVarFileText(std::string_view name, std::string_view directory,
                            Diagnostics* diagnostics) {
  std::string path;
  if (name.find('/') != std::string_view::npos || directory.empty()) {
    path.assign(name);
  } else {
    path = BuildFileName(directory, name, "txt");
  }
  Result<std::string> text = ReadVarFile(path);
  if (text.ok()) return std::move(text).value();
  if (diagnostics != nullptr) diagnostics->Problem(text.status().message());
  return std::string();
}

Result<std::string> ReadVarFile(const std::filesystem::path& path) {
  Result<std::string> text = ReadTextFile(path);
  if (!text.ok()) {
    if (text.status().code() == Status::Code::kNotFound) return std::string();
    return Status(text.status());
  }
  if (text->find('\0') != std::string::npos) {
    return Status::Corrupt(path.string() + " is not a text file of variables; it is not used");
  }
  if (text->find('\r') != std::string::npos && text->find('\n') == std::string::npos) {
    // Read as it stands, the whole file would be one variable holding every other one.
    return Status::Corrupt(path.string() +
                           " ends its lines with CR alone; save it with CR LF or LF line ends");
  }
  return text;
}

}  // namespace pix
