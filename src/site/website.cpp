#include "site/website.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "base/safefile.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "files/utils.h"
#include "picture/decjpeg.h"
#include "picture/gifrsize.h"
#include "picture/versions.h"
#include "picture/webimage.h"
#include "site/dirindex.h"
#include "site/escape.h"
#include "site/foldersummary.h"
#include "site/inlinepool.h"
#include "site/pagepreview.h"
#include "site/pictureentry.h"
#include "site/template.h"

namespace pix {
namespace {

// Adds a file's stamp, and `more` of what was found of it, to a digest.
void AddStamp(Digester& digester, const FileStamp& stamp, std::uint64_t more) {
  const std::uint64_t facts[] = {stamp.size, static_cast<std::uint64_t>(stamp.write_time_ns),
                                 static_cast<std::uint64_t>(stamp.change_time_ns), stamp.inode,
                                 more};
  digester.Add(std::string_view(reinterpret_cast<const char*>(facts), sizeof facts));
}

// Removes a temporary file this program made, if it is a plain file.
void RemoveTemporaryNow(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

}  // namespace

WebSite::WebSite(std::string site_directory, std::string layout_home, UserInterface& ui,
                   Progress& progress, Diagnostics& diagnostics)
    : site_directory_(std::move(site_directory)),
      layout_home_(std::move(layout_home)),
      ui_(ui),
      progress_sink_(progress),
      diagnostics_sink_(diagnostics) {
  StripTrailingChar(site_directory_, '/');
  if (site_directory_.empty()) site_directory_ = "/";
}

WebSite::~WebSite() = default;  // Out of line: the pool's type is complete here.

Status WebSite::Prepare() {
  run_settings_ = ReadRunSettings(layout_home_, diagnostics_sink_,
                                  preview_ != nullptr ? &preview_->settings : nullptr);
  video_tools_ = VideoTools::Find();
  // A preview asks nobody: it shows the name the settings hold.
  if (!preview_) RequireFullName(run_settings_, ui_, diagnostics_sink_);

  site_global_array_.SetVar(kPersonFullName, run_settings_.person_full_name);
  site_global_array_.SetVar(kEMailAddress, run_settings_.e_mail_address);
  // Companions for text: the user's own words may hold "&" or "<".
  site_global_array_.SetVar("PersonFullNameHTML", HtmlEscape(run_settings_.person_full_name));
  site_global_array_.SetVar("EMailAddressHTML", HtmlEscape(run_settings_.e_mail_address));
  // Pages written from a layout that could not be read would lose what the user made:
  // the run stops before it writes anything.
  const std::pair<const char*, VariableList*> layouts[] = {{"globals", &site_global_array_},
                                                        {"dglobals", &site_dir_global_array_},
                                                        {"mglobals", &site_match_global_array_}};
  for (const auto& [name, array] : layouts) {
    const std::string path = BuildFileName(layout_home_, name, "txt");
    if (preview_) {
      array->ParseVarText(preview_->FileText(path, &diagnostics_sink_));
      continue;
    }
    Result<std::string> text = ReadVarFile(path);
    if (!text.ok()) return text.status();
    array->ParseVarText(*text);
  }

  // The record decides what this run may replace; it also keeps a second run out. A
  // preview only reads it, and where there is none to read (or a run holds it) it starts
  // from an empty one in memory.
  if (preview_) {
    record_ = SiteRecord::OpenToRead(site_directory_);
    if (!record_) record_ = SiteRecord::OpenInMemory(site_directory_);
    if (!record_) return Status::IoError("Cannot read the site's record");
  } else {
    Result<std::unique_ptr<SiteRecord>> record = SiteRecord::Open(site_directory_, diagnostics_sink_);
    if (!record.ok()) return record.status();
    record_ = std::move(record).value();
  }

  // The site is walked and written folder by folder: here only its top is listed. A look
  // over every folder's names (no file's status) counts the pictures for the progress and
  // finds what an interrupted run left behind.
  // Pages are listed by name alone: whose a page is the record says, when its turn comes.
  const auto is_page = [this](std::string_view name) { return IsPageName(name); };
  Result<std::unique_ptr<FileItem>> tree =
      FileItem::CreateRoot(site_directory_, false, &diagnostics_sink_, is_page);
  if (!tree.ok()) return tree.status();
  picture_tree_ = std::move(tree).value();
  if (preview_) return Status::OK();
  // What an interrupted run left behind goes. In the site no other run can be writing now
  // (the record is locked), so every leftover goes at once; in the layout home, shared by
  // every site, only what nobody has written to for a while. After a run that finished,
  // only another program's leftovers can be in the site, beside the pictures it wrote: the
  // walk finds those, and the record's count of pictures is a good guess for the progress.
  surveyed_ = !Record().LastRunFinished();
  if (surveyed_) {
    SiteSurvey survey = SurveySite(picture_tree_->FullFileName(), Names());
    step_count_ = survey.pictures;
    for (const std::string& leftover : survey.leftover_temporaries) RemoveTemporaryNow(leftover);
  } else {
    step_count_ = Record().PictureCount();
  }
  RemoveLeftoversOfWalk();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(layout_home_, error)) {
    RemoveLeftoverTemporary(entry.path());
  }
  return Status::OK();
}

FolderListing WebSite::EnterDirectory(FileItem& directory) {
  ScanDirectory(directory, false);
  RemoveLeftoversOfWalk();
  // Whose an inline-named folder is, and which pictures keep their names, is settled on
  // the folder as listed, before anything in it changes on the disk: two pictures never
  // share a page or an inline image, nor does a picture take the page of an index or match
  // page; what is left out is reported, and nothing is overwritten.
  const auto is_output = [this](const FileItem& file) { return IsOwnOutputFile(file); };
  const std::vector<std::string> reports =
      SettleDirectoryNames(directory, Names(), run_settings_.MatchPageNames(), is_output);
  int pictures = 0;
  for (FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    // An inline folder of the run's was listed only to judge it.
    if (IsDirectory(*item) && !IsSubPageDir(*item, Names())) item->ForgetChildren();
    if (IsSitePicture(*item)) ++pictures;
  }
  if (!preview_) {
    for (const std::string& report : reports) diagnostics_sink_.Problem(report);
    if (run_settings_.delete_html_first) PurgeOldPages(directory);
    PrepareGifPictures(directory);
    // The survey counted the folder's pictures by their names, and the record's count is
    // of the last run's: either guess is put right as the walk sees each folder.
    const int guessed = !surveyed_ || IsInsideInlineFolder(directory, Names())
                            ? 0
                            : CountPicturesByName(directory);
    pictures_entered_ += pictures;
    if (surveyed_ && pictures != guessed) {
      step_count_ += pictures - guessed;
      progress_sink_.SetStepCount(step_count_);
    } else if (!surveyed_ && pictures_entered_ > step_count_) {
      step_count_ = pictures_entered_;
      progress_sink_.SetStepCount(step_count_);
    }
  }
  return ListingOf(directory, pictures);
}

bool WebSite::IsPageName(std::string_view name) const {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view ext = name.substr(dot);
  return EqualsNoCase(ext, ".html") || EqualsNoCase(ext, ".htm") ||
         EqualsNoCase(ext, "." + Names().page_dos_file_ext);
}

namespace {

// The digest of the names of a folder's pages, in byte order.
Digest PageNamesDigest(std::vector<std::string_view> names) {
  std::sort(names.begin(), names.end());
  Digester digester;
  for (const std::string_view name : names) digester.Add(DigestOf(name));
  return digester.Finish();
}

}  // namespace

std::optional<Digest> WebSite::TopPageNamesNow() const {
  // As the walk lists a folder (FileItem::ListDirectory): a page is a plain file, not
  // hidden, that the directory entry says is one and whose name is a page's.
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(site_directory_.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return std::nullopt;
      break;
    }
    if (entry->d_name[0] == '.' || entry->d_type != DT_REG) continue;
    if (IsPageName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  return PageNamesDigest(std::vector<std::string_view>(names.begin(), names.end()));
}

FolderListing WebSite::ListingOf(const FileItem& directory, int pictures) const {
  FolderListing listing;
  listing.pictures = pictures;
  if (!KeepsFolderSummaries()) {
    listing.trusted = false;
    return listing;
  }
  // Pages are left out: the run writes them, and whether they are still as written is
  // told by their stamps and the folder's. Every other file counts with its stamp, since
  // pictures, caption files and layout files are all read by the folder's pages.
  const std::int64_t settle = Record().SettleTimeNs();
  Digester digester;
  std::vector<std::string_view> pages;
  for (const FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    const std::string_view name = item->FileName();
    if (IsDirectory(*item)) {
      const bool page = IsSubPageDir(*item, Names());
      if (page) listing.leaf = false;
      // The run's own inline folder is left out: the first run makes it, and what it
      // holds is the folder's output, which the folder's summary notes with its stamps.
      // So the listing a first run sees is the one the run after sees.
      if (!page && !item->IsDirectoryLink() &&
          EqualsNoCase(name, Names().in_line_sub_dir_name)) {
        continue;
      }
      digester.Add(page ? std::string_view("D") : std::string_view("d"));
      digester.Add(DigestOf(name));
      continue;
    }
    if (!item->HasStatus()) {
      pages.push_back(name);
      continue;
    }
    const FileStamp stamp{item->Size(), item->WriteTimeNs(), item->ChangeTimeNs(), item->Inode()};
    digester.Add("f");
    digester.Add(DigestOf(name));
    AddStamp(digester, stamp, (item->IsLeftOut() ? 1u : 0u) | (item->IsJpegTwin() ? 2u : 0u));
    if (SettledStamp(stamp, settle).inode == 0) listing.trusted = false;
  }
  if (directory.HasNoInlineFolder()) digester.Add("no inline folder");
  listing.digest = digester.Finish();
  listing.pages = PageNamesDigest(std::move(pages));
  return listing;
}

void WebSite::StartPictures(const FileItem& directory) {
  if (preview_ && !pool_) return;
  std::vector<const FileItem*> pictures;
  for (const FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsSitePicture(*item)) pictures.push_back(item);
  }
  // Each picture's files are named once, here, for the reading ahead and for the worker
  // that learns the picture.
  std::vector<PictureFiles> files;
  files.reserve(pictures.size());
  for (const FileItem* picture : pictures) files.push_back(PictureFilesOf(*picture, Names()));
  if (!preview_) ReadAhead(directory, files);
  if (pool_) pool_->Add(pictures, std::move(files));
}

void WebSite::ReadAhead(const FileItem& directory, const std::vector<PictureFiles>& pictures) {
  // What each picture's lookups and claims ask for: the picture's row, and the statuses
  // and rows of its page and its images. One the run does not claim after all (a picture
  // left out) costs a little and is forgotten.
  std::vector<std::string> outputs;
  std::vector<std::string> anchors;
  anchors.reserve(pictures.size());
  for (const PictureFiles& files : pictures) {
    anchors.push_back(files.anchor_path);
    outputs.push_back(files.detail_path);
    if (!files.inline_path.empty()) outputs.push_back(files.inline_path);
    if (run_settings_.detail_image_max_size > 0) outputs.push_back(files.detail_image_path);
    if (run_settings_.in_line_pixel_density == 2) outputs.push_back(files.inline_1x_path);
  }
  Record().ReadAhead(directory.FullFileName(), outputs, anchors, &directory);
}

void WebSite::LeaveDirectory(FileItem& directory) {
  if (pool_) pool_->Release(directory);
  Record().ForgetAhead(&directory);
  directory.ForgetChildren();
}

void WebSite::PurgeOldPages(const FileItem& directory) {
  for (const FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsDirectory(*item)) continue;
    std::string_view ext = item->Extension();
    if (!ext.empty()) ext.remove_prefix(1);
    if (!EqualsNoCase(ext, "htm") && !EqualsNoCase(ext, "html")) continue;
    // Only the pages this program wrote go: a page of the user's own stays.
    const std::string site_path = SitePath(item->FullFileName());
    const std::optional<RecordedOutput> recorded = Record().FindOutput(site_path);
    const ClaimResult claim =
        Record().Claim(item->FullFileName(), recorded,
                       [](const std::filesystem::path& path) { return IsPageOfThisProgram(path); });
    if (claim.claim != Ownership::kOurs) {
      diagnostics_sink_.Problem(item->FullFileName() +
                              " is kept: DeleteHTMLFirst deletes only pages Pixamond wrote");
      continue;
    }
    if (::unlink(item->FullFileName().c_str()) != 0) {
      Report("Cannot delete the old page " + item->FullFileName());
    } else {
      Record().ForgetOutput(site_path);
    }
  }
}

