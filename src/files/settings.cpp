#include "files/settings.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "base/diagnostics.h"
#include "base/userinterface.h"
#include "files/layouthome.h"
#include "files/names.h"
#include "files/profile.h"
#include "files/utils.h"

namespace pix {
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

TDisplaySize DisplaySizeFrom(int maxDisplayWidth, int maxDisplayHeight) {
  TDisplaySize size{maxDisplayWidth, maxDisplayHeight};
  if (size.Width == 0 && size.Height != 0) size.Width = INT_MAX;
  if (size.Height == 0 && size.Width != 0) size.Height = INT_MAX;
  if (size.Width < 1) size.Width = 100;
  if (size.Height < 1) size.Height = 100;
  return size;
}

std::vector<std::string> TRunSettings::MatchPageNames() const {
  std::vector<std::string> names;
  if (!bDoAutoOrganize) return names;
  TStringTokenList list(szAutoOrganizeBaseFileNames, ',');
  while (std::optional<std::string_view> name = list.GetNextToken()) {
    if (!name->empty()) names.emplace_back(*name);
  }
  return names;
}

std::string TRunSettings::MatchPageSearchString(std::string_view name) const {
  return Profile.Text(kMatchPageSearchStrings, name, "", 255);
}

namespace {

// A name the run may join to a directory's path: not empty, not "." or "..", without "/"
// or NUL, so that it always names something inside that directory.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// An extension the run may give its pages: a plain name that is no picture's or caption
// file's, so that a page can never be written over either.
bool IsPageExtension(std::string_view ext) {
  if (!IsPlainName(ext) || ext.find('.') != std::string_view::npos) return false;
  const std::string dotted = "." + std::string(ext);
  return !IsJpegExtension(dotted) && !IsGifExtension(dotted) && !EqualsNoCase(ext, "txt");
}

// A language tag as pages declare it: letters and digits in parts of 1 to 8 joined by "-",
// the first of letters only ("en", "de-CH", "zh-Hant-TW").
bool IsLanguageTag(std::string_view tag) {
  if (tag.empty() || tag.size() > 35) return false;
  std::size_t partLength = 0;
  bool first = true;
  for (const char c : tag) {
    if (c == '-') {
      if (partLength == 0) return false;
      partLength = 0;
      first = false;
      continue;
    }
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && !first)) return false;
    if (++partLength > 8) return false;
  }
  return partLength > 0;
}

// Replaces a setting that cannot be used by its default, with one line that says so.
void KeepUsable(std::string& value, bool usable, std::string_view key,
                std::string_view defaultValue, std::string_view why,
                Diagnostics& diagnostics) {
  if (usable) return;
  diagnostics.Problem(std::string(key) + " \"" + value + "\" " + std::string(why) + "; \"" +
                      std::string(defaultValue) + "\" is used instead");
  value.assign(defaultValue);
}

}  // namespace

