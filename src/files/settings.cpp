#include "files/settings.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "base/diagnostics.h"
#include "base/userinterface.h"
#include "files/names.h"
#include "files/profile.h"
#include "files/utils.h"

namespace pix {
std::string SettingsFile::GetString(std::string_view section, std::string_view key,
                                    std::string_view default_text, std::size_t capacity) const {
  return GetProfileText(section, key, default_text, capacity, path_);
}

Status SettingsFile::WriteString(std::string_view section, std::string_view key,
                                 std::string_view value) const {
  return WriteProfileText(section, key, value, path_);
}

Status SettingsFile::Remove(std::string_view section, std::string_view key) const {
  return WriteProfileText(section, key, std::nullopt, path_);
}

int SettingsFile::GetInt(std::string_view section, std::string_view key, int default_value) const {
  return GetProfileInt(section, key, default_value, path_);
}

bool SettingsFile::GetBool(std::string_view section, std::string_view key,
                           bool default_value) const {
  const std::string text = GetString(section, key, default_value ? "Yes" : "No", 10);
  for (const char* yes : {"Yes", "Y", "1"}) {
    if (EqualsNoCase(text, yes)) return true;
  }
  for (const char* no : {"No", "N", "0"}) {
    if (EqualsNoCase(text, no)) return false;
  }
  return default_value;
}

Status SettingsFile::WriteBool(std::string_view section, std::string_view key, bool value) const {
  return WriteString(section, key, value ? "Yes" : "No");
}

DisplaySize DisplaySizeFrom(int max_display_width, int max_display_height) {
  DisplaySize size{max_display_width, max_display_height};
  if (size.width == 0 && size.height != 0) size.width = INT_MAX;
  if (size.height == 0 && size.width != 0) size.height = INT_MAX;
  if (size.width < 1) size.width = 100;
  if (size.height < 1) size.height = 100;
  return size;
}

std::vector<std::string> RunSettings::MatchPageNames() const {
  std::vector<std::string> page_names;
  if (!do_auto_organize) return page_names;
  StringTokenList list(auto_organize_base_file_names, ',');
  while (std::optional<std::string_view> name = list.GetNextToken()) {
    if (!name->empty()) page_names.emplace_back(*name);
  }
  return page_names;
}

std::string RunSettings::MatchPageSearchString(std::string_view name) const {
  return profile_.Text(kMatchPageSearchStrings, name, "", 255);
}

std::optional<SortOrder> ParseSortOrder(std::string_view text) {
  SortOrder order;
  if (!text.empty() && text.front() == '-') {
    order.reverse = true;
    text.remove_prefix(1);
  }
  if (EqualsNoCase(text, "name")) {
    order.key = SortKey::kName;
  } else if (EqualsNoCase(text, "natural")) {
    order.key = SortKey::kNatural;
  } else if (EqualsNoCase(text, "date")) {
    order.key = SortKey::kDate;
  } else {
    return std::nullopt;
  }
  return order;
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
  std::size_t part_length = 0;
  bool first = true;
  for (const char c : tag) {
    if (c == '-') {
      if (part_length == 0) return false;
      part_length = 0;
      first = false;
      continue;
    }
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && !first)) return false;
    if (++part_length > 8) return false;
  }
  return part_length > 0;
}

// The address a site is published at, as feeds and sitemaps need it whole: "http://" or
// "https://", a host, and no character that would have to be escaped in XML or a URL.
bool IsSiteUrl(std::string_view url) {
  std::string_view rest;
  if (url.substr(0, 8) == "https://") {
    rest = url.substr(8);
  } else if (url.substr(0, 7) == "http://") {
    rest = url.substr(7);
  } else {
    return false;
  }
  if (rest.empty() || rest.front() == '/') return false;
  for (const char c : rest) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f || c == '"' || c == '<' || c == '>' || c == '&' ||
        c == '\\' || c == '#' || c == '?' || c == '\'' || c == '`') {
      return false;
    }
  }
  return true;
}

// Replaces a setting that cannot be used by its default, with one line that says so.
void KeepUsable(std::string& value, bool usable, std::string_view key,
                std::string_view default_value, std::string_view why,
                Diagnostics& diagnostics) {
  if (usable) return;
  diagnostics.Problem(std::string(key) + " \"" + value + "\" " + std::string(why) + "; \"" +
                      std::string(default_value) + "\" is used instead");
  value.assign(default_value);
}

}  // namespace