void WebSite::PrepareGifPictures(FileItem& directory) {
  for (FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    // A GIF beside a JPEG of the same name is left out of the site (see IsSitePicture) but
    // kept on the disk: it may be the user's own picture, not an old copy.
    if (IsDirectory(*item) || !IsSitePicture(*item) || !IsGifExtension(item->Extension())) {
      continue;
    }
    const std::string& path = item->FullFileName();
    const Result<bool> interlaced = IsGifInterlaced(path);
    if (interlaced.ok() && *interlaced) {
      // Replaced only by a complete copy that keeps everything but the line order, and only
      // when the file's mode, owner and links allow it; a GIF that is not rewritten stays
      // as it is, and its inline image is made from the interlaced original.
      // The record keeps the picture's bytes from before, so that cleaning the site gives
      // the user's file back as it was. They are noted before the rewrite, so that a run
      // killed during it still knows them.
      const std::string site_path = Record().SitePath(path);
      std::string original;
      {
        std::ifstream in(path, std::ios::binary);
        original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
      Record().RecordRewrite(site_path, original, Digest{});
      const Status done = DeinterlaceGifInPlace(path);
      const std::optional<Digest> rewritten = done.ok() ? DigestOfFile(path) : std::nullopt;
      if (rewritten) {
        Record().RecordRewrite(site_path, original, *rewritten);
      } else {
        Record().ForgetRewrite(site_path);
      }
      if (done.code() == Status::Code::kRefused) {
        Report("The interlaced GIF file was not de-interlaced: " + done.message());
      } else if (!done.ok()) {
        Report("Cannot rewrite the interlaced GIF file " + path + ": " + done.message());
      }
      RefreshFileSize(*item);
    }
  }
}

bool WebSite::KeepsFolderSummaries() const {
  return !preview_ && record_ && !run_settings_.delete_html_first;
}

FolderMarks WebSite::MarkFolderStart() const {
  FolderMarks marks;
  marks.outputs = Record().OutputMark();
  marks.problems = diagnostics_sink_.ProblemCount() + stats_.problems_reported;
  marks.runaways = ExpansionRunawayCount();
  marks.stats = stats_;
  return marks;
}

void WebSite::MakeSiteKey() {
  site_key_trusted_ = KeepsFolderSummaries();
  if (!site_key_trusted_) return;
  const std::int64_t settle = Record().SettleTimeNs();
  Digester digester;
  // What the pages and images are made by.
  const std::string versions = "folder key 1 " + std::to_string(kTemplateExpansionVersion) + " " +
                               std::to_string(kPictureReaderVersion) + " " +
                               std::to_string(kImageMakerVersion) + " " +
                               std::to_string(VideoReaderVersion(video_tools_));
  digester.Add(versions);
  digester.Add(DigestOf(site_directory_));
  digester.Add(DigestOf(layout_home_));
  for (const VariableList* array :
       {&site_global_array_, &site_dir_global_array_, &site_match_global_array_}) {
    digester.Add(array->ContentDigest());
  }
  // Dates and names in pages may be written as the time zone and the locale say.
  for (const char* name : {"TZ", "LANG", "LC_ALL", "LC_TIME", "LC_CTYPE"}) {
    const char* value = std::getenv(name);
    digester.Add(DigestOf(name, value != nullptr ? value : ""));
  }
  // The files whose stamps stand for what they hold: the settings, the layout's files and
  // pages in the layout home, the tools that make video posters, the page above the site,
  // whose heading the top page reads, and the program.
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(layout_home_, error)) {
    files.push_back(entry.path().string());
  }
  if (error) site_key_trusted_ = false;
  std::sort(files.begin(), files.end());
  for (const std::string* tool : {&video_tools_.ffprobe, &video_tools_.ffmpeg}) {
    files.push_back(*tool);
  }
  std::string above = site_directory_;
  CutAfterLastSlash(above);
  files.push_back(BuildFileName(above, "index", Names().page_dos_file_ext));
  // This program itself: another build may write other pages from the same inputs.
  files.push_back("/proc/self/exe");
  for (const std::string& file : files) {
    digester.Add(DigestOf(file));
    struct stat info;
    if (file.empty() || ::stat(file.c_str(), &info) != 0) {
      digester.Add("none");
      continue;
    }
    const FileStamp stamp = StampOf(info);
    AddStamp(digester, stamp, info.st_mode);
    if (SettledStamp(stamp, settle).inode == 0) site_key_trusted_ = false;
  }
  site_key_ = digester.Finish();
}

