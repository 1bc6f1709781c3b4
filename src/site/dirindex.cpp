#include "site/dirindex.h"

#include <cctype>
#include <filesystem>
#include <vector>

#include "files/filelist.h"
#include "files/names.h"
#include "files/pattern.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "files/utils.h"
#include "site/escape.h"
#include "site/pictureentry.h"
#include "site/website.h"

namespace pix {
TDirIndexPage::TDirIndexPage(FileItem& directory, TWebSite& site, TDirIndexPage* parentPage)
    : TWebPage(directory, "index", site, parentPage) {
  TVarArray& array = VarArray();
  // Bound before the directory layers: a directory template that neither globals.txt
  // defines stays empty for the page.
  DirLeaderTemplate.Bind(array, kDirLeaderTemplate);
  DirEntryTemplate.Bind(array, kDirEntryTemplate);
  DirTrailerTemplate.Bind(array, kDirTrailerTemplate);
  array.CopyVarsFrom(site.DirGlobalArray());
  array.ParseVarText(LoadVarFileText("dglobals", directory.szFullFileName(), &site.diagnostics()));
  array.SetVar("ParentPageAnchor", "../index." + site.Names().page_html_file_ext);
  EnsureInlineDirectory();
}

void TDirIndexPage::EnsureInlineDirectory() {
  // A folder of the user's holds the name (reported when the tree was settled).
  if (Directory().HasNoInlineFolder()) return;
  const std::string inlineDirectory =
      InlineDirectoryOf(Directory().szFullFileName(), Site().Names());
  const Status made = Site().EnsureOutputFolder(inlineDirectory);
  if (!made.ok()) Site().Report(made.message());
}

void TDirIndexPage::Generate() {
  VarArray().bMarkChanges = true;
  WriteMatchPages(*this);
  WriteSubDirectoryPages();
  if (DirEntryCountValue > 0) Expand(DirTrailerTemplate.Value(), VarArray());
  std::vector<const FileItem*> pictures;
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsSitePicture(*item) && !IsTaken(*item)) pictures.push_back(item);
  }
  ProcessPictures(*this, pictures);
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
}

void TDirIndexPage::WriteSubDirectoryPages() {
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (Site().Cancelled()) return;
    if (!IsSubPageDir(*item, Site().Names())) continue;
    TDirIndexPage subPage(*item, Site(), this);
    subPage.Generate();
    if (subPage.EntryCount() > 0) {
      AddToTotalFileSize(subPage.TotalFileSize());
      AddToTotalFileLinkCount(subPage.TotalFileLinkCount());
      const std::string subName(item->szFileName());
      const std::string anchorLink = subName + "/index." + Site().Names().page_html_file_ext;
      // The main image of a branch is found however deep it lies.
      const std::string imageLink =
          subPage.MainImageName() ? subName + "/" + *subPage.MainImageName() : std::string();
      TPictureEntryVars vars;
      vars.AnchorName = anchorLink;
      vars.InlineLink = imageLink;
      vars.BaseName = subPage.PageBaseName();
      SetPictureVars(subPage.VarArray(), vars);
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

TMatchWebPage::TMatchWebPage(FileItem& directory, const std::string& matchName, TWebSite& site,
                             TDirIndexPage& indexPage)
    : TWebPage(directory, matchName, site, &indexPage), IndexPage(indexPage) {
  TVarArray& array = VarArray();
  szPatterns = LowerCase(site.Settings().MatchPageSearchString(matchName));
  array.SetVar("SearchPattern", szPatterns);
  // Picture names are the user's: "<!--01.jpg" must not open a comment in the page.
  array.SetVar("SearchPatternHTML", HtmlEscape(szPatterns));
  array.CopyVarsFrom(site.MatchGlobalArray());
  array.ParseVarText(LoadVarFileText("mglobals", directory.szFullFileName(), &site.diagnostics()));
  array.SetVar("ParentPageAnchor", "index." + site.Names().page_html_file_ext);
}

TMatchWebPage::~TMatchWebPage() { Finish(); }

void TMatchWebPage::TakePictures() {
  std::vector<const FileItem*> pictures;
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsSitePicture(*item) || IndexPage.IsTaken(*item)) continue;
    // "[" and "]" mark the two ends of the name, so a pattern in brackets must match the
    // whole name and one without matches any part of it.
    const std::string bracketed = "[" + LowerCase(std::string(item->szFileName())) + "]";
    StringTokenList patterns(szPatterns, ',');
    bool matched = false;
    while (std::optional<std::string_view> pattern = patterns.GetNextToken()) {
      if (MatchFileNamePattern(bracketed, "*" + std::string(*pattern) + "*")) {
        matched = true;
        break;
      }
    }
    if (!matched) continue;
    pictures.push_back(item);
    IndexPage.TakePicture(*item);
  }
  // A readable name for the series: its first and last pictures' names.
  if (!pictures.empty()) {
    const PictureFiles first = PictureFilesOf(*pictures.front(), Site().Names());
    const PictureFiles last = PictureFilesOf(*pictures.back(), Site().Names());
    std::string range = HtmlEscape(first.base_name);
    if (pictures.size() > 1) range += " &ndash; " + HtmlEscape(last.base_name);
    // A page value, not one of a picture's marked changes that the next picture undoes.
    const bool marking = VarArray().bMarkChanges;
    VarArray().bMarkChanges = false;
    VarArray().SetVar("SeriesNameRangeHTML", range);
    VarArray().bMarkChanges = marking;
  }
  ProcessPictures(*this, pictures);
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
  const std::string& names = site.Settings().auto_organize_base_file_names;
  StringTokenList list(names, ',');
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
      const std::string mainImage = matchPage.MainImageName().value_or(std::string());
      TPictureEntryVars vars;
      vars.AnchorName = matchPage.PageLinkName();
      vars.InlineLink = mainImage;
      vars.BaseName = *name;
      SetPictureVars(matchPage.VarArray(), vars);
      matchPage.SetPageCounters(matchPage.VarArray());
      indexPage.AddDirEntry(matchPage.VarArray());
      indexPage.AddToTotalFileSize(matchPage.TotalFileSize());
      indexPage.AddToTotalFileLinkCount(matchPage.TotalFileLinkCount());
    }
    matchPage.Finish();
  }
}

}  // namespace pix