TRunSettings ReadRunSettings(const std::filesystem::path& layoutHome, Diagnostics& diagnostics) {
  TRunSettings settings;
  settings.IniFile = layoutHome / "pixamond.ini";
  settings.Profile = TProfileSnapshot::Read(settings.IniFile);
  const TProfileSnapshot& ini = settings.Profile;
  if (ini.Unreadable()) {
    diagnostics.Problem("Cannot read the settings file " + settings.IniFile.string() +
                        "; the run uses the default settings.");
  }

  const std::string_view user = kHTMLDefaults;
  settings.szPersonFullName = ini.Text(user, kPersonFullName, "", 256);
  settings.szEMailAddress = ini.Text(user, kEMailAddress, "", 256);

  const std::string_view layout = kAutoOrganizeLayout;
  auto flag = [&](std::string_view section, std::string_view key) {
    const std::string text = ini.Text(section, key, "No", 10);
    for (const char* yes : {"Yes", "Y", "1"}) {
      if (EqualsNoCase(text, yes)) return true;
    }
    return false;
  };
  settings.bDoAutoOrganize = flag(layout, kDoAutoOrganize);
  settings.bDeleteHTMLFirst = flag(layout, kDeleteHTMLFirst);
  // Groups of fewer than one picture have no meaning; such a setting counts as 1.
  settings.PicturesPerGroup = std::max(1, ini.Int(layout, kPicturesPerGroup, 1));
  settings.MinMatchPerPage = ini.Int(layout, kMinMatchPerPage, 3);
  settings.szAutoOrganizeBaseFileNames =
      ini.Text(layout, kAutoOrganizeBaseFileNames, "", 16384);

  const std::string_view ext = kFileExtensions;
  TSiteNames& names = settings.Names;
  settings.szAnchorFileExtList = ini.Text(ext, kAnchorFileExtList, "jpg", 20);
  names.szInLineFileExt = ini.Text(ext, kInLineFileExt, "gif", 20);
  names.szPageDOSFileExt = ini.Text(ext, kPageDOSFileExt, "html", 20);
  names.szPageHTMLFileExt = ini.Text(ext, kPageHTMLFileExt, "html", 20);
  if (!EqualsNoCase(names.szInLineFileExt, "gif") && !EqualsNoCase(names.szInLineFileExt, "jpg") &&
      !EqualsNoCase(names.szInLineFileExt, "webp")) {
    // The extension chooses the format of the inline images; one that names no format
    // the program writes would mislead.
    diagnostics.Problem("InLineFileExt \"" + names.szInLineFileExt +
                        "\" is not supported: inline images are GIF, JPEG or WebP files and end "
                        "in .gif, .jpg or .webp");
    names.szInLineFileExt = "gif";
  }
  names.szInLineSubDirName = ini.Text(kFilesSection, kInLineSubDirNameKey, "", 256);
  const bool emptyKey = ini.Find(kFilesSection, kInLineSubDirNameKey).has_value();
  if (names.szInLineSubDirName.empty()) names.szInLineSubDirName = "inline";
  if (emptyKey && ini.Find(kFilesSection, kInLineSubDirNameKey)->empty()) {
    // A key left empty is filled in, so that the user sees the name in use; a missing
    // key is not written, so that a run with nothing to change writes nothing.
    const Status written = WriteProfileText(kFilesSection, kInLineSubDirNameKey,
                                            names.szInLineSubDirName, settings.IniFile);
    if (!written.ok()) diagnostics.Problem("Cannot write the settings: " + written.message());
  }

  KeepUsable(names.szInLineSubDirName, IsPlainName(names.szInLineSubDirName),
             kInLineSubDirNameKey, "inline", "is not a folder name inside the site",
             diagnostics);
  KeepUsable(names.szPageDOSFileExt, IsPageExtension(names.szPageDOSFileExt),
             kPageDOSFileExt, "html",
             "cannot be the extension of pages: it is empty, holds \"/\" or \".\", or names "
             "pictures or caption files",
             diagnostics);
  KeepUsable(names.szPageHTMLFileExt, IsPageExtension(names.szPageHTMLFileExt),
             kPageHTMLFileExt, "html",
             "cannot be the extension of pages: it is empty, holds \"/\" or \".\", or names "
             "pictures or caption files",
             diagnostics);

  const std::string_view display = kDisplay;
  int sides[2] = {ini.Int(display, kMaxDisplayWidth, 0),
                  ini.Int(display, kMaxDisplayHeight, 0)};
  const std::string_view keys[2] = {kMaxDisplayWidth, kMaxDisplayHeight};
  for (int i = 0; i < 2; ++i) {
    // Inline images are small pictures; a box side past this is a slip of the keyboard
    // that would make files of hundreds of megabytes.
    if (sides[i] > kMaxDisplaySide) {
      diagnostics.Problem(std::string(keys[i]) + "=" + std::to_string(sides[i]) +
                          " is larger than " + std::to_string(kMaxDisplaySide) +
                          " pixels; " + std::to_string(kMaxDisplaySide) + " is used instead");
      sides[i] = kMaxDisplaySide;
    }
  }
  settings.MaxDisplay = DisplaySizeFrom(sides[0], sides[1]);

  // A number outside its range is replaced by its default, or cut to its largest value.
  auto number = [&](const char* key, int defaultValue, int low, int high, bool cutHigh) {
    const int value = ini.Int(display, key, defaultValue);
    if (value >= low && value <= high) return value;
    const int used = cutHigh && value > high ? high : defaultValue;
    diagnostics.Problem(std::string(key) + "=" + std::to_string(value) + " is not between " +
                        std::to_string(low) + " and " + std::to_string(high) + "; " +
                        std::to_string(used) + " is used instead");
    return used;
  };
  settings.InLineQuality = number(kInLineQualityKey, 82, 1, 100, false);
  settings.InLinePixelDensity = number(kInLinePixelDensityKey, 1, 1, 2, false);
  settings.DetailImageMaxSize =
      number(kDetailImageMaxSizeKey, 0, 0, kMaxDetailImageSide, true);

  settings.szPageLanguage = ini.Text(user, kPageLanguageKey, "en", 64);
  KeepUsable(settings.szPageLanguage, IsLanguageTag(settings.szPageLanguage), kPageLanguageKey,
             "en", "is not a language tag such as \"en\" or \"de-CH\"", diagnostics);
  return settings;
}

void RequireFullName(TRunSettings& settings, UserInterface& ui, Diagnostics& diagnostics) {
  if (!settings.szPersonFullName.empty()) return;
  while (settings.szPersonFullName.empty()) {
    std::optional<std::string> entered =
        ui.PromptLine("Input", "Please enter your full name:", "", 256);
    if (entered) {
      settings.szPersonFullName = std::move(*entered);
    } else {
      ui.ShowMessage("Your Full Name is a required value.", kProgramCaption, MessageButtons::kOk,
                     MessageIcon::kNone);
    }
  }
  const Status written =
      WriteProfileText(kHTMLDefaults, kPersonFullName,
                       settings.szPersonFullName, settings.IniFile);
  if (!written.ok()) diagnostics.Problem("Cannot write the settings: " + written.message());
}

}  // namespace pix