void WebSite::RemoveLeftoversOfWalk() {
  std::vector<std::string> leftovers = picture_tree_->TakeLeftoverTemporaries();
  // The survey found them already.
  if (surveyed_ || preview_) return;
  for (const std::string& leftover : leftovers) RemoveTemporaryNow(leftover);
}

int WebSite::GetStepCount() const { return step_count_; }

int WebSite::DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

void WebSite::Execute() {
  progress_sink_.SetStepCount(GetStepCount());
  progress_sink_.SetMainTask(GetMainTaskText());
  DoMainTask();
}

void WebSite::DoMainTask() {
  if (!picture_tree_) return;
  ResetExpansionDiagnostics();
  if (jobs_ > 1) {
    PrepareMemoryForDecoding();
    pool_ = std::make_unique<InlineImagePool>(*this, jobs_);
  }
  MakeSiteKey();
  const FolderMarks marks = MarkFolderStart();
  const FolderListing listing = EnterDirectory(*picture_tree_);
  {
    DirIndexPage root_page(*picture_tree_, *this, nullptr);
    root_page.SetChainKey(site_key_, site_key_trusted_, listing);
    root_page.GenerateTop(listing, marks);
  }
  LeaveDirectory(*picture_tree_);
  pool_.reset();
  ReleaseSpareDecodingMemory();
  if (preview_) {
    record_.reset();
    return;
  }
  // Only a run that saw the whole site knows what it no longer makes.
  if (!Cancelled()) {
    WriteSiteFeeds(*this, feed_);
    // These take seconds on a large site: the progress says what the run is doing.
    progress_sink_.SetCurrentStep("Removing files the site no longer has");
    RemoveStaleOutputs();
    Record().ForgetUnconfirmedPictures();
    Record().ForgetUnconfirmedFolders();
    progress_sink_.SetCurrentStep("Reading back the files just written");
    // A stop asked for here leaves the rest to be read by the next run.
    Record().SettleOutputs(jobs_, [this](int read) {
      if (read >= 8192 && read % 8192 < 512) {
        progress_sink_.SetCurrentStep("Reading back the files just written: " +
                                      std::to_string(read));
      }
      return !Cancelled();
    });
    SettleFolders();
  }
  progress_sink_.SetCurrentStep("Saving the site's record");
  if (const Status committed = Record().Commit(); !committed.ok()) Report(committed.message());
  record_.reset();  // Lets the next run in.
}

