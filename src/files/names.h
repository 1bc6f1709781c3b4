// The external names the program reads and writes: settings sections, settings keys and
// template variables. Users and their files depend on them, so they stay exactly as they
// are; code names them by these constants, never by hand-typed text.
#pragma once

#include <string_view>

namespace pix {

inline constexpr std::string_view kHTMLDefaults = "HTMLDefaults";
inline constexpr std::string_view kPersonFullName = "PersonFullName";
inline constexpr std::string_view kEMailAddress = "EMailAddress";
inline constexpr std::string_view kDisplay = "Display";
inline constexpr std::string_view kMaxDisplayWidth = "MaxDisplayWidth";
inline constexpr std::string_view kMaxDisplayHeight = "MaxDisplayHeight";
inline constexpr std::string_view kAutoOrganizeLayout = "AutoOrganizeLayout";
inline constexpr std::string_view kMinMatchPerPage = "MinMatchPerPage";
inline constexpr std::string_view kDoAutoOrganize = "DoAutoOrganize";
inline constexpr std::string_view kAutoOrganizeBaseFileNames = "AutoOrganizeBaseFileNames";
inline constexpr std::string_view kDeleteHTMLFirst = "DeleteHTMLFirst";
inline constexpr std::string_view kPicturesPerGroup = "PicturesPerGroup";
inline constexpr std::string_view kFileExtensions = "FileExtensions";
inline constexpr std::string_view kAnchorFileExtList = "AnchorFileExtList";
inline constexpr std::string_view kInLineFileExt = "InLineFileExt";
inline constexpr std::string_view kPageDOSFileExt = "PageDOSFileExt";
inline constexpr std::string_view kPageHTMLFileExt = "PageHTMLFileExt";
inline constexpr std::string_view kMatchPageSearchStrings = "MatchPageSearchStrings";
inline constexpr std::string_view kVariableFileTitle = "VariableFileTitle";
inline constexpr std::string_view kVariableFileDescription = "VariableFileDescription";
inline constexpr std::string_view kPageHeadTemplate = "PageHeadTemplate";
inline constexpr std::string_view kPageIntro = "PageIntro";
inline constexpr std::string_view kPageTitle = "PageTitle";
inline constexpr std::string_view kPageLabel = "PageLabel";
inline constexpr std::string_view kBodyTag = "BodyTag";
inline constexpr std::string_view kPageBodyTemplate = "PageBodyTemplate";
inline constexpr std::string_view kFileLeaderTemplate = "FileLeaderTemplate";
inline constexpr std::string_view kFileEntryTemplate = "FileEntryTemplate";
inline constexpr std::string_view kFileTrailerTemplate = "FileTrailerTemplate";
inline constexpr std::string_view kGroupLeaderTemplate = "GroupLeaderTemplate";
inline constexpr std::string_view kGroupTrailerTemplate = "GroupTrailerTemplate";
inline constexpr std::string_view kDirLeaderTemplate = "DirLeaderTemplate";
inline constexpr std::string_view kDirEntryTemplate = "DirEntryTemplate";
inline constexpr std::string_view kDirTrailerTemplate = "DirTrailerTemplate";
inline constexpr std::string_view kPageEndTemplate = "PageEndTemplate";
inline constexpr std::string_view kParentPageLabel = "ParentPageLabel";
inline constexpr std::string_view kPossibleReturnLabel = "PossibleReturnLabel";
inline constexpr std::string_view kImageTag = "ImageTag";
inline constexpr std::string_view kDetailPageTemplate = "DetailPageTemplate";
inline constexpr std::string_view kDetailPageTitle = "DetailPageTitle";
inline constexpr std::string_view kDetailPageLabel = "DetailPageLabel";
inline constexpr std::string_view kImageSubjectName = "ImageSubjectName";
inline constexpr std::string_view kImagePhotographerName = "ImagePhotographerName";
inline constexpr std::string_view kImageDescription = "ImageDescription";
inline constexpr std::string_view kSearchDirectory = "SearchDirectory";
inline constexpr std::string_view kPages = "Pages";
inline constexpr std::string_view kSortOrder = "SortOrder";
inline constexpr std::string_view kPicturesPerPage = "PicturesPerPage";
inline constexpr std::string_view kBodyEndTag = "BodyEndTag";
inline constexpr std::string_view kAlbumZip = "AlbumZip";
inline constexpr std::string_view kMapLinks = "MapLinks";
inline constexpr std::string_view kSiteURL = "SiteURL";

}  // namespace pix
