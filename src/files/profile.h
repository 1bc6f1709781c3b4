// An INI ("profile") file store with the access rules the program's settings rely on.
//
// The file is never held open: every read parses it afresh and every write rewrites it, so
// a value written anywhere is seen by the next read. Section and key names compare without
// regard to case. A missing file reads as all defaults and the first write creates it.
//
// Writes keep every line they do not change (comments, blank lines, unknown keys) and the
// line-end style of the file; the new file replaces the old one only when it is complete,
// so a failed or interrupted write never leaves a half-written settings file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

namespace detail {
class ProfileFile;
}  // namespace detail

/// Settings values by section and key, both in lower case: values that stand in for what a
/// settings file holds (ProfileSnapshot::WithValues).
using SettingsValues = std::map<std::pair<std::string, std::string>, std::string>;

/// The settings file as read once: for a run that reads many keys and must see one
/// consistent file. Lookups follow the rules of GetProfileText and GetProfileInt.
class ProfileSnapshot {
 public:
  /// Reads `file`; a missing file reads as all defaults.
  static ProfileSnapshot Read(const std::filesystem::path& file);

  /// True when the file exists but could not be read (it reads as all defaults).
  bool Unreadable() const;
  /// The value of `key` in `section` without its quotes, or nothing.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
  std::string Text(std::string_view section, std::string_view key, std::string_view default_text,
                   std::size_t capacity) const;
  int Int(std::string_view section, std::string_view key, int default_value) const;

  /// This snapshot with `values` in place of the file's (a value there is found even where
  /// the file has no such key), for a look at settings not yet written.
  ProfileSnapshot WithValues(SettingsValues values) const;

 private:
  std::shared_ptr<const detail::ProfileFile> file_;
  std::shared_ptr<const SettingsValues> values_;
};

/// The value of `key` in `section`, cut to `capacity` - 1 characters; `defaultText` (cut the
/// same way) when the file, section or key is missing. A value written in matching single or
/// double quotes loses them.
std::string GetProfileText(std::string_view section, std::string_view key,
                           std::string_view default_text, std::size_t capacity,
                           const std::filesystem::path& file);

/// The number formed by the decimal digits at the start of the value (0 when it does not
/// start with a digit, the largest int when it is too large), or `defaultValue` when the
/// key is missing.
int GetProfileInt(std::string_view section, std::string_view key, int default_value,
                  const std::filesystem::path& file);

/// Writes `value` under `key` in `section`, creating the file, section and key as needed
/// and replacing an existing value. No value deletes the key; no key deletes the whole
/// section. Names and values that would break the file's line structure are refused.
Status WriteProfileText(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> value,
                        const std::filesystem::path& file);

}  // namespace pix
