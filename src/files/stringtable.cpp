#include "files/stringtable.h"

#include <utility>

#include "base/check.h"

namespace pix {
namespace {

// The compiled-in texts by id.
constexpr std::pair<int, const char*> kStrings[] = {
    {idsHTMLDefaults, "HTMLDefaults"},
    {idsPersonFullName, "PersonFullName"},
    {idsEMailAddress, "EMailAddress"},
    {idsDisplay, "Display"},
    {idsMaxDisplayWidth, "MaxDisplayWidth"},
    {idsMaxDisplayHeight, "MaxDisplayHeight"},
    {idsAutoOrganizeLayout, "AutoOrganizeLayout"},
    {idsMinMatchPerPage, "MinMatchPerPage"},
    {idsDoAutoOrganize, "DoAutoOrganize"},
    {idsAutoOrganizeBaseFileNames, "AutoOrganizeBaseFileNames"},
    {idsDeleteHTMLFirst, "DeleteHTMLFirst"},
    {idsPicturesPerGroup, "PicturesPerGroup"},
    {idsFileExtensions, "FileExtensions"},
    {idsAnchorFileExtList, "AnchorFileExtList"},
    {idsInLineFileExt, "InLineFileExt"},
    {idsPageDOSFileExt, "PageDOSFileExt"},
    {idsPageHTMLFileExt, "PageHTMLFileExt"},
    {idsMatchPageSearchStrings, "MatchPageSearchStrings"},
    {idsVariableFileTitle, "VariableFileTitle"},
    {idsVariableFileDescription, "VariableFileDescription"},
    {idsPageHeadTemplate, "PageHeadTemplate"},
    {idsPageIntro, "PageIntro"},
    {idsPageTitle, "PageTitle"},
    {idsPageLabel, "PageLabel"},
    {idsBodyTag, "BodyTag"},
    {idsPageBodyTemplate, "PageBodyTemplate"},
    {idsFileLeaderTemplate, "FileLeaderTemplate"},
    {idsFileEntryTemplate, "FileEntryTemplate"},
    {idsFileTrailerTemplate, "FileTrailerTemplate"},
    {idsGroupLeaderTemplate, "GroupLeaderTemplate"},
    {idsGroupTrailerTemplate, "GroupTrailerTemplate"},
    {idsDirLeaderTemplate, "DirLeaderTemplate"},
    {idsDirEntryTemplate, "DirEntryTemplate"},
    {idsDirTrailerTemplate, "DirTrailerTemplate"},
    {idsPageEndTemplate, "PageEndTemplate"},
    {idsParentPageLabel, "ParentPageLabel"},
    {idsPossibleReturnLabel, "PossibleReturnLabel"},
    {idsImageTag, "ImageTag"},
    {idsDetailPageTemplate, "DetailPageTemplate"},
    {idsDetailPageTitle, "DetailPageTitle"},
    {idsDetailPageLabel, "DetailPageLabel"},
    {idsImageSubjectName, "ImageSubjectName"},
    {idsImagePhotographerName, "ImagePhotographerName"},
    {idsImageDescription, "ImageDescription"},
    {idsSearchDirectory, "SearchDirectory"},
};

TStringTable LoadedTable() {
  TStringTable table;
  table.Load(TStringTable::kDefaultCount);
  return table;
}

}  // namespace

TStringTable StringTable = LoadedTable();

void TStringTable::Load(int count) {
  PIX_CHECK(count >= 0);
  Texts.assign(static_cast<std::size_t>(count), std::nullopt);
  for (const auto& [id, text] : kStrings) {
    if (id < count && *text != '\0') Texts[static_cast<std::size_t>(id)] = text;
  }
}

std::optional<std::string_view> TStringTable::Get(int id) const {
  if (id < 0 || id >= Count() || !Texts[static_cast<std::size_t>(id)]) return std::nullopt;
  return std::string_view(*Texts[static_cast<std::size_t>(id)]);
}

std::string_view TStringTable::operator[](int id) const {
  std::optional<std::string_view> text = Get(id);
  PIX_CHECK(text.has_value());
  return *text;
}

}  // namespace pix
