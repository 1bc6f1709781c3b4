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
#include "site/albumzip.h"
#include "site/escape.h"
#include "site/pagepreview.h"
#include "site/pictureentry.h"
#include "site/website.h"

namespace pix {
namespace {

// A srcset of links relative to a sub-folder, as its parent folder's page links them:
// "inline/1x/B.jpg 1x, inline/B.jpg 2x" below "trip" gives "trip/inline/1x/B.jpg 1x,
// trip/inline/B.jpg 2x".
std::string SrcSetBelow(const std::string& folder_url, const std::string& srcset) {
  std::string result;
  for (std::size_t start = 0; start < srcset.size();) {
    std::size_t end = srcset.find(", ", start);
    if (end == std::string::npos) end = srcset.size();
    if (!result.empty()) result += ", ";
    result += folder_url + "/" + srcset.substr(start, end - start);
    start = end + 2;
  }
  return result;
}

}  // namespace

std::string NumberedPageBaseName(const std::string& first_page, int page_number) {
  return page_number <= 1 ? first_page : first_page + "-" + std::to_string(page_number);
}

std::string IndexPageBaseName(int page_number) {
  return NumberedPageBaseName("index", page_number);
}

void SetPageNumberVars(WebPage& page, const std::string& first_page, int page_number,
                       int page_count) {
  VariableList& array = page.VarArray();
  const bool marking = array.mark_changes;
  array.mark_changes = false;
  const bool split = page_count > 1;
  const std::string dot_ext = "." + page.Site().Names().page_html_file_ext;
  array.SetVar("PageNumber", split ? std::to_string(page_number) : std::string());
  array.SetVar("PageCount", split ? std::to_string(page_count) : std::string());
  array.SetVar("PreviousIndexPageURL",
               split && page_number > 1
                   ? UrlEncodePath(NumberedPageBaseName(first_page, page_number - 1) + dot_ext)
                   : std::string());
  array.SetVar("NextIndexPageURL",
               split && page_number < page_count
                   ? UrlEncodePath(NumberedPageBaseName(first_page, page_number + 1) + dot_ext)
                   : std::string());
  array.mark_changes = marking;
}

DirIndexPage::DirIndexPage(FileItem& directory, WebSite& site, DirIndexPage* parent_page,
                           int page_number)
    : WebPage(directory, IndexPageBaseName(page_number), site, parent_page),
      parent_page_(parent_page) {
  VariableList& array = VarArray();
  // Bound before the directory layers: a directory template that neither globals.txt
  // defines stays empty for the page.
  dir_leader_template_.Bind(array, kDirLeaderTemplate);
  dir_entry_template_.Bind(array, kDirEntryTemplate);
  dir_trailer_template_.Bind(array, kDirTrailerTemplate);
  array.CopyVarsFrom(site.DirGlobalArray());
  array.ParseVarText(site.LayoutFileText("dglobals", directory.FullFileName()));
  array.SetVar("ParentPageAnchor", "../index." + site.Names().page_html_file_ext);
  if (page_number <= 1) {
    EnsureInlineDirectory();
  } else {
    MarkIndexContinuation();
  }
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
  std::vector<const FileItem*> items;
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsSitePicture(*item)) items.push_back(item);
  }
  PictureList pictures(Site(), items);
  if (Site().Settings().album_zip) SettleAlbumZipOf(pictures);
  SetAlbumZipVars(*this);
  std::vector<bool> taken(pictures.size(), false);
  const std::vector<MatchPlan> plans = PlanMatchPages(Site(), pictures, taken);
  std::vector<std::size_t> own;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    if (!taken[i]) own.push_back(i);
  }
  // The split is known before anything is written, so that the first page's head can
  // already link to the second.
  std::vector<std::size_t> starts = pictures.PageStarts(own, Site().Settings().pictures_per_page);
  starts.push_back(own.size());
  const int page_count = static_cast<int>(starts.size()) - 1;
  SetPageNumberVars(*this, "index", 1, page_count);

  WriteMatchPages(*this, pictures, plans);
  WriteSubDirectoryPages();
  if (dir_entry_count_ > 0) Expand(dir_trailer_template_.Value(), VarArray());
  PictureNeighbours around;
  around.count = static_cast<int>(own.size());
  pictures.Write(*this, own, starts[0], starts[1], around);
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
  for (int page = 2; page <= page_count && !Site().Cancelled(); ++page) {
    DirIndexPage more(Directory(), Site(), parent_page_, page);
    SetPageNumberVars(more, "index", page, page_count);
    SetAlbumZipVars(more);
    more.VarArray().mark_changes = true;
    pictures.Write(more, own, starts[page - 1], starts[page], around);
    if (more.FileLinkCount() > 0) more.WriteFileTrailer(more.VarArray());
    more.Close();
    // The directory is listed above with all its pictures.
    AddToTotalFileSize(more.TotalFileSize());
    AddToTotalFileLinkCount(more.FileLinkCount());
  }
}

