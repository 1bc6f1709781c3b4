#include "site/dirindex.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/progress.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/pattern.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "files/statmany.h"
#include "files/utils.h"
#include "site/albumzip.h"
#include "site/escape.h"
#include "site/pagepreview.h"
#include "site/pictureentry.h"
#include "site/template.h"
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
    const FolderMarks marks = Site().MarkFolderStart();
    const FolderListing listing = Site().EnterDirectory(*item);
    WriteSubDirectoryPage(*item, listing, marks);
    Site().LeaveDirectory(*item);
  }
}

void DirIndexPage::SetChainKey(const Digest& above, bool above_trusted,
                               const FolderListing& listing) {
  chain_trusted_ = above_trusted && listing.trusted;
  if (!chain_trusted_) return;
  Digester digester;
  digester.Add(above);
  digester.Add(listing.digest);
  digester.Add(VarArray().ContentDigest());
  chain_key_ = digester.Finish();
  // The pages below read this page's heading, which a page edited by hand keeps: such a
  // branch is generated whole.
  if (!listing.leaf) chain_trusted_ = TakesNoHandEdits();
}

std::optional<Digest> DirIndexPage::LeafKeyOf(const DirIndexPage& sub_page,
                                              const FolderListing& listing) const {
  if (!listing.leaf || !sub_page.chain_trusted_) return std::nullopt;
  // The folder's pages expand some values against this page's array (its heading), as it
  // stands when they are written: as it stands now, and once this page has opened.
  Digester digester;
  digester.Add(sub_page.chain_key_);
  digester.Add(VarArray().ContentDigest());
  digester.Add(IsOpen() ? "open" : "not open");
  return digester.Finish();
}

bool DirIndexPage::TakeAsRecorded(const Digest& key, const FolderListing& listing) {
  WebSite& site = Site();
  SiteRecord& record = site.Record();
  const std::string folder = FolderPath();
  const std::optional<RecordedFolder> recorded = record.FindFolder(folder);
  if (!recorded || recorded->key != key) return false;
  std::optional<FolderSummary> summary = ParseFolderSummary(recorded->summary);
  if (!summary) return false;
  // The folder itself first: its stamp tells that nothing was added, removed or renamed
  // in it since its pages were written; then what the run made in it.
  const int folder_fd =
      ::open(Directory().FullFileName().c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder_fd < 0) return false;
  std::vector<std::string> names;
  names.reserve(summary->outputs.size() + 1);
  names.emplace_back(".");
  for (const FolderSummary::Output& output : summary->outputs) names.push_back(output.path);
  const std::vector<PathStatus> statuses = LinkStatusOfMany(folder_fd, names);
  ::close(folder_fd);
  const auto as_noted = [](const PathStatus& status, const FileStamp& stamp, bool is_folder) {
    if (status.error != 0 || stamp.inode == 0) return false;
    if (is_folder ? !S_ISDIR(status.info.st_mode) : !S_ISREG(status.info.st_mode)) return false;
    return StampOf(status.info) == stamp;
  };
  // The top folder holds the record, whose companions come and go with every run: its
  // listing names its pages instead.
  if (!IsTop() && !as_noted(statuses[0], summary->folder_stamp, true)) return false;
  for (std::size_t i = 0; i < summary->outputs.size(); ++i) {
    const FolderSummary::Output& output = summary->outputs[i];
    if (!as_noted(statuses[i + 1], output.stamp, output.kind == OutputKind::kFolder)) return false;
  }
  for (const FolderSummary::Output& output : summary->outputs) {
    record.ConfirmOutput(folder.empty() ? output.path : folder + "/" + output.path);
  }
  for (const FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsSitePicture(*item)) record.ConfirmPicture(site.SitePath(item->FullFileName()));
  }
  record.ConfirmFolder(folder);
  RunStats& stats = site.Stats();
  stats.pictures += summary->pictures;
  stats.pages_unchanged += summary->pages;
  stats.pages_not_expanded += summary->pages;
  stats.inline_reused += summary->inline_images;
  ++stats.folders_unchanged;
  site.progress().StepBy(listing.pictures);
  for (const FeedEntry& entry : summary->feed) site.Feed().Add(entry);
  TakeSummary(*summary);
  album_zip_link_ = std::move(summary->album_zip_link);
  album_zip_name_ = std::move(summary->album_zip_name);
  album_zip_size_ = summary->album_zip_size;
  return true;
}

