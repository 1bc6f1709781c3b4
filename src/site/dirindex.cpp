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
DirIndexPage::DirIndexPage(FileItem& directory, WebSite& site, DirIndexPage* parent_page)
    : WebPage(directory, "index", site, parent_page) {
  VariableList& array = VarArray();
  // Bound before the directory layers: a directory template that neither globals.txt
  // defines stays empty for the page.
  dir_leader_template_.Bind(array, kDirLeaderTemplate);
  dir_entry_template_.Bind(array, kDirEntryTemplate);
  dir_trailer_template_.Bind(array, kDirTrailerTemplate);
  array.CopyVarsFrom(site.DirGlobalArray());
  array.ParseVarText(LoadVarFileText("dglobals", directory.FullFileName(), &site.diagnostics()));
  array.SetVar("ParentPageAnchor", "../index." + site.Names().page_html_file_ext);
  EnsureInlineDirectory();
}

void DirIndexPage::EnsureInlineDirectory() {
  // A folder of the user's holds the name (reported when the tree was settled).
  if (Directory().HasNoInlineFolder()) return;
  const std::string inline_directory =
      InlineDirectoryOf(Directory().FullFileName(), Site().Names());
  const Status made = Site().EnsureOutputFolder(inline_directory);
  if (!made.ok()) Site().Report(made.message());
}

void DirIndexPage::Generate() {
  VarArray().mark_changes = true;
  WriteMatchPages(*this);
  WriteSubDirectoryPages();
  if (dir_entry_count_ > 0) Expand(dir_trailer_template_.Value(), VarArray());
  std::vector<const FileItem*> pictures;
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsSitePicture(*item) && !IsTaken(*item)) pictures.push_back(item);
  }
  ProcessPictures(*this, pictures);
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
}

void DirIndexPage::WriteSubDirectoryPages() {
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (Site().Cancelled()) return;
    if (!IsSubPageDir(*item, Site().Names())) continue;
    DirIndexPage sub_page(*item, Site(), this);
    sub_page.Generate();
    if (sub_page.EntryCount() > 0) {
      AddToTotalFileSize(sub_page.TotalFileSize());
      AddToTotalFileLinkCount(sub_page.TotalFileLinkCount());
      const std::string sub_name(item->FileName());
      const std::string anchor_link = sub_name + "/index." + Site().Names().page_html_file_ext;
      // The main image of a branch is found however deep it lies.
      const std::string image_link =
          sub_page.MainImageName() ? sub_name + "/" + *sub_page.MainImageName() : std::string();
      PictureEntryVars vars;
      vars.anchor_name = anchor_link;
      vars.inline_link = image_link;
      vars.base_name = sub_page.PageBaseName();
      SetPictureVars(sub_page.VarArray(), vars);
      sub_page.SetPageCounters(sub_page.VarArray());
      AddDirEntry(sub_page.VarArray());
    }
    sub_page.Close();
  }
}

void DirIndexPage::AddDirEntry(const VariableList& entry_array) {
  if (dir_entry_count_ == 0) {
    EnsurePageOpen();
    Expand(dir_leader_template_.Value(), entry_array);
  }
  WriteEntry(dir_entry_template_.Value(), entry_array);
  ++dir_entry_count_;
}

MatchWebPage::MatchWebPage(FileItem& directory, const std::string& match_name, WebSite& site,
                             DirIndexPage& index_page)
    : WebPage(directory, match_name, site, &index_page), index_page_(index_page) {
  VariableList& array = VarArray();
  patterns_ = LowerCase(site.Settings().MatchPageSearchString(match_name));
  array.SetVar("SearchPattern", patterns_);
  // Picture names are the user's: "<!--01.jpg" must not open a comment in the page.
  array.SetVar("SearchPatternHTML", HtmlEscape(patterns_));
  array.CopyVarsFrom(site.MatchGlobalArray());
  array.ParseVarText(LoadVarFileText("mglobals", directory.FullFileName(), &site.diagnostics()));
  array.SetVar("ParentPageAnchor", "index." + site.Names().page_html_file_ext);
}

MatchWebPage::~MatchWebPage() { Finish(); }

void MatchWebPage::TakePictures() {
  std::vector<const FileItem*> pictures;
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsSitePicture(*item) || index_page_.IsTaken(*item)) continue;
    // "[" and "]" mark the two ends of the name, so a pattern in brackets must match the
    // whole name and one without matches any part of it.
    const std::string bracketed = "[" + LowerCase(std::string(item->FileName())) + "]";
    StringTokenList patterns(patterns_, ',');
    bool matched = false;
    while (std::optional<std::string_view> pattern = patterns.GetNextToken()) {
      if (MatchFileNamePattern(bracketed, "*" + std::string(*pattern) + "*")) {
        matched = true;
        break;
      }
    }
    if (!matched) continue;
    pictures.push_back(item);
    index_page_.TakePicture(*item);
  }
  // A readable name for the series: its first and last pictures' names.
  if (!pictures.empty()) {
    const PictureFiles first = PictureFilesOf(*pictures.front(), Site().Names());
    const PictureFiles last = PictureFilesOf(*pictures.back(), Site().Names());
    std::string range = HtmlEscape(first.base_name);
    if (pictures.size() > 1) range += " &ndash; " + HtmlEscape(last.base_name);
    // A page value, not one of a picture's marked changes that the next picture undoes.
    const bool marking = VarArray().mark_changes;
    VarArray().mark_changes = false;
    VarArray().SetVar("SeriesNameRangeHTML", range);
    VarArray().mark_changes = marking;
  }
  ProcessPictures(*this, pictures);
}

void MatchWebPage::Finish() {
  if (finished_) return;
  finished_ = true;
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
  Close();
}

void WriteMatchPages(DirIndexPage& index_page) {
  WebSite& site = index_page.Site();
  if (!site.AutoOrganize()) return;
  const std::string& names = site.Settings().auto_organize_base_file_names;
  StringTokenList list(names, ',');
  int matched_count = 0;
  while (std::optional<std::string_view> name = list.GetNextToken()) {
    if (site.Cancelled()) return;
    // The catch-all page is made only where another match page already took a picture.
    if (matched_count == 0 && EqualsNoCase(*name, "miscpics")) break;
    // A match name becomes a file name in the directory; one that would lead elsewhere is
    // not followed.
    if (name->find('/') != std::string_view::npos || *name == "." || *name == "..") {
      site.Report("The match page name \"" + std::string(*name) + "\" cannot be a file name");
      continue;
    }
    MatchWebPage match_page(index_page.Directory(), std::string(*name), site, index_page);
    match_page.TakePictures();
    matched_count += match_page.FileLinkCount();
    if (match_page.EntryCount() > 0) {
      const std::string main_image = match_page.MainImageName().value_or(std::string());
      PictureEntryVars vars;
      vars.anchor_name = match_page.PageLinkName();
      vars.inline_link = main_image;
      vars.base_name = *name;
      SetPictureVars(match_page.VarArray(), vars);
      match_page.SetPageCounters(match_page.VarArray());
      index_page.AddDirEntry(match_page.VarArray());
      index_page.AddToTotalFileSize(match_page.TotalFileSize());
      index_page.AddToTotalFileLinkCount(match_page.TotalFileLinkCount());
    }
    match_page.Finish();
  }
}

}  // namespace pix