namespace {

// The key a provisional summary is recorded under: one no run asks for.
Digest ProvisionalKey(const Digest& key) {
  Digester digester;
  digester.Add(key);
  digester.Add("provisional");
  return digester.Finish();
}

}  // namespace

void WebSite::NoteProvisionalFolder(const std::string& path, const Digest& key,
                                    const FolderSummary& summary,
                                    const std::optional<Digest>& top_chain_key) {
  Record().RecordFolder(path, {ProvisionalKey(key), FormatFolderSummary(summary)});
  const std::lock_guard<std::mutex> lock(provisional_mutex_);
  provisional_folders_.push_back({path, key, top_chain_key});
}

void WebSite::SettleFolders() {
  std::vector<ProvisionalFolder> folders;
  {
    const std::lock_guard<std::mutex> lock(provisional_mutex_);
    folders.swap(provisional_folders_);
  }
  if (folders.empty()) return;
  SiteRecord& record = Record();
  const std::optional<struct stat> now = record.FileSystemNow();
  // A folder is as noted when it still has the noted stamp, from an earlier step of the
  // file system's clock than now: anything added, removed or renamed in it from now on
  // gives it another.
  const auto as_noted = [&](const std::filesystem::path& folder, const FileStamp& noted) {
    struct stat info;
    if (!now || ::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_dev != now->st_dev) {
      return false;
    }
    const FileStamp stamp = StampOf(info);
    return stamp == noted && ChangedBefore(stamp, *now);
  };
  for (const ProvisionalFolder& provisional : folders) {
    const std::string& path = provisional.path;
    Digest key = provisional.key;
    const std::optional<RecordedFolder> recorded = record.FindFolder(path);
    std::optional<FolderSummary> summary;
    if (recorded && recorded->key == ProvisionalKey(key)) {
      summary = ParseFolderSummary(recorded->summary);
    }
    const std::filesystem::path folder = record.SiteDirectory() / path;
    bool settled = summary.has_value();
    for (std::size_t i = 0; settled && i < summary->outputs.size(); ++i) {
      FolderSummary::Output& output = summary->outputs[i];
      if (output.kind == OutputKind::kFolder) {
        settled = as_noted(folder / output.path, output.stamp);
      } else if (output.stamp.inode == 0) {
        // Read back at the end of the run (SiteRecord::SettleOutputs), or left unsettled.
        const std::optional<RecordedOutput> now_recorded =
            record.FindOutput(path.empty() ? output.path : path + "/" + output.path);
        settled = now_recorded && now_recorded->stamp.inode != 0;
        if (settled) output.stamp = now_recorded->stamp;
      }
    }
    // The top folder's own stamp changes with the record kept in it; it is not noted, and
    // the names of its pages, which its key holds instead, are those this run wrote.
    if (settled && !path.empty()) settled = as_noted(folder, summary->folder_stamp);
    if (settled && provisional.top_chain_key) {
      const std::optional<Digest> pages = TopPageNamesNow();
      settled = pages.has_value();
      if (settled) key = TopFolderKey(*provisional.top_chain_key, *pages);
    }
    if (settled) {
      record.RecordFolder(path, {key, FormatFolderSummary(*summary)});
    } else {
      record.ForgetFolder(path);
    }
  }
}

