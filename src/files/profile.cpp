#include "files/profile.h"

#include <climits>
#include <vector>

#include "base/safefile.h"
#include "files/utils.h"

namespace pix {
namespace detail {
class ProfileFile;
}  // namespace detail
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// One line of the file, kept as it was read, with what it means.
struct ProfileLine {
  enum class Kind { kOther, kSection, kKey };
  std::string text;  // Without its line end.
  Kind kind = Kind::kOther;
  std::string name;   // Section name or key name.
  std::string value;  // Key value, blanks around it removed.
};

}  // namespace

class detail::ProfileFile {
 public:
  explicit ProfileFile(const std::filesystem::path& path) {
    Result<std::string> text = ReadTextFile(path);
    if (!text.ok()) {
      unreadable = text.status().code() != Status::Code::kNotFound;
      return;
    }
    const std::size_t first_break = text->find('\n');
    cr_lf = first_break != std::string::npos && first_break > 0 && (*text)[first_break - 1] == '\r';
    std::size_t start = 0;
    while (start < text->size()) {
      std::size_t end = text->find('\n', start);
      if (end == std::string::npos) end = text->size();
      std::size_t line_end = end;
      if (line_end > start && (*text)[line_end - 1] == '\r') --line_end;
      lines.push_back(Classify(text->substr(start, line_end - start)));
      start = end + 1;
    }
  }

  // Index of the header line of `section`, or nothing.
  std::optional<std::size_t> FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].kind == ProfileLine::Kind::kSection && EqualsNoCase(lines[i].name, section)) {
        return i;
      }
    }
    return std::nullopt;
  }

  // One past the last line of the section whose header is at `header`.
  std::size_t SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != ProfileLine::Kind::kSection) ++i;
    return i;
  }

  std::optional<std::size_t> FindKey(std::string_view section, std::string_view key) const {
    const std::optional<std::size_t> header = FindSection(section);
    if (!header) return std::nullopt;
    for (std::size_t i = *header + 1; i < SectionEnd(*header); ++i) {
      if (lines[i].kind == ProfileLine::Kind::kKey && EqualsNoCase(lines[i].name, key)) return i;
    }
    return std::nullopt;
  }

  std::string Text() const {
    std::string text;
    const char* line_end = cr_lf ? "\r\n" : "\n";
    for (const ProfileLine& line : lines) {
      text += line.text;
      text += line_end;
    }
    return text;
  }

  static ProfileLine Classify(std::string text) {
    ProfileLine line;
    line.text = std::move(text);
    const std::string_view trimmed = Trim(line.text);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return line;
    if (trimmed.front() == '[') {
      const std::size_t close = trimmed.find(']');
      if (close != std::string_view::npos) {
        line.kind = ProfileLine::Kind::kSection;
        line.name.assign(Trim(trimmed.substr(1, close - 1)));
      }
      return line;
    }
    const std::size_t equals = trimmed.find('=');
    if (equals != std::string_view::npos) {
      line.kind = ProfileLine::Kind::kKey;
      line.name.assign(Trim(trimmed.substr(0, equals)));
      line.value.assign(Trim(trimmed.substr(equals + 1)));
    }
    return line;
  }

  std::vector<ProfileLine> lines;
  bool cr_lf = false;
  // The file exists but could not be read (no permission, too large): it reads as all
  // defaults, but must never be replaced by a file holding only the values written now.
  bool unreadable = false;
};

