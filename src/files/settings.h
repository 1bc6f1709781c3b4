// The program's settings: where the settings file is, typed accessors for its keys, and the
// rules that turn stored values into the values the program uses.
//
// The settings file is the layout home's "pixamond.ini". Section and key names come from
// the name table (files/stringtable.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

class TUserInterface;

/// The settings file: "pixamond.ini" in the layout home.
std::filesystem::path IniFileName();

/// Text of a key of the settings file, cut to `capacity` - 1 characters; `defaultText`
/// when it is missing.
std::string GetIniString(std::string_view section, std::string_view key,
                         std::string_view defaultText = {}, std::size_t capacity = 256);
Status WriteIniString(std::string_view section, std::string_view key, std::string_view value);

/// The integer of a key (see GetProfileInt); `defaultValue` when the key is missing.
int GetIniInt(std::string_view section, std::string_view key, int defaultValue);

/// True for "Yes", "Y" or "1", false for "No", "N" or "0" (any case), `defaultValue` for a
/// missing key or any other text.
bool GetIniBool(std::string_view section, std::string_view key, bool defaultValue);

/// Writes "Yes" or "No".
Status WriteIniBool(std::string_view section, std::string_view key, bool value);

/// The name of the sub-directory that holds inline pictures in every picture directory:
/// Files/InLineSubDirName, or "inline" (written back to the settings) when it is empty.
/// Read once per settings file; later calls return the kept text.
std::string GetInLineSubDirName();

/// The box that inline pictures are fitted into.
struct TDisplaySize {
  int Width = 0;
  int Height = 0;
};

/// Display/MaxDisplayWidth and MaxDisplayHeight: a missing or zero side is unbounded when
/// the other is set; a side below 1 then becomes 100. Neither set gives 100 by 100.
TDisplaySize ReadMaxDisplaySize();

/// Makes sure the settings hold the user's full name before a site is generated: asks
/// until a name is given (a cancelled prompt is answered with a note and asked again), then
/// writes the name and the e-mail address back. Returns the name.
std::string RequireFullName(TUserInterface& ui);

/// Settings keys that the name table does not hold.
inline constexpr const char* kFilesSection = "Files";
inline constexpr const char* kInLineSubDirNameKey = "InLineSubDirName";
inline constexpr const char* kPictureEditorKey = "PictureEditor";

}  // namespace pix