void WebSite::RemoveStaleOutputs() {
  std::vector<SiteRecord::Unconfirmed> stale = Record().UnconfirmedOutputs();
  // Files first, then folders from the deepest, so that a folder emptied here can go too.
  std::stable_partition(stale.begin(), stale.end(), [](const SiteRecord::Unconfirmed& entry) {
    return entry.output.kind != OutputKind::kFolder;
  });
  std::sort(std::find_if(stale.begin(), stale.end(),
                         [](const SiteRecord::Unconfirmed& entry) {
                           return entry.output.kind == OutputKind::kFolder;
                         }),
            stale.end(), [](const auto& a, const auto& b) { return a.path.size() > b.path.size(); });
  const std::filesystem::path site(picture_tree_->FullFileName());
  for (const SiteRecord::Unconfirmed& entry : stale) {
    const std::filesystem::path path = site / entry.path;
    if (entry.output.kind == OutputKind::kFolder) {
      // Only an empty folder goes: what is left in it is the user's.
      ::rmdir(path.c_str());
      Record().ForgetOutput(entry.path);
      continue;
    }
    const ClaimResult claim =
        Record().Claim(path, entry.output, [](const std::filesystem::path&) { return false; });
    if (claim.claim == Ownership::kOurs) {
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        Report("Cannot remove " + path.string() + ", which the site no longer uses: " +
               std::strerror(errno));
        continue;
      }
      const bool page = entry.output.kind == OutputKind::kPage;
      ++(!entry.source_gone ? stats_.other_removed
                            : (page ? stats_.pages_removed : stats_.images_removed));
    } else if (claim.claim != Ownership::kAbsent) {
      diagnostics_sink_.Notice(path.string() +
                             " is kept: the site no longer uses it, but it was changed since "
                             "Pixamond wrote it");
    }
    Record().ForgetOutput(entry.path);
  }
}