void DirIndexPage::WriteSubDirectoryPages() {
  for (FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (Site().Cancelled()) return;
    if (!IsSubPageDir(*item, Site().Names())) continue;
    // A preview walks only the branches its page shows.
    if (Site().Preview() &&
        !Site().Preview()->NeedsBranch(Directory().FullFileName(), item->FullFileName())) {
      continue;
    }
    // The folder is listed before its page is made (which makes its inline folder) and
    // forgotten once the page is finished.
    Site().EnterDirectory(*item);
    WriteSubDirectoryPage(*item);
    Site().LeaveDirectory(*item);
  }
}

void DirIndexPage::WriteSubDirectoryPage(FileItem& item) {
  DirIndexPage sub_page(item, Site(), this);
  sub_page.Generate();
  if (sub_page.EntryCount() > 0) {
    AddToTotalFileSize(sub_page.TotalFileSize());
    AddToTotalFileLinkCount(sub_page.TotalFileLinkCount());
    const std::string sub_name(item.FileName());
    const std::string anchor_link = sub_name + "/index." + Site().Names().page_html_file_ext;
    // The main image of a branch is found however deep it lies.
    const std::string image_link =
        sub_page.MainImageName() ? sub_name + "/" + *sub_page.MainImageName() : std::string();
    PictureEntryVars vars;
    vars.anchor_name = anchor_link;
    vars.inline_link = image_link;
    vars.base_name = sub_page.PageBaseName();
    SetPictureVars(sub_page.VarArray(), vars);
    // The cover's 1x and 2x images, as this page links them.
    sub_page.VarArray().SetVar("ImageSrcSet",
                               SrcSetBelow(UrlEncodePath(sub_name), sub_page.MainImageSrcSet()));
    // The branch's zip, as this page links it.
    if (!sub_page.album_zip_link_.empty()) {
      sub_page.VarArray().SetVar("AlbumZipURL",
                                 UrlEncodePath(sub_name + "/" + sub_page.album_zip_link_));
    }
    sub_page.SetPageCounters(sub_page.VarArray());
    AddDirEntry(sub_page.VarArray());
    // The sub-directory's own page ends with its own link.
    sub_page.SetAlbumZipVars(sub_page);
  }
  sub_page.Close();
}

