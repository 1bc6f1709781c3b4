// The name table: section, key and variable names by number.
//
// Code names settings sections, settings keys and template variables by id, so that one
// table holds every external name. The texts are compiled in; ids without a text hold none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pix {

enum StringId : int {
  idsHTMLDefaults = 1,
  idsPersonFullName = 3,
  idsEMailAddress = 4,
  idsDisplay = 5,
  idsMaxDisplayWidth = 11,
  idsMaxDisplayHeight = 12,
  idsAutoOrganizeLayout = 14,
  idsMinMatchPerPage = 16,
  idsDoAutoOrganize = 17,
  idsAutoOrganizeBaseFileNames = 18,
  idsDeleteHTMLFirst = 19,
  idsPicturesPerGroup = 20,
  idsFileExtensions = 21,
  idsAnchorFileExtList = 22,
  idsInLineFileExt = 23,
  idsPageDOSFileExt = 24,
  idsPageHTMLFileExt = 25,
  idsMatchPageSearchStrings = 30,
  // Template variable names, 60 to 85 in this order.
  idsVariableFileTitle = 60,
  idsVariableFileDescription,
  idsPageHeadTemplate,
  idsPageIntro,
  idsPageTitle,
  idsPageLabel,
  idsBodyTag,
  idsPageBodyTemplate,
  idsFileLeaderTemplate,
  idsFileEntryTemplate,
  idsFileTrailerTemplate,
  idsGroupLeaderTemplate,
  idsGroupTrailerTemplate,
  idsDirLeaderTemplate,
  idsDirEntryTemplate,
  idsDirTrailerTemplate,
  idsPageEndTemplate,
  idsParentPageLabel,
  idsPossibleReturnLabel,
  idsImageTag,
  idsDetailPageTemplate,
  idsDetailPageTitle,
  idsDetailPageLabel,
  idsImageSubjectName,
  idsImagePhotographerName,
  idsImageDescription,
  idsSearchDirectory = 86,
};

class TStringTable {
 public:
  /// The number of ids the program loads.
  static constexpr int kDefaultCount = 200;

  /// Fills the table with the texts of ids 0 to count - 1.
  void Load(int count);

  int Count() const { return static_cast<int>(Texts.size()); }

  /// The text of `id`, or nothing for an id without text or outside the table.
  std::optional<std::string_view> Get(int id) const;

  /// The text of `id`; an id without text is an internal error.
  std::string_view operator[](int id) const;

 private:
  std::vector<std::optional<std::string>> Texts;
};

/// The program's one name table, loaded before main runs.
extern TStringTable StringTable;

}  // namespace pix