bool WebSite::IsOwnOutputFile(const FileItem& file) const {
  const std::string site_path = SitePath(file.FullFileName());
  if (Record().FindOutput(site_path)) return true;
  if (!Record().IsNew()) return false;
  // A site made before the record: an image no larger than this run would make it, beside
  // an index page of this program's, is taken for one of the inline or detail images that
  // run made. A full-size picture never is.
  const FileItem* folder = file.Parent();
  const bool detail = folder != nullptr && folder->FileName() == kDetailImageDirName;
  const FileItem* directory = folder != nullptr ? folder->Parent() : nullptr;
  if (detail && directory != nullptr) directory = directory->Parent();
  if (directory == nullptr ||
      !IsPageOfThisProgram(directory->FullFileName() + "/index." + Names().page_dos_file_ext)) {
    return false;
  }
  int width = 0;
  int height = 0;
  if (!GetWebImageSize(file.FullFileName(), &width, &height).ok()) return false;
  const ImageSize box =
      detail ? ImageSize{run_settings_.detail_image_max_size, run_settings_.detail_image_max_size}
             : LargestInlineImage(MaxDisplayWidth(), MaxDisplayHeight(),
                                  run_settings_.in_line_pixel_density);
  return width - 2 <= box.width && height - 2 <= box.height;
}