void DirIndexPage::SettleAlbumZipOf(PictureList& pictures) {
  if (Directory().HasNoInlineFolder()) return;
  // Every picture of the folder, match pages' too: the album is the folder. Learning them
  // all now makes their detail images before the first page is written, so that the pages
  // can already say how large the zip is.
  std::vector<AlbumMember> members;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    if (Site().Cancelled()) return;
    if (std::optional<std::string> detail = pictures.DetailImagePath(i)) {
      AlbumMember member;
      member.name = detail->substr(detail->rfind('/') + 1);
      member.path = std::move(*detail);
      members.push_back(std::move(member));
    }
  }
  if (members.empty()) return;
  std::string name = std::filesystem::path(Directory().FullFileName()).filename().string();
  if (name.empty()) name = "pictures";
  name += ".zip";
  const std::string zip_path =
      InlineDirectoryOf(Directory().FullFileName(), Site().Names()) + "/" + name;
  Status status;
  // A preview makes no zip: its pages link the one a run made, if any.
  if (Site().Preview()) {
    std::error_code missing;
    if (!std::filesystem::is_regular_file(zip_path, missing)) return;
  } else if (SettleAlbumZip(Site(), zip_path, members, status) == AlbumZipState::kRefused) {
    Site().Report("Cannot make the album zip " + zip_path + ": " + status.message());
    return;
  }
  album_zip_link_ = Site().Names().in_line_sub_dir_name + "/" + name;
  album_zip_name_ = name;
  std::error_code error;
  album_zip_size_ = std::filesystem::file_size(zip_path, error);
  if (error) album_zip_size_ = 0;
}

void DirIndexPage::SetAlbumZipVars(WebPage& page) const {
  VariableList& array = page.VarArray();
  const bool marking = array.mark_changes;
  array.mark_changes = false;
  const bool zip = !album_zip_link_.empty();
  array.SetVar("AlbumZipURL", zip ? UrlEncodePath(album_zip_link_) : std::string());
  array.SetVar("AlbumZipFileNameHTML", zip ? HtmlEscape(album_zip_name_) : std::string());
  array.SetVar("AlbumZipSizeInK", zip ? std::to_string(album_zip_size_ / 1024) : std::string());
  array.mark_changes = marking;
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
                           DirIndexPage& index_page, int page_number)
    : WebPage(directory, NumberedPageBaseName(match_name, page_number), site, &index_page) {
  VariableList& array = VarArray();
  const std::string patterns = LowerCase(site.Settings().MatchPageSearchString(match_name));
  array.SetVar("SearchPattern", patterns);
  // Picture names are the user's: "<!--01.jpg" must not open a comment in the page.
  array.SetVar("SearchPatternHTML", HtmlEscape(patterns));
  array.CopyVarsFrom(site.MatchGlobalArray());
  array.ParseVarText(site.LayoutFileText("mglobals", directory.FullFileName()));
  array.SetVar("ParentPageAnchor", "index." + site.Names().page_html_file_ext);
}

MatchWebPage::~MatchWebPage() { Finish(); }

void MatchWebPage::WritePictures(PictureList& pictures, const MatchPlan& plan,
                                 std::size_t begin, std::size_t end,
                                 PictureNeighbours& around) {
  // A readable name for the series: its first and last pictures' names.
  if (!plan.pictures.empty()) {
    const PictureFiles first = PictureFilesOf(pictures.Item(plan.pictures.front()), Site().Names());
    const PictureFiles last = PictureFilesOf(pictures.Item(plan.pictures.back()), Site().Names());
    std::string range = HtmlEscape(first.base_name);
    if (plan.pictures.size() > 1) range += " &ndash; " + HtmlEscape(last.base_name);
    // A page value, not one of a picture's marked changes that the next picture undoes.
    const bool marking = VarArray().mark_changes;
    VarArray().mark_changes = false;
    VarArray().SetVar("SeriesNameRangeHTML", range);
    VarArray().mark_changes = marking;
  }
  VarArray().mark_changes = true;
  pictures.Write(*this, plan.pictures, begin, end, around);
}

void MatchWebPage::Finish() {
  if (finished_) return;
  finished_ = true;
  if (FileLinkCount() > 0) WriteFileTrailer(VarArray());
  Close();
}

