#include "site/dirindex.h"

#include <cctype>
#include <filesystem>

#include "files/filelist.h"
#include "files/pattern.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/stringtable.h"
#include "files/utils.h"
#include "site/pictureentry.h"
#include "site/website.h"

namespace pix {
namespace {

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TDirIndexPage::TDirIndexPage(TFileItem& directory, TWebSite& site, TDirIndexPage* parentPage)
    : TWebPage(directory, "index", site, parentPage) {
  TVarArray& array = VarArray();
  // Bound before the directory layers: a directory template that neither globals.txt
  // defines stays empty for the page.
  DirLeaderTemplate.Bind(array, StringTable[idsDirLeaderTemplate]);
  DirEntryTemplate.Bind(array, StringTable[idsDirEntryTemplate]);
  DirTrailerTemplate.Bind(array, StringTable[idsDirTrailerTemplate]);
  array.CopyVarsFrom(site.DirGlobalArray());
  array.ParseVarText(LoadVarFileText("dglobals", directory.szFullFileName()));
  array.SetVar("ParentPageAnchor", "../index." + site.PageHTMLFileExt());
  EnsureInlineDirectory();
}

void TDirIndexPage::EnsureInlineDirectory() {
  std::string inlineDirectory = Directory().szFullFileName();
  AppendWithSep(inlineDirectory, '/', Site().InLineSubDirName());
  if (IsDirectoryPath(inlineDirectory)) return;
  std::error_code error;
  std::filesystem::create_directory(inlineDirectory, error);
  if (error) {
    Site().Report("Cannot create the directory " + inlineDirectory + ": " + error.message());
  }
}

void TDirIndexPage::Generate() {
  VarArray().bMarkChanges = true;
  WriteMatchPages(*this);
  WriteSubDirectoryPages();
  if (DirEntryCountValue > 0) Expand(DirTrailerTemplate.Value(), VarArray());
  for (TFileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (Site().Cancelled()) break;
    if (IsPictureFile(*item) && !IsTaken(*item)) ProcessPicture(*this, *item);
  }
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
}

void TDirIndexPage::WriteSubDirectoryPages() {
  for (TFileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (Site().Cancelled()) return;
    if (!IsSubPageDir(*item)) continue;
    TDirIndexPage subPage(*item, Site(), this);
    subPage.Generate();
    if (subPage.EntryCount() > 0) {
      AddToTotalFileSize(subPage.TotalFileSize());
      const std::string subName(item->szFileName());
      const std::string anchorLink = subName + "/index." + Site().PageHTMLFileExt();
      // The main image of a branch is found however deep it lies.
      const std::string imageLink =
          subPage.MainImageName() ? subName + "/" + *subPage.MainImageName() : std::string();
      SetPictureVars(subPage.VarArray(), "", anchorLink, "", imageLink, "",
                     subPage.PageBaseName(), "", 0, "");
      subPage.SetPageCounters(subPage.VarArray());
      AddDirEntry(subPage.VarArray());
    }
    subPage.Close();
  }
}

void TDirIndexPage::AddDirEntry(const TVarArray& entryArray) {
  if (DirEntryCountValue == 0) {
    EnsurePageOpen();
    Expand(DirLeaderTemplate.Value(), entryArray);
  }
  WriteEntry(DirEntryTemplate.Value(), entryArray);
  ++DirEntryCountValue;
}

TMatchWebPage::TMatchWebPage(TFileItem& directory, const std::string& matchName, TWebSite& site,
                             TDirIndexPage& indexPage)
    : TWebPage(directory, matchName, site, &indexPage), IndexPage(indexPage) {
  TVarArray& array = VarArray();
  szPatterns = LowerCase(GetIniString(StringTable[idsMatchPageSearchStrings], matchName, "", 255));
  array.SetVar("SearchPattern", szPatterns);
  array.CopyVarsFrom(site.MatchGlobalArray());
  array.ParseVarText(LoadVarFileText("mglobals", directory.szFullFileName()));
  array.SetVar("ParentPageAnchor", "index." + site.PageHTMLFileExt());
}

TMatchWebPage::~TMatchWebPage() { Finish(); }

void TMatchWebPage::TakePictures() {
  for (TFileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (Site().Cancelled()) return;
    if (!IsPictureFile(*item) || IndexPage.IsTaken(*item)) continue;
    // "[" and "]" mark the two ends of the name, so a pattern in brackets must match the
    // whole name and one without matches any part of it.
    const std::string bracketed = "[" + LowerCase(std::string(item->szFileName())) + "]";
    TStringTokenList patterns(szPatterns, ',');
    bool matched = false;
    while (std::optional<std::string_view> pattern = patterns.GetNextToken()) {
      if (MatchFileNamePattern(bracketed, "*" + std::string(*pattern) + "*")) {
        matched = true;
        break;
      }
    }
    if (!matched) continue;
    ProcessPicture(*this, *item);
    IndexPage.TakePicture(*item);
  }
}

void TMatchWebPage::Finish() {
  if (bFinished) return;
  bFinished = true;
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
  Close();
}

void WriteMatchPages(TDirIndexPage& indexPage) {
  TWebSite& site = indexPage.Site();
  if (!site.AutoOrganize()) return;
  const std::string names = GetIniString(StringTable[idsAutoOrganizeLayout],
                                         StringTable[idsAutoOrganizeBaseFileNames], "", 16384);
  TStringTokenList list(names, ',');
  int matchedCount = 0;
  while (std::optional<std::string_view> name = list.GetNextToken()) {
    if (site.Cancelled()) return;
    // The catch-all page is made only where another match page already took a picture.
    if (matchedCount == 0 && EqualsNoCase(*name, "miscpics")) break;
    // A match name becomes a file name in the directory; one that would lead elsewhere is
    // not followed.
    if (name->find('/') != std::string_view::npos || *name == "." || *name == "..") {
      site.Report("The match page name \"" + std::string(*name) + "\" cannot be a file name");
      continue;
    }
    TMatchWebPage matchPage(indexPage.Directory(), std::string(*name), site, indexPage);
    matchPage.TakePictures();
    matchedCount += matchPage.FileLinkCount();
    if (matchPage.EntryCount() > 0) {
      SetPictureVars(matchPage.VarArray(), "", matchPage.PageLinkName(), "",
                     matchPage.MainImageName().value_or(std::string()), "", *name, "", 0, "");
      matchPage.SetPageCounters(matchPage.VarArray());
      indexPage.AddDirEntry(matchPage.VarArray());
      indexPage.AddToTotalFileSize(matchPage.TotalFileSize());
    }
    matchPage.Finish();
  }
}

}  // namespace pix