RunSettings ReadRunSettings(const std::filesystem::path& layout_home, Diagnostics& diagnostics,
                            const SettingsValues* values) {
  RunSettings settings;
  settings.ini_file = layout_home / "pixamond.ini";
  settings.profile_ = ProfileSnapshot::Read(settings.ini_file);
  if (values != nullptr) settings.profile_ = settings.profile_.WithValues(*values);
  const ProfileSnapshot& ini = settings.profile_;
  if (ini.Unreadable()) {
    diagnostics.Problem("Cannot read the settings file " + settings.ini_file.string() +
                        "; the run uses the default settings.");
  }

  const std::string_view user = kHTMLDefaults;
  settings.person_full_name = ini.Text(user, kPersonFullName, "", 256);
  settings.e_mail_address = ini.Text(user, kEMailAddress, "", 256);

  const std::string_view layout = kAutoOrganizeLayout;
  auto flag = [&](std::string_view section, std::string_view key) {
    const std::string text = ini.Text(section, key, "No", 10);
    for (const char* yes : {"Yes", "Y", "1"}) {
      if (EqualsNoCase(text, yes)) return true;
    }
    return false;
  };
  settings.do_auto_organize = flag(layout, kDoAutoOrganize);
  settings.delete_html_first = flag(layout, kDeleteHTMLFirst);
  // Groups of fewer than one picture have no meaning; such a setting counts as 1.
  settings.pictures_per_group = std::max(1, ini.Int(layout, kPicturesPerGroup, 1));
  settings.min_match_per_page = ini.Int(layout, kMinMatchPerPage, 3);
  settings.auto_organize_base_file_names =
      ini.Text(layout, kAutoOrganizeBaseFileNames, "", 16384);

  const std::string_view ext = kFileExtensions;
  SiteNames& names = settings.names;
  settings.anchor_file_ext_list = ini.Text(ext, kAnchorFileExtList, "jpg", 20);
  names.in_line_file_ext = ini.Text(ext, kInLineFileExt, "gif", 20);
  names.page_dos_file_ext = ini.Text(ext, kPageDOSFileExt, "html", 20);
  names.page_html_file_ext = ini.Text(ext, kPageHTMLFileExt, "html", 20);
  if (!EqualsNoCase(names.in_line_file_ext, "gif") && !EqualsNoCase(names.in_line_file_ext, "jpg") &&
      !EqualsNoCase(names.in_line_file_ext, "webp")) {
    // The extension chooses the format of the inline images; one that names no format
    // the program writes would mislead.
    diagnostics.Problem("InLineFileExt \"" + names.in_line_file_ext +
                        "\" is not supported: inline images are GIF, JPEG or WebP files and end "
                        "in .gif, .jpg or .webp");
    names.in_line_file_ext = "gif";
  }
  names.in_line_sub_dir_name = ini.Text(kFilesSection, kInLineSubDirNameKey, "", 256);
  const bool empty_key = ini.Find(kFilesSection, kInLineSubDirNameKey).has_value();
  if (names.in_line_sub_dir_name.empty()) names.in_line_sub_dir_name = "inline";
  if (empty_key && ini.Find(kFilesSection, kInLineSubDirNameKey)->empty() && values == nullptr) {
    // A key left empty is filled in, so that the user sees the name in use; a missing
    // key is not written, so that a run with nothing to change writes nothing.
    const Status written = WriteProfileText(kFilesSection, kInLineSubDirNameKey,
                                            names.in_line_sub_dir_name, settings.ini_file);
    if (!written.ok()) diagnostics.Problem("Cannot write the settings: " + written.message());
  }

  KeepUsable(names.in_line_sub_dir_name, IsPlainName(names.in_line_sub_dir_name),
             kInLineSubDirNameKey, "inline", "is not a folder name inside the site",
             diagnostics);
  KeepUsable(names.page_dos_file_ext, IsPageExtension(names.page_dos_file_ext),
             kPageDOSFileExt, "html",
             "cannot be the extension of pages: it is empty, holds \"/\" or \".\", or names "
             "pictures or caption files",
             diagnostics);
  KeepUsable(names.page_html_file_ext, IsPageExtension(names.page_html_file_ext),
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
  settings.max_display = DisplaySizeFrom(sides[0], sides[1]);

  // A number outside its range is replaced by its default, or cut to its largest value.
  auto number = [&](const char* key, int default_value, int low, int high, bool cut_high) {
    const int value = ini.Int(display, key, default_value);
    if (value >= low && value <= high) return value;
    const int used = cut_high && value > high ? high : default_value;
    diagnostics.Problem(std::string(key) + "=" + std::to_string(value) + " is not between " +
                        std::to_string(low) + " and " + std::to_string(high) + "; " +
                        std::to_string(used) + " is used instead");
    return used;
  };
  settings.in_line_quality = number(kInLineQualityKey, 82, 1, 100, false);
  settings.in_line_pixel_density = number(kInLinePixelDensityKey, 1, 1, 2, false);
  settings.detail_image_max_size =
      number(kDetailImageMaxSizeKey, 0, 0, kMaxDetailImageSide, true);
  const std::string palette = ini.Text(display, kInLinePaletteKey, "Dither", 20);
  if (EqualsNoCase(palette, "MedianCut")) {
    settings.in_line_palette = InlinePalette::kMedianCut;
  } else if (!EqualsNoCase(palette, "Dither")) {
    diagnostics.Problem(std::string(kInLinePaletteKey) + " \"" + palette +
                        "\" is not Dither or MedianCut; \"Dither\" is used instead");
  }

  const std::string sort_text = ini.Text(kPages, kSortOrder, "name", 20);
  if (std::optional<SortOrder> order = ParseSortOrder(sort_text)) {
    settings.sort_order = *order;
  } else {
    diagnostics.Problem(std::string(kSortOrder) + " \"" + sort_text +
                        "\" is not one of name, natural, date, -name, -natural, -date; "
                        "\"name\" is used instead");
  }
  const int per_page = ini.Int(kPages, kPicturesPerPage, 0);
  if (per_page >= 0 && per_page <= kMaxPicturesPerPage) {
    settings.pictures_per_page = per_page;
  } else {
    diagnostics.Problem(std::string(kPicturesPerPage) + "=" + std::to_string(per_page) +
                        " is not between 0 and " + std::to_string(kMaxPicturesPerPage) +
                        "; 0 (one page) is used instead");
  }
  names.numbered_index_pages = settings.pictures_per_page > 0;

  settings.page_language = ini.Text(user, kPageLanguageKey, "en", 64);
  KeepUsable(settings.page_language, IsLanguageTag(settings.page_language), kPageLanguageKey,
             "en", "is not a language tag such as \"en\" or \"de-CH\"", diagnostics);

  settings.album_zip = flag(kPages, kAlbumZip);
  if (settings.album_zip && settings.detail_image_max_size == 0) {
    // An album's zip holds its web-sized copies, never the originals (nor their GPS data).
    diagnostics.Problem(std::string(kAlbumZip) + "=Yes needs " + kDetailImageMaxSizeKey +
                        ": albums are zipped from their web-sized copies; no zip is made");
    settings.album_zip = false;
  }
  settings.map_links = flag(kPages, kMapLinks);
  settings.site_url = ini.Text(user, kSiteURL, "", 1024);
  if (!settings.site_url.empty()) {
    KeepUsable(settings.site_url, IsSiteUrl(settings.site_url), kSiteURL, "",
               "is not the address of a web site (\"https://example.org/photos/\")",
               diagnostics);
    if (!settings.site_url.empty() && settings.site_url.back() != '/') settings.site_url += '/';
  }
  return settings;
}

void RequireFullName(RunSettings& settings, UserInterface& ui, Diagnostics& diagnostics) {
  if (!settings.person_full_name.empty()) return;
  while (settings.person_full_name.empty()) {
    std::optional<std::string> entered =
        ui.PromptLine("Input", "Please enter your full name:", "", 256);
    if (entered) {
      settings.person_full_name = std::move(*entered);
    } else {
      ui.ShowMessage("Your Full Name is a required value.", kProgramCaption, MessageButtons::kOk,
                     MessageIcon::kNone);
    }
  }
  const Status written =
      WriteProfileText(kHTMLDefaults, kPersonFullName,
                       settings.person_full_name, settings.ini_file);
  if (!written.ok()) diagnostics.Problem("Cannot write the settings: " + written.message());
}

}  // namespace pix
