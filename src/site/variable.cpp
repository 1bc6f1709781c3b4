#include "site/variable.h"

#include <algorithm>
#include <sstream>

#include "base/check.h"
#include "base/diagnostics.h"
#include "files/utils.h"

namespace pix {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsRecordSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const std::string kEmptyText;

}  // namespace

void TVarItem::SetVarValue(std::string_view value, bool mark) {
  if (!bMarked && mark) szSavedValue = szVarValue;
  szVarValue.assign(value);
  bMarked = mark;
}

void TVarItem::RevertVar() {
  if (!bMarked) return;
  if (!szSavedValue) {
    szVarValue.clear();
    return;
  }
  // Copy first: SetVarValue must not read from the saved value while replacing it.
  const std::string saved = *szSavedValue;
  SetVarValue(saved, true);
}

TVarItem* TVarArray::FindVar(std::string_view name) const {
  const auto found = NameIndex.find(LowerCase(name));
  return found != NameIndex.end() ? found->second : nullptr;
}

const std::string& TVarArray::GetVarValue(std::string_view name) const {
  const TVarItem* item = FindVar(name);
  return item != nullptr ? item->szVarValue : kEmptyText;
}

TVarItem* TVarArray::SetVar(std::string_view name, std::string_view value, TVarArray* owner) {
  PIX_CHECK(!name.empty());
  if (TVarItem* item = FindVar(name)) {
    item->SetVarValue(value, bMarkChanges);
    return item;
  }
  return AppendItem(name, value, owner);
}

TVarItem* TVarArray::SetIntVar(std::string_view name, int value) {
  return SetVar(name, std::to_string(value));
}

TVarItem* TVarArray::SetLongVar(std::string_view name, long long value) {
  return SetVar(name, std::to_string(value));
}

TVarItem* TVarArray::AddVarAt(std::string_view name, std::string_view value, int index) {
  PIX_CHECK(!name.empty());
  PIX_CHECK(index == ItemCount());
  return AppendItem(name, value, nullptr);
}

TVarItem* TVarArray::AppendItem(std::string_view name, std::string_view value, TVarArray* owner) {
  auto item = std::make_unique<TVarItem>();
  item->szVarName.assign(name);
  item->szVarValue.assign(value);
  item->bMarked = bMarkChanges;
  item->POwnerArray = owner != nullptr ? owner : this;
  // The first item of a name is the one found; a later one of the same name (AddVarAt
  // does not look) stays out of the index.
  NameIndex.emplace(LowerCase(name), item.get());
  ppVarItem.push_back(std::move(item));
  return ppVarItem.back().get();
}

void TVarArray::DeleteVar(std::string_view name) {
  auto found = std::find_if(ppVarItem.begin(), ppVarItem.end(),
                            [&](const auto& item) { return EqualsNoCase(item->szVarName, name); });
  if (found == ppVarItem.end()) return;
  ppVarItem.erase(found);
  // A later item of the same name, if any, becomes the one found.
  const std::string key = LowerCase(name);
  NameIndex.erase(key);
  for (const auto& item : ppVarItem) {
    if (EqualsNoCase(item->szVarName, name)) {
      NameIndex.emplace(key, item.get());
      break;
    }
  }
}

void TVarArray::DeleteAllVars() {
  ppVarItem.clear();
  NameIndex.clear();
}

void TVarArray::CopyVarsFrom(const TVarArray& other) {
  for (const auto& item : other.ppVarItem) SetVar(item->szVarName, item->szVarValue);
}

void TVarArray::RevertMarkedVars() {
  for (const auto& item : ppVarItem) item->RevertVar();
}

bool StartsNameLine(std::string_view text, std::size_t* nameLength) {
  // Letters up to the first colon at offset 2 or more; a colon at offset 0 or 1 counts as
  // part of the name.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':' && i >= 2) {
      if (nameLength != nullptr) *nameLength = i;
      return true;
    }
    if (!IsAsciiLetter(c) && c != ':') return false;
  }
  return false;
}

void TVarArray::ParseVarText(std::string_view text) {
  std::size_t p = 0;
  const std::size_t end = text.size();
  while (p < end) {
    std::size_t nameLength = 0;
    if (StartsNameLine(text.substr(p), &nameLength)) {
      const std::string_view name = text.substr(p, nameLength);
      p += nameLength + 1;
      while (p < end && IsRecordSpace(text[p])) ++p;
      // The value runs to the end, a blank line (CR LF CR LF or LF LF), or a line break
      // whose next line starts a new record.
      std::size_t valueEnd = p;
      while (valueEnd < end) {
        const std::string_view rest = text.substr(valueEnd);
        if (rest.compare(0, 4, "\r\n\r\n") == 0 || rest.compare(0, 2, "\n\n") == 0) break;
        if (rest[0] == '\n' && StartsNameLine(rest.substr(1))) break;
        ++valueEnd;
      }
      SetVar(name, text.substr(p, valueEnd - p));
    }
    while (p < end && text[p] != '\r' && text[p] != '\n') ++p;
    while (p < end && (text[p] == '\r' || text[p] == '\n')) ++p;
  }
}

void TVarArray::WriteVars(std::ostream& out) const {
  for (const auto& item : ppVarItem) {
    if (item->szVarName.empty() || item->szVarValue.empty()) continue;
    out << item->szVarName << ":\r\n" << item->szVarValue << "\r\n\r\n";
  }
}

std::string TVarArray::FormatVarText() const {
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