std::string WebSite::SitePath(std::string_view path) const { return Record().SitePath(path); }

Status WebSite::EnsureOutputFolder(const std::string& directory) const {
  if (preview_) return Status::OK();  // A preview makes no folder.
  {
    std::lock_guard<std::mutex> lock(folders_mutex_);
    if (folders_ensured_.count(directory) > 0) return Status::OK();
  }
  const std::string site_path = SitePath(directory);
  struct stat info;
  if (::lstat(directory.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      return Status::Refused(directory + " is a link; nothing is written through a link");
    }
    if (!S_ISDIR(info.st_mode)) {
      return Status::Refused(directory + " is a file of yours, not a folder");
    }
    // A folder the run made before stays the run's; one it found is not recorded, so that
    // an empty folder of the user's is never removed.
    if (Record().FindOutput(site_path)) Record().ConfirmOutput(site_path);
  } else if (::mkdir(directory.c_str(), 0777) == 0) {
    RecordedOutput folder;
    folder.kind = OutputKind::kFolder;
    Record().RecordOutput(site_path, folder);
  } else if (errno != EEXIST) {
    return Status::IoError("Cannot create the directory " + directory + ": " +
                           std::strerror(errno));
  }
  std::lock_guard<std::mutex> lock(folders_mutex_);
  folders_ensured_.insert(directory);
  return Status::OK();
}

std::unique_ptr<PictureFacts> WebSite::TakePictureFacts(const FileItem& picture) {
  if (!pool_) return nullptr;
  return pool_->Take(picture);
}

void WebSite::Report(const std::string& text, const std::string& file) {
  ++stats_.problems_reported;
  if (report_to_diagnostics_) {
    diagnostics_sink_.ProblemWith(file, text);
    return;
  }
  ui_.ShowMessage(text, "Error", MessageButtons::kOk, MessageIcon::kStop);
}

bool WebSite::Cancelled() const { return cancelled_ || progress_sink_.CancelRequested(); }

}  // namespace pix

namespace pix {

std::string WebSite::LayoutFileText(std::string_view name, std::string_view directory) const {
  if (!preview_) return LoadVarFileText(name, directory, &diagnostics_sink_);
  const std::string path = name.find('/') != std::string_view::npos || directory.empty()
                               ? std::string(name)
                               : BuildFileName(directory, name, "txt");
  return preview_->FileText(path, &diagnostics_sink_);
}

void WebSite::OfferPreviewPage(const std::string& path, std::string text) {
  if (!preview_ || preview_->html) return;
  if (path != preview_->page_path && std::filesystem::path(path).lexically_normal() !=
                                         std::filesystem::path(preview_->page_path).lexically_normal()) {
    return;
  }
  preview_->html = std::move(text);
  Cancel();  // Nothing after the wanted page changes it.
}

}  // namespace pix