namespace {
using detail::ProfileFile;

std::string_view WithoutQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string CutToCapacity(std::string_view text, std::size_t capacity) {
  if (capacity == 0) return std::string();
  return std::string(text.substr(0, capacity - 1));
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Whether a section or key name would be read back as written: not empty, no line break,
// no blanks at its ends (the reader trims them), and nothing that would make its line read
// as something else.
bool IsUsableSectionName(std::string_view section) {
  return !section.empty() && !HasLineBreak(section) &&
         section.find(']') == std::string_view::npos && Trim(section) == section;
}

bool IsUsableKeyName(std::string_view key) {
  return !key.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
         Trim(key) == key && key.front() != '[' && key.front() != ';' && key.front() != '#';
}

}  // namespace

ProfileSnapshot ProfileSnapshot::Read(const std::filesystem::path& file) {
  ProfileSnapshot snapshot;
  snapshot.file_ = std::make_shared<const ProfileFile>(file);
  return snapshot;
}

bool ProfileSnapshot::Unreadable() const { return file_ && file_->unreadable; }

ProfileSnapshot ProfileSnapshot::WithValues(SettingsValues values) const {
  ProfileSnapshot snapshot = *this;
  snapshot.values_ = std::make_shared<const SettingsValues>(std::move(values));
  return snapshot;
}

std::optional<std::string_view> ProfileSnapshot::Find(std::string_view section,
                                                       std::string_view key) const {
  if (values_) {
    const auto found = values_->find({LowerCase(section), LowerCase(key)});
    if (found != values_->end()) return WithoutQuotes(found->second);
  }
  if (!file_) return std::nullopt;
  const std::optional<std::size_t> line = file_->FindKey(section, key);
  if (!line) return std::nullopt;
  return WithoutQuotes(file_->lines[*line].value);
}

std::string ProfileSnapshot::Text(std::string_view section, std::string_view key,
                                   std::string_view default_text, std::size_t capacity) const {
  return CutToCapacity(Find(section, key).value_or(default_text), capacity);
}

int ProfileSnapshot::Int(std::string_view section, std::string_view key, int default_value) const {
  const std::optional<std::string_view> value = Find(section, key);
  if (!value) return default_value;
  long long number = 0;
  for (char c : *value) {
    if (c < '0' || c > '9') break;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(number);
}

std::string GetProfileText(std::string_view section, std::string_view key,
                           std::string_view default_text, std::size_t capacity,
                           const std::filesystem::path& file) {
  return ProfileSnapshot::Read(file).Text(section, key, default_text, capacity);
}

int GetProfileInt(std::string_view section, std::string_view key, int default_value,
                  const std::filesystem::path& file) {
  return ProfileSnapshot::Read(file).Int(section, key, default_value);
}

Status WriteProfileText(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> value, const std::filesystem::path& file) {
  if (!IsUsableSectionName(section) || (key && !IsUsableKeyName(*key)) ||
      (value && HasLineBreak(*value))) {
    return Status::InvalidArgument(
        "A settings name or value cannot hold a line break, '=' or ']', nor start or end with "
        "a blank, nor a key start with '[', ';' or '#': [" +
        std::string(section) + "] " + std::string(key.value_or("")));
  }
  ProfileFile profile(file);
  if (profile.unreadable) {
    return Status::IoError("Cannot read " + file.string() + "; it is left as it is and [" +
                           std::string(section) + "] " + std::string(key.value_or("")) +
                           " is not written");
  }
  std::optional<std::size_t> header = profile.FindSection(section);

  if (!key) {  // Delete the whole section.
    if (!header) return Status::OK();
    profile.lines.erase(
        profile.lines.begin() + static_cast<std::ptrdiff_t>(*header),
        profile.lines.begin() + static_cast<std::ptrdiff_t>(profile.SectionEnd(*header)));
    return WriteFileAtomically(file, profile.Text());
  }

  const std::optional<std::size_t> line = profile.FindKey(section, *key);
  if (!value) {  // Delete the key.
    if (!line) return Status::OK();
    profile.lines.erase(profile.lines.begin() + static_cast<std::ptrdiff_t>(*line));
    return WriteFileAtomically(file, profile.Text());
  }

  if (line) {
    // A replaced key keeps the spelling it has in the file.
    const std::string name = profile.lines[*line].name;
    profile.lines[*line] = ProfileFile::Classify(name + "=" + std::string(*value));
    return WriteFileAtomically(file, profile.Text());
  }
  ProfileLine new_line = ProfileFile::Classify(std::string(*key) + "=" + std::string(*value));
  if (header) {
    // After the section's last non-blank line, so that a blank line before the next
    // section stays where it is.
    std::size_t at = profile.SectionEnd(*header);
    while (at > *header + 1 && Trim(profile.lines[at - 1].text).empty()) --at;
    profile.lines.insert(profile.lines.begin() + static_cast<std::ptrdiff_t>(at),
                         std::move(new_line));
  } else {
    if (!profile.lines.empty() && !Trim(profile.lines.back().text).empty()) {
      profile.lines.push_back(ProfileFile::Classify(std::string()));
    }
    profile.lines.push_back(ProfileFile::Classify("[" + std::string(section) + "]"));
    profile.lines.push_back(std::move(new_line));
  }
  return WriteFileAtomically(file, profile.Text());
}

}  // namespace pix
