#include "files/settings.h"

#include <climits>
#include <iostream>
#include <mutex>
#include <optional>

#include "base/userinterface.h"
#include "files/layouthome.h"
#include "files/profile.h"
#include "files/stringtable.h"
#include "files/utils.h"

namespace pix {
namespace {

void ReportFailedWrite(const Status& status) {
  if (!status.ok()) std::cerr << "Cannot write the settings: " << status.message() << "\n";
}

}  // namespace

std::filesystem::path IniFileName() { return LayoutHome() / "pixamond.ini"; }

std::string GetIniString(std::string_view section, std::string_view key,
                         std::string_view defaultText, std::size_t capacity) {
  return GetProfileText(section, key, defaultText, capacity, IniFileName());
}

Status WriteIniString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteProfileText(section, key, value, IniFileName());
}

int GetIniInt(std::string_view section, std::string_view key, int defaultValue) {
  return GetProfileInt(section, key, defaultValue, IniFileName());
}

bool GetIniBool(std::string_view section, std::string_view key, bool defaultValue) {
  const std::string text = GetIniString(section, key, defaultValue ? "Yes" : "No", 10);
  for (const char* yes : {"Yes", "Y", "1"}) {
    if (EqualsNoCase(text, yes)) return true;
  }
  for (const char* no : {"No", "N", "0"}) {
    if (EqualsNoCase(text, no)) return false;
  }
  return defaultValue;
}

Status WriteIniBool(std::string_view section, std::string_view key, bool value) {
  return WriteIniString(section, key, value ? "Yes" : "No");
}

std::string GetInLineSubDirName() {
  // Kept per settings file, so that a program that switches its layout home (the tests do)
  // reads the new file once.
  static std::mutex mutex;
  static std::optional<std::filesystem::path> readFrom;
  static std::string name;
  std::lock_guard<std::mutex> lock(mutex);
  const std::filesystem::path ini = IniFileName();
  if (readFrom != ini) {
    name = GetProfileText(kFilesSection, kInLineSubDirNameKey, "", 256, ini);
    if (name.empty()) {
      name = "inline";
      ReportFailedWrite(WriteProfileText(kFilesSection, kInLineSubDirNameKey, name, ini));
    }
    readFrom = ini;
  }
  return name;
}

TDisplaySize ReadMaxDisplaySize() {
  TDisplaySize size;
  size.Width = GetIniInt(StringTable[idsDisplay], StringTable[idsMaxDisplayWidth], 0);
  size.Height = GetIniInt(StringTable[idsDisplay], StringTable[idsMaxDisplayHeight], 0);
  if (size.Width == 0 && size.Height != 0) size.Width = INT_MAX;
  if (size.Height == 0 && size.Width != 0) size.Height = INT_MAX;
  if (size.Width < 1) size.Width = 100;
  if (size.Height < 1) size.Height = 100;
  return size;
}

std::string RequireFullName(TUserInterface& ui) {
  const std::string_view section = StringTable[idsHTMLDefaults];
  std::string name = GetIniString(section, StringTable[idsPersonFullName]);
  while (name.empty()) {
    std::optional<std::string> entered =
        ui.PromptLine("Input", "Please enter your full name:", "", 256);
    if (entered) {
      name = std::move(*entered);
    } else {
      ui.ShowMessage("Your Full Name is a required value.", kProgramCaption, MessageButtons::Ok,
                     MessageIcon::None);
    }
  }
  const std::string email = GetIniString(section, StringTable[idsEMailAddress]);
  ReportFailedWrite(WriteIniString(section, StringTable[idsPersonFullName], name));
  ReportFailedWrite(WriteIniString(section, StringTable[idsEMailAddress], email));
  return name;
}

}  // namespace pix