bool DirIndexPage::FinishSummary(const FolderMarks& marks, FolderSummary& summary,
                                 bool& provisional) const {
  WebSite& site = Site();
  provisional = false;
  // A folder whose generation reported anything is generated, and reported, on every run.
  if (site.Cancelled() || site.MarkFolderStart().problems != marks.problems ||
      ExpansionRunawayCount() != marks.runaways) {
    return false;
  }
  // Stamps too new to trust make the summary provisional: the end of the run settles it,
  // once it has read back what it wrote (WebSite::SettleFolders), or forgets it.
  const std::int64_t settle = site.Record().SettleTimeNs();
  const auto stamp_of = [&](const std::string& path) -> std::optional<FileStamp> {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    const FileStamp stamp = StampOf(info);
    if (SettledStamp(stamp, settle).inode == 0) provisional = true;
    return stamp;
  };
  const std::string& directory = Directory().FullFileName();
  const std::string folder = FolderPath();
  for (auto& [path, output] : site.Record().OutputsSince(folder, marks.outputs)) {
    if (output.keeps_hand_edits) return false;
    FolderSummary::Output noted{folder.empty() ? path : path.substr(folder.size() + 1),
                                output.kind, output.stamp};
    if (output.kind == OutputKind::kFolder) {
      const std::optional<FileStamp> stamp = stamp_of(site.Record().SiteDirectory() / path);
      if (!stamp) return false;
      noted.stamp = *stamp;
    }
    if (noted.stamp.inode == 0) provisional = true;
    summary.outputs.push_back(std::move(noted));
  }
  // A folder that gets no page of its own (an inline folder the run did not make) holds
  // nothing the folder's pages read, unless something is put into it.
  for (const FileItem* item = Directory().FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsDirectory(*item) || IsSubPageDir(*item, site.Names())) continue;
    const std::string name(item->FileName());
    const bool noted = std::any_of(summary.outputs.begin(), summary.outputs.end(),
                                   [&](const FolderSummary::Output& output) {
                                     return output.path == name;
                                   });
    if (noted) continue;
    const std::optional<FileStamp> stamp = stamp_of(item->FullFileName());
    if (!stamp) return false;
    summary.outputs.push_back({name, OutputKind::kFolder, *stamp});
  }
  if (!IsTop()) {
    const std::optional<FileStamp> stamp = stamp_of(directory);
    if (!stamp) return false;
    summary.folder_stamp = *stamp;
  }
  const RunStats& stats = site.Stats();
  summary.pictures = stats.pictures - marks.stats.pictures;
  summary.pages = stats.pages_written + stats.pages_unchanged - marks.stats.pages_written -
                  marks.stats.pages_unchanged;
  summary.inline_images =
      stats.inline_made + stats.inline_reused - marks.stats.inline_made - marks.stats.inline_reused;
  return true;
}

bool DirIndexPage::TakeOrGenerate(const std::optional<Digest>& key, const FolderListing& listing,
                                  FolderSummary& summary, bool& summarized) {
  if (key && TakeAsRecorded(*key, listing)) return true;
  Site().StartPictures(Directory());
  std::vector<Digest> before;
  if (key) before = ItemDigests();
  // The folder's own newest pictures are gathered apart, then handed to the site's feed.
  FeedCollector site_feed = std::exchange(Site().Feed(), FeedCollector());
  Generate();
  summary.feed = Site().Feed().Newest();
  Site().Feed() = std::move(site_feed);
  for (const FeedEntry& entry : summary.feed) Site().Feed().Add(entry);
  // What the page above reads of this page, before it sets its own values here.
  summarized = key && NoteSummary(before, summary);
  summary.album_zip_link = album_zip_link_;
  summary.album_zip_name = album_zip_name_;
  summary.album_zip_size = album_zip_size_;
  return false;
}

void DirIndexPage::NoteFolder(const std::optional<Digest>& key, bool summarized,
                              const FolderMarks& marks, FolderSummary& summary) {
  if (Site().Preview()) return;
  // Noted, so that the next run can take the folder as it is; or forgotten, so that the
  // next run generates it.
  bool provisional = false;
  if (summarized && FinishSummary(marks, summary, provisional)) {
    if (provisional) {
      // The top's key holds the names of its pages, which this run may have written: it is
      // made again from those at the end of the run.
      Site().NoteProvisionalFolder(FolderPath(), *key, summary,
                                   IsTop() ? std::optional<Digest>(chain_key_) : std::nullopt);
    } else {
      Site().Record().RecordFolder(FolderPath(), {*key, FormatFolderSummary(summary)});
    }
  } else {
    Site().Record().ForgetFolder(FolderPath());
  }
}

Digest TopFolderKey(const Digest& chain_key, const Digest& page_names) {
  Digester digester;
  digester.Add("top folder");
  digester.Add(chain_key);
  digester.Add(page_names);
  return digester.Finish();
}

void DirIndexPage::GenerateTop(const FolderListing& listing, const FolderMarks& marks) {
  // The top folder is noted only when it is all the site is: no page lists it. Its own
  // stamp changes with every run (the record is kept there), so its pages are known by
  // their names instead.
  std::optional<Digest> key;
  if (listing.leaf && chain_trusted_) key = TopFolderKey(chain_key_, listing.pages);
  FolderSummary summary;
  bool summarized = false;
  const bool taken = TakeOrGenerate(key, listing, summary, summarized);
  Close();
  if (!taken) NoteFolder(key, summarized, marks, summary);
}

void DirIndexPage::WriteSubDirectoryPage(FileItem& item, const FolderListing& listing,
                                         const FolderMarks& marks) {
  DirIndexPage sub_page(item, Site(), this);
  sub_page.SetChainKey(chain_key_, chain_trusted_, listing);
  const std::optional<Digest> key = LeafKeyOf(sub_page, listing);
  FolderSummary summary;
  bool summarized = false;
  const bool taken = sub_page.TakeOrGenerate(key, listing, summary, summarized);
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
  if (!taken) sub_page.NoteFolder(key, summarized, marks, summary);
}

bool DirIndexPage::IsTop() const { return Directory().Parent() == nullptr; }

std::string DirIndexPage::FolderPath() const {
  return IsTop() ? std::string() : Site().SitePath(Directory().FullFileName());
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
