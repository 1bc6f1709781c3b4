// The program's settings: where the settings file is, typed accessors for its keys, and the
// rules that turn stored values into the values the program uses.
//
// The settings file is the layout home's "pixamond.ini". Section and key names come from
// the name table (files/stringtable.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "files/picturenames.h"
#include "files/profile.h"

namespace pix {

class Diagnostics;

class UserInterface;

/// The settings file of one layout home, "pixamond.ini": typed reads and writes of its keys.
/// A value that names the file; each call reads or writes the file itself, so that two
/// of them on the same home always agree.
class SettingsFile {
 public:
  explicit SettingsFile(const std::filesystem::path& layout_home)
      : path_(layout_home / "pixamond.ini") {}

  const std::filesystem::path& path() const { return path_; }

  /// Text of a key, cut to `capacity` - 1 characters; `default_text` when it is missing.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view default_text = {}, std::size_t capacity = 256) const;
  /// The integer of a key (see GetProfileInt); `default_value` when the key is missing.
  int GetInt(std::string_view section, std::string_view key, int default_value) const;
  /// True for "Yes", "Y" or "1", false for "No", "N" or "0" (any case), `default_value` for
  /// a missing key or any other text.
  bool GetBool(std::string_view section, std::string_view key, bool default_value) const;

  Status WriteString(std::string_view section, std::string_view key,
                     std::string_view value) const;
  /// Writes "Yes" or "No".
  Status WriteBool(std::string_view section, std::string_view key, bool value) const;
  /// Removes a key; a key that is not there is no failure.
  Status Remove(std::string_view section, std::string_view key) const;

 private:
  std::filesystem::path path_;
};

/// The box that inline pictures are fitted into.
struct DisplaySize {
  int width = 0;
  int height = 0;
};

/// The display box of Display/MaxDisplayWidth and MaxDisplayHeight: a missing or zero side
/// is unbounded when the other is set; a side below 1 then becomes 100. Neither set gives
/// 100 by 100.
DisplaySize DisplaySizeFrom(int max_display_width, int max_display_height);

/// How the pictures of a page are ordered (Pages/SortOrder).
/// How a JPEG picture's colours come down to the 256 of a GIF inline image
/// (Display/InLinePalette).
enum class InlinePalette {
  kDither,     ///< "Dither": libjpeg's two-pass quantizer, dithered, before the reduction.
  kMedianCut,  ///< "MedianCut": a median cut of the reduced picture, without dithering.
};

enum class SortKey {
  kName,     ///< By the bytes of the file names, the order of the scan.
  kNatural,  ///< By name, runs of digits compared as numbers ("img2" before "img10").
  kDate,     ///< By the date taken, then the file's time, then the name.
};

/// Pages/SortOrder as read: the key, and whether the order is reversed ("-name").
struct SortOrder {
  SortKey key = SortKey::kName;
  bool reverse = false;
};

/// The order a SortOrder value names ("name", "natural", "date", each with an optional
/// leading "-" for the reverse order, any case); nothing for other text.
std::optional<SortOrder> ParseSortOrder(std::string_view text);

/// Everything a generation run (or auto-organize) reads from the settings, read once from
/// one layout home's settings file, so that the whole run sees one consistent file.
struct RunSettings {
  std::filesystem::path ini_file;  ///< Where these settings were read from.
  std::string person_full_name;
  std::string e_mail_address;
  bool do_auto_organize = false;
  bool delete_html_first = false;
  int pictures_per_group = 1;  ///< At least 1.
  int min_match_per_page = 3;
  std::string anchor_file_ext_list = "jpg";
  SiteNames names;
  DisplaySize max_display{100, 100};
  /// Display/InLineQuality: the quality (1 to 100) of JPEG and WebP inline images and of
  /// detail images.
  int in_line_quality = 82;
  /// Display/InLinePixelDensity: 1, or 2 for inline images of twice the display size (the
  /// page still shows them at the display size, sharp on screens of high pixel density).
  int in_line_pixel_density = 1;
  /// Display/InLinePalette: how GIF inline images of JPEG pictures get their colours.
  InlinePalette in_line_palette = InlinePalette::kDither;
  /// Display/DetailImageMaxSize: the box (this many pixels a side) that the web-sized JPEG
  /// of a detail page fits into; 0 shows the picture itself.
  int detail_image_max_size = 0;
  /// Pages/SortOrder: the order of the pictures on index and match pages and of their
  /// detail pages' neighbours.
  SortOrder sort_order;
  /// Pages/PicturesPerPage: the most pictures one index page lists before the rest go to
  /// "index-2", "index-3"...; 0 lists them all on one page.
  int pictures_per_page = 0;
  /// HTMLDefaults/PageLanguage: the language the pages declare, as a language tag.
  std::string page_language = "en";
  /// Pages/AlbumZip: each album (a folder with pictures) gets a zip of its detail images,
  /// inline/FOLDER.zip, for visitors to download.
  bool album_zip = false;
  /// Pages/MapLinks: a picture with a GPS position gets a link to the place on a map.
  bool map_links = false;
  /// HTMLDefaults/SiteURL: where the site is published, "http://" or "https://" and ending
  /// in "/"; empty when not set. Set, it makes the run write feed.xml and sitemap.xml at
  /// the top of the site.
  std::string site_url;
  /// AutoOrganizeLayout/AutoOrganizeBaseFileNames: the match pages, comma-separated.
  std::string auto_organize_base_file_names;
  /// The match pages a run writes: the names of auto_organize_base_file_names when
  /// do_auto_organize is set, else none.
  std::vector<std::string> MatchPageNames() const;
  /// The search pattern of the match page `name` (MatchPageSearchStrings), or empty.
  std::string MatchPageSearchString(std::string_view name) const;