std::vector<MatchPlan> PlanMatchPages(WebSite& site, PictureList& pictures,
                                      std::vector<bool>& taken) {
  std::vector<MatchPlan> plans;
  if (!site.AutoOrganize()) return plans;
  StringTokenList list(site.Settings().auto_organize_base_file_names, ',');
  // Whether a page planned so far took a picture that will get an entry; looked at only
  // when the catch-all page comes.
  auto took_readable = [&] {
    for (const MatchPlan& plan : plans) {
      for (const std::size_t position : plan.pictures) {
        if (pictures.Readable(position)) return true;
      }
    }
    return false;
  };
  while (std::optional<std::string_view> name = list.GetNextToken()) {
    // The catch-all page is made only where another match page already took a picture.
    if (EqualsNoCase(*name, "miscpics") && !took_readable()) break;
    // A match name becomes a file name in the directory; one that would lead elsewhere is
    // not followed.
    if (name->find('/') != std::string_view::npos || *name == "." || *name == "..") {
      site.Report("The match page name \"" + std::string(*name) + "\" cannot be a file name");
      continue;
    }
    MatchPlan plan;
    plan.name = std::string(*name);
    const std::string patterns = LowerCase(site.Settings().MatchPageSearchString(plan.name));
    for (std::size_t i = 0; i < pictures.size(); ++i) {
      if (taken[i]) continue;
      // "[" and "]" mark the two ends of the name, so a pattern in brackets must match the
      // whole name and one without matches any part of it.
      const std::string bracketed = "[" + LowerCase(std::string(pictures.Item(i).FileName())) + "]";
      StringTokenList tokens(patterns, ',');
      while (std::optional<std::string_view> pattern = tokens.GetNextToken()) {
        if (MatchFileNamePattern(bracketed, "*" + std::string(*pattern) + "*")) {
          plan.pictures.push_back(i);
          taken[i] = true;
          break;
        }
      }
    }
    if (!plan.pictures.empty()) plans.push_back(std::move(plan));
  }
  return plans;
}

void WriteMatchPages(DirIndexPage& index_page, PictureList& pictures,
                     const std::vector<MatchPlan>& plans) {
  WebSite& site = index_page.Site();
  for (const MatchPlan& plan : plans) {
    if (site.Cancelled()) return;
    std::vector<std::size_t> starts =
        pictures.PageStarts(plan.pictures, site.Settings().pictures_per_page);
    starts.push_back(plan.pictures.size());
    const int page_count = static_cast<int>(starts.size()) - 1;
    PictureNeighbours around;
    around.count = static_cast<int>(plan.pictures.size());
    MatchWebPage match_page(index_page.Directory(), plan.name, site, index_page);
    SetPageNumberVars(match_page, plan.name, 1, page_count);
    index_page.SetAlbumZipVars(match_page);
    match_page.WritePictures(pictures, plan, starts[0], starts[1], around);
    for (int page = 2; page <= page_count && !site.Cancelled(); ++page) {
      MatchWebPage more(index_page.Directory(), plan.name, site, index_page, page);
      SetPageNumberVars(more, plan.name, page, page_count);
      index_page.SetAlbumZipVars(more);
      more.WritePictures(pictures, plan, starts[page - 1], starts[page], around);
      more.Finish();
      // The series is listed on the index page with all its pictures.
      match_page.AddToTotalFileSize(more.TotalFileSize());
      match_page.AddToTotalFileLinkCount(more.FileLinkCount());
    }
    if (match_page.EntryCount() > 0) {
      const std::string main_image = match_page.MainImageName().value_or(std::string());
      PictureEntryVars vars;
      vars.anchor_name = match_page.PageLinkName();
      vars.inline_link = main_image;
      vars.base_name = plan.name;
      SetPictureVars(match_page.VarArray(), vars);
      match_page.VarArray().SetVar("ImageSrcSet", match_page.MainImageSrcSet());
      match_page.SetPageCounters(match_page.VarArray());
      index_page.AddDirEntry(match_page.VarArray());
      index_page.AddToTotalFileSize(match_page.TotalFileSize());
      index_page.AddToTotalFileLinkCount(match_page.TotalFileLinkCount());
    }
    match_page.Finish();
  }
}

}  // namespace pix