 private:
  friend RunSettings ReadRunSettings(const std::filesystem::path&, Diagnostics&,
                                     const SettingsValues*);
  ProfileSnapshot profile_;
};

/// The most pictures per index page a setting may ask for.
inline constexpr int kMaxPicturesPerPage = 100000;

/// The largest side of the display box a setting may ask for.
inline constexpr int kMaxDisplaySide = 4096;

/// The largest box side of detail images a setting may ask for.
inline constexpr int kMaxDetailImageSide = 8192;

/// Reads the run's settings from the settings file of `layoutHome`. Values that cannot be
/// used are reported to `diagnostics` and replaced by their defaults: an InLineFileExt
/// other than "gif", "jpg" or "webp", an InLineQuality outside 1 to 100, a SortOrder that names no order, a PicturesPerPage
/// below 0 or above kMaxPicturesPerPage, an
/// InLinePixelDensity other than 1 or 2, a DetailImageMaxSize below 0 or above
/// kMaxDetailImageSide (which becomes that side), a PageLanguage that is no language tag, an InLineSubDirName that is not a plain folder name (empty, ".", "..",
/// holding "/"), a page extension that is not a plain name or that names pictures or
/// caption files (jpg, jpeg, jpe, gif, txt), and a display side over kMaxDisplaySide
/// (which becomes kMaxDisplaySide). An empty Files/InLineSubDirName becomes "inline"; a key that is present
/// but empty is written back. With `values`, those stand in for the file's, and nothing is
/// written: a look at settings not saved yet.
RunSettings ReadRunSettings(const std::filesystem::path& layout_home, Diagnostics& diagnostics,
                            const SettingsValues* values = nullptr);

/// Makes sure the run has the user's full name: asks until a name is given (a cancelled
/// prompt is answered with a note and asked again) and stores a name given so in the
/// settings file; a failed write is reported to `diagnostics`.
void RequireFullName(RunSettings& settings, UserInterface& ui, Diagnostics& diagnostics);

/// Settings keys that the name table does not hold.
inline constexpr const char* kFilesSection = "Files";
inline constexpr const char* kInLineSubDirNameKey = "InLineSubDirName";
inline constexpr const char* kPictureEditorKey = "PictureEditor";
inline constexpr const char* kInLineQualityKey = "InLineQuality";
inline constexpr const char* kInLinePixelDensityKey = "InLinePixelDensity";
inline constexpr const char* kInLinePaletteKey = "InLinePalette";
inline constexpr const char* kDetailImageMaxSizeKey = "DetailImageMaxSize";
inline constexpr const char* kPageLanguageKey = "PageLanguage";

}  // namespace pix
