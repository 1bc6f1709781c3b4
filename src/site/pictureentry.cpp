#include "site/pictureentry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "base/progress.h"
#include "base/safefile.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/picturenames.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/decjpeg.h"
#include "picture/gifrsize.h"
#include "picture/inlinegif.h"
#include "picture/metadata.h"
#include "picture/versions.h"
#include "picture/video.h"
#include "picture/webimage.h"
#include "site/caption.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/pagepreview.h"
#include "site/pictureorder.h"
#include "site/sitefeeds.h"
#include "site/siterecord.h"
#include "site/variable.h"
#include "site/webpage.h"
#include "site/website.h"

namespace pix {
namespace {

void SetNamedPictureVars(VariableList& array, const PictureFiles& names, std::uint64_t file_size,
                         std::string_view comment, const std::string& text_file,
                         const PictureMetadata* metadata, bool map_links) {
  PictureEntryVars vars;
  vars.anchor_path = names.anchor_path;
  vars.anchor_name = names.anchor_name;
  vars.inline_path = names.inline_path;
  vars.inline_link = names.inline_link;
  vars.text_path = names.text_path;
  vars.base_name = names.base_name;
  vars.detail_link = names.detail_link;
  vars.file_size = file_size;
  vars.comment_text = comment;
  vars.text_file_text = &text_file;
  vars.metadata = metadata;
  vars.map_links = map_links;
  SetPictureVars(array, vars);
}

void AddEntry(WebPage& page, const PictureFiles& names, const PictureFacts& facts,
              const DisplayFit& fit, std::uint64_t file_size, const PictureNeighbours& around) {
  VariableList& array = page.VarArray();
  array.SetIntVar("DisplayWidth", fit.width);
  array.SetIntVar("DisplayHeight", fit.height);
  array.SetIntVar("AnchorWidth", facts.width);
  array.SetIntVar("AnchorHeight", facts.height);
  // The page opens at its first entry and sets its own values then (UpPageURL among them);
  // the picture's values below come after, so that they shadow the page's.
  page.EnsurePageOpen();
  array.mark_changes = true;
  // The picture a detail page shows: its web-sized copy, or the picture itself; for a
  // video, its poster (the video itself plays from VideoURL).
  const std::string_view name = names.anchor_name;
  const std::string_view extension =
      name.rfind('.') == std::string_view::npos ? std::string_view() : name.substr(name.rfind('.'));
  const bool video = IsVideoExtension(extension);
  const bool detail_image = facts.detail_width > 0 && facts.detail_height > 0;
  if (video) {
    array.SetVar("DetailImageURL", UrlEncodePath(names.inline_link));
    array.SetIntVar("DetailImageWidth", fit.width);
    array.SetIntVar("DetailImageHeight", fit.height);
  } else {
    array.SetVar("DetailImageURL",
                 UrlEncodePath(detail_image ? names.detail_image_link : names.anchor_name));
    array.SetIntVar("DetailImageWidth", detail_image ? facts.detail_width : facts.width);
    array.SetIntVar("DetailImageHeight", detail_image ? facts.detail_height : facts.height);
  }
  const double duration = video ? facts.metadata.exif.duration_seconds : 0.0;
  array.SetVar("VideoURL", video ? UrlEncodePath(names.anchor_name) : std::string());
  array.SetVar("VideoType", video ? std::string(VideoMimeType(extension)) : std::string());
  array.SetVar("VideoDuration", duration > 0 ? VideoDurationText(duration) : std::string());
  array.SetVar("VideoDurationISO", duration > 0 ? VideoDurationIso(duration) : std::string());
  array.SetVar("VideoNote",
               video && page.Site().Video().ffmpeg.empty()
                   ? "No preview frame: ffmpeg was not installed when this page was made."
                   : std::string());
  // The inline image at 1x and 2x, for a srcset attribute; empty without a 1x image.
  array.SetVar("ImageSrcSet", facts.has_1x ? UrlEncodePath(names.inline_1x_link) + " 1x, " +
                                                 UrlEncodePath(names.inline_link) + " 2x"
                                           : std::string());
  array.SetVar("PrevDetailPageURL", around.prev_link);
  array.SetVar("PrevDetailPageCaptionText", around.prev_caption_text);
  array.SetVar("NextDetailPageURL", around.next_link);
  array.SetVar("NextDetailPageCaptionText", around.next_caption_text);
  array.SetIntVar("PictureIndex", around.index);
  array.SetIntVar("PictureCount", around.count);
  array.SetVar("UpPageURL", UrlEncodePath(page.PageLinkName()));
  page.AddPictureEntry(array, file_size, names.detail_path, facts.detail_page_record);
  ++page.Site().Stats().pictures;
}

// The text file beside a picture, or nothing. Only its start is read: such a file holds a
// few variables. A file that is missing costs one failed open; one that is no plain file
// (a directory, a named pipe) reads as empty.
std::string ReadPictureTextFile(std::string_view text_path) {
  std::string text;
  if (text_path.empty()) return text;
  const int fd = ::open(std::string(text_path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return text;
  text.resize(kPictureTextFileLimit);
  // A plain file hands over all it has, up to the limit, in one read.
  const ssize_t got = ::read(fd, text.data(), text.size());
  ::close(fd);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

// The text file beside a picture the scan listed. The scan's listing answers whether there
// is one, which spares a look at the disk for every picture without.
std::string ReadListedPictureTextFile(const FileItem& picture, const PictureFiles& names) {
  const std::string_view text_name =
      std::string_view(names.text_path).substr(names.text_path.rfind('/') + 1);
  if (CompareFileNames(text_name, picture.FileName()) > 0) {
    const FileItem* text = FindLaterSibling(picture, text_name);
    if (text == nullptr || IsDirectory(*text)) return std::string();
  }
  return ReadPictureTextFile(names.text_path);
}

// The caption, date and camera of a picture, each empty when unknown. Only a JPEG picture
// has metadata; any entry may have a caption from its own variable records.
void SetCaptionVars(VariableList& array, const PictureEntryVars& vars, std::string_view text_file) {
  CaptionSources sources;
  sources.comment_text = vars.comment_text;
  sources.text_file_text = text_file;
  sources.metadata = vars.metadata;
  const PictureCaption caption = ChoosePictureCaption(sources);
  array.SetVar("ImageCaption", caption.html);
  array.SetVar("ImageCaptionText", caption.attribute_text);
  // Texts from the picture reach the page escaped, like every other text it carries.
  const ExifInfo* exif = vars.metadata != nullptr ? &vars.metadata->exif : nullptr;
  array.SetVar("ImageDateTaken", exif != nullptr ? exif->date_taken : std::string());
  // The same for reading: "2024-06-01 14:03", without seconds and the "T".
  std::string readable = exif != nullptr ? exif->date_taken.substr(0, 16) : std::string();
  if (readable.size() > 10 && readable[10] == 'T') readable[10] = ' ';
  array.SetVar("ImageDateTakenText", readable);
  array.SetVar("ImageCamera",
               exif != nullptr ? HtmlEscape(CameraName(exif->make, exif->model)) : std::string());
  const auto exif_text = [exif](std::string ExifInfo::*field) {
    return exif != nullptr ? HtmlEscape(exif->*field) : std::string();
  };
  array.SetVar("ImageExposureTime", exif_text(&ExifInfo::exposure_time));
  array.SetVar("ImageAperture", exif_text(&ExifInfo::aperture));
  array.SetVar("ImageISO", exif_text(&ExifInfo::iso));
  array.SetVar("ImageFocalLength", exif_text(&ExifInfo::focal_length));
  array.SetVar("ImageFocalLengthEquivalent", exif_text(&ExifInfo::focal_length_35mm));
  array.SetVar("ImageLens", exif_text(&ExifInfo::lens));
  // Where a picture was taken reaches a page only when the settings ask for it.
  array.SetVar("ImageMapURL", vars.map_links && exif != nullptr && exif->has_position
                                  ? HtmlEscape(OpenStreetMapUrl(exif->latitude, exif->longitude))
                                  : std::string());
}

void ReportPicture(WebSite& site, const std::string& picture, const std::string& text) {
  site.Report(text, picture);
  ++site.Stats().pictures_reported;
}

// Counts or reports how the inline image of a picture was settled.
void AccountInlineImage(WebSite& site, const PictureFiles& names, const PictureFacts& facts) {
  switch (facts.inline_outcome) {
    case PictureFacts::Inline::kCurrent:
      ++site.Stats().inline_reused;
      break;
    case PictureFacts::Inline::kMade:
      ++site.Stats().inline_made;
      break;
    case PictureFacts::Inline::kFailed:
      ReportPicture(site, names.anchor_path,
                    "Cannot make the inline image of " + names.anchor_path + ": " +
                        facts.inline_status.message());
      break;
    case PictureFacts::Inline::kNotTried:
      break;
  }
}

// Hands a picture just listed to the site's feed: its detail page (or, without detail
// pages, the page that lists it), its inline image and caption, and when it was taken.
void NoteFeedEntry(WebPage& page, const FileItem& item, const PictureFiles& names,
                   const PictureFacts& facts, const DisplayFit& fit, bool jpeg) {
  WebSite& site = page.Site();
  const std::string picture_path = site.SitePath(names.anchor_path);
  const std::string folder = picture_path.substr(0, picture_path.rfind('/') + 1);
  FeedEntry entry;
  const bool detail_pages = !page.VarArray().GetVarValue(kDetailPageTemplate).empty();
  entry.page_path = folder + (detail_pages ? names.detail_link : page.PageLinkName());
  if (!names.inline_path.empty()) {
    entry.image_path = folder + names.inline_link;
    entry.image_width = fit.width;
    entry.image_height = fit.height;
  }
  CaptionSources sources;
  sources.comment_text = facts.comments;
  sources.text_file_text = facts.text_file;
  sources.metadata = jpeg ? &facts.metadata : nullptr;
  entry.title_html = ChoosePictureCaption(sources).html;
  if (entry.title_html.empty()) entry.title_html = HtmlEscape(TitleFromFileName(names.base_name));
  entry.time_ns =
      PictureSortTime(jpeg ? facts.metadata.exif.date_taken : "", item.WriteTimeNs());
  site.Feed().Add(std::move(entry));
}

// Returns whether the picture got its entry and detail page.
bool ProcessPictureWithNames(WebPage& page, const FileItem& item, const PictureFiles& names,
                             PictureFacts facts, const PictureNeighbours& around) {
  WebSite& site = page.Site();
  const bool jpeg = IsJpegPicture(item);
  if (jpeg && facts.missing) {
    // The picture vanished since the scan: the user may go on without it or stop the run.
    ++site.Stats().pictures_reported;
    ++site.Stats().problems_reported;
    if (site.user_interface().ShowMessage(names.anchor_path, "Missing File",
                                         MessageButtons::kOkCancel, MessageIcon::kWarning) ==
        MessageAnswer::kCancel) {
      site.Cancel();
    }
    return false;
  }
  if (!facts.readable) {
    ReportPicture(site, names.anchor_path,
                  !facts.open_status.ok()
                      ? facts.open_status.message()
                      : (jpeg ? "JPEG file " : IsVideoFile(item) ? "Video file " : "GIF file ") +
                            names.anchor_path + " is corrupt");
    return false;
  }
  if (!facts.damage.empty()) {
    ReportPicture(site, names.anchor_path,
                  "JPEG file " + names.anchor_path + " is damaged (" + facts.damage +
                      "); it is published as far as it could be read");
  }
  const std::uint64_t file_size = item.Size();
  SetNamedPictureVars(page.VarArray(), names, file_size, facts.comments, facts.text_file,
                      jpeg ? &facts.metadata : nullptr, site.Settings().map_links);
  const DisplayFit fit = ComputeDisplaySize(facts.width, facts.height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  AccountInlineImage(site, names, facts);
  if (site.Settings().detail_image_max_size > 0 && !facts.detail_status.ok()) {
    ReportPicture(site, names.anchor_path,
                  "Cannot make the detail image of " + names.anchor_path + ": " +
                      facts.detail_status.message());
  }
  AddEntry(page, names, facts, fit, file_size, around);
  if (!site.Settings().site_url.empty()) NoteFeedEntry(page, item, names, facts, fit, jpeg);
  return true;
}

// The caption of a picture as plain text for links to it: its caption, or its name.
std::string NeighbourCaptionText(const PictureFiles& names, const PictureFacts& facts,
                                 bool jpeg) {
  CaptionSources sources;
  sources.comment_text = facts.comments;
  sources.text_file_text = facts.text_file;
  sources.metadata = jpeg ? &facts.metadata : nullptr;
  const PictureCaption caption = ChoosePictureCaption(sources);
  return caption.attribute_text.empty() ? HtmlEscape(names.base_name) : caption.attribute_text;
}

}  // namespace

PictureList::PictureList(WebSite& site, const std::vector<const FileItem*>& pictures)
    : site_(site), pictures_(pictures), learned_(pictures.size()) {
  const SortOrder& order = site.Settings().sort_order;
  std::vector<SortablePicture> sortable(pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    sortable[i].name = pictures[i]->FileName();
    if (order.key != SortKey::kDate) continue;
    // The order by date needs every picture's date before the first is written.
    const PictureFacts& facts = FactsOf(i);
    const bool jpeg = IsJpegPicture(*pictures[i]);
    sortable[i].time_ns = PictureSortTime(jpeg ? facts.metadata.exif.date_taken : "",
                                          pictures[i]->WriteTimeNs());
  }
  const std::vector<std::size_t> positions = SortedPositions(sortable, order);
  std::vector<std::unique_ptr<PictureFacts>> learned(pictures.size());
  for (std::size_t i = 0; i < positions.size(); ++i) {
    pictures_[i] = pictures[positions[i]];
    learned[i] = std::move(learned_[positions[i]]);
  }
  learned_ = std::move(learned);
}

PictureList::~PictureList() = default;

PictureFacts& PictureList::FactsOf(std::size_t position) {
  std::unique_ptr<PictureFacts>& facts = learned_[position];
  if (!facts) {
    facts = site_.TakePictureFacts(*pictures_[position]);
    if (!facts) facts = std::make_unique<PictureFacts>(LearnPicture(site_, *pictures_[position]));
  }
  return *facts;
}

bool PictureList::Readable(std::size_t position) { return FactsOf(position).readable; }

std::optional<std::string> PictureList::DetailImagePath(std::size_t position) {
  const PictureFacts& facts = FactsOf(position);
  if (!facts.readable || facts.detail_width <= 0 || facts.detail_height <= 0) return std::nullopt;
  return facts.files.detail_image_path;
}

std::vector<std::size_t> PictureList::PageStarts(const std::vector<std::size_t>& listing,
                                                 int per_page) {
  std::vector<std::size_t> starts{0};
  if (per_page <= 0 || listing.size() <= static_cast<std::size_t>(per_page)) return starts;
  int readable = 0;
  for (std::size_t i = 0; i < listing.size(); ++i) {
    if (!Readable(listing[i])) continue;
    if (readable > 0 && readable % per_page == 0) starts.push_back(i);
    ++readable;
  }
  return starts;
}

void PictureList::Write(WebPage& page, const std::vector<std::size_t>& listing,
                        std::size_t begin, std::size_t end, PictureNeighbours& around) {
  WebSite& site = page.Site();
  // Each picture's facts are learned at most one readable picture ahead of the one being
  // written (unless the order or the split needed them sooner), so that its detail page
  // can link to the next picture.
  for (std::size_t i = begin; i < end; ++i) {
    if (site.Cancelled()) return;
    const std::size_t position = listing[i];
    const FileItem& item = *pictures_[position];
    const std::string name(item.FileName());
    site.progress().SetCurrentStep("Processing Image " + name);
    page.VarArray().mark_changes = true;
    PictureFacts facts = std::move(FactsOf(position));
    const PictureFiles names = std::move(facts.files);
    around.index = static_cast<int>(i) + 1;
    around.next_link.clear();
    around.next_caption_text.clear();
    for (std::size_t j = i + 1; j < listing.size() && facts.readable; ++j) {
      const PictureFacts& next = FactsOf(listing[j]);
      if (!next.readable) continue;
      const FileItem& next_item = *pictures_[listing[j]];
      around.next_link = UrlEncodePath(next.files.detail_link);
      around.next_caption_text = NeighbourCaptionText(next.files, next, IsJpegPicture(next_item));
      break;
    }
    const bool jpeg = IsJpegPicture(item);
    const std::string caption =
        facts.readable ? NeighbourCaptionText(names, facts, jpeg) : std::string();
    if (ProcessPictureWithNames(page, item, names, std::move(facts), around)) {
      around.prev_link = UrlEncodePath(names.detail_link);
      around.prev_caption_text = caption;
    }
    // What was written is not needed again; only a flag that it was read stays.
    const bool readable = learned_[position]->readable;
    learned_[position] = std::make_unique<PictureFacts>();
    learned_[position]->readable = readable;
    site.progress().SetCurrentStep("Finshed " + name);
    site.progress().StepBy(1);
  }
}

void ProcessPictures(WebPage& page, const std::vector<const FileItem*>& pictures) {
  PictureList list(page.Site(), pictures);
  std::vector<std::size_t> listing(list.size());
  for (std::size_t i = 0; i < listing.size(); ++i) listing[i] = i;
  PictureNeighbours around;
  around.count = static_cast<int>(listing.size());
  list.Write(page, listing, 0, listing.size(), around);
}

namespace {

// A picture's stamp as the scan found it.
FileStamp ScannedStamp(const FileItem& item) {
  return FileStamp{item.Size(), item.WriteTimeNs(), item.ChangeTimeNs(), item.Inode()};
}

// An image a picture needs: where it goes, what it must be made from and how.
struct ImagePlan {
  OutputKind kind = OutputKind::kInlineImage;
  std::string path;      // Full path.
  std::string site_path;  // As the record keeps it.
  ImageSize size;
  // The recipe's text before and after the picture's digest (see SetRecipe).
  std::string recipe_head;
  std::string recipe_tail;
  // The largest image of this kind a run could have made: an image found in a site made
  // before the record is taken for the run's only when it fits this box.
  ImageSize adopt_box;
  // The bytes in place, when the file there is the run's (set by SettleImage).
  std::optional<Digest> in_place;
  // The image lies in a folder inside the inline folder (detail, 1x).
  bool nested = false;

  // The recipe of the image made from a picture whose image digest is `image`.
  Digest Recipe(const Digest& image) const {
    std::string text = recipe_head;
    text.append(reinterpret_cast<const char*>(&image.low), 8);
    text.append(reinterpret_cast<const char*>(&image.high), 8);
    text += recipe_tail;
    return DigestOf(text);
  }
};

// Sets the recipe of `plan`: everything that shapes the image's bytes. The picture is named
// by the digest of its bytes (given to ImagePlan::Recipe), so that a picture swapped for
// another, or restored with old times, is told apart from the one the image was made from,
// and a picture only touched is not. `partner` names the other image made from the same
// decode, whose pixels this one may be reduced from; it is part of the recipe, since it
// shapes the bytes.
void SetRecipe(ImagePlan& plan, std::string_view what, Orientation orientation,
               std::string_view format, int quality, bool jpeg, std::string_view partner) {
  plan.recipe_head = std::string(what) + ' ' + std::to_string(kImageMakerVersion);
  std::string& tail = plan.recipe_tail;
  tail = ' ';
  tail += format;
  tail += ' ' + std::to_string(plan.size.width) + 'x' + std::to_string(plan.size.height);
  tail += " q" + std::to_string(quality);
  tail += " o" + std::to_string(static_cast<int>(orientation));
  tail += jpeg ? " jpeg" : " gif";
  tail += ' ';
  tail += partner;
}

// The digests of a picture that were not read with its other facts. The decode that makes
// its images reads the whole file anyway, and gives them from the very bytes it decoded;
// whatever needs them before (an image's recipe to compare with the record's) or without
// such a decode reads the file for them.
class LateDigests {
 public:
  LateDigests(PictureFacts& facts, std::string path, bool pending)
      : facts_(facts), path_(std::move(path)), pending_(pending) {}

  // The digest of what the picture's images are made from, read now if still pending.
  const Digest& Image() {
    Settle();
    return facts_.image;
  }
  // What the one decode that may give the digests sees the file's bytes through; null when
  // they are known or were offered to a decode already.
  FileBytesObserver* ForDecode() {
    if (!pending_ || offered_) return nullptr;
    offered_ = true;
    return &digester_;
  }
  // Takes what that decode gave, when it read the whole file.
  void TakeFromDecode() {
    if (!pending_ || !offered_) return;
    if (const std::optional<PictureDigests> digests = digester_.Finish()) Set(*digests);
  }
  // Reads the file for the digests when no decode gave them.
  void Settle() {
    if (pending_) Set(DigestOfPicture(path_).value_or(PictureDigests()));
  }

 private:
  void Set(const PictureDigests& digests) {
    facts_.content = digests.file;
    facts_.image = digests.image;
    pending_ = false;
  }

  PictureFacts& facts_;
  std::string path_;
  bool pending_;
  bool offered_ = false;
  PictureDigester digester_;
};

// How an image of a picture stands before anything is made.
enum class ImageState { kCurrent, kToMake, kRefused };

// Settles one image: current when the record made it from the same recipe and the file is
// still as written; to be made when nothing is there or the file is the run's; refused
// (and reported once) when the file in its place is the user's.
ImageState SettleImage(const WebSite& site, ImagePlan& plan, LateDigests& digests,
                       Status& status) {
  // The folders first: nothing is looked at, let alone written, through a linked folder.
  const std::string folder = plan.path.substr(0, plan.path.rfind('/'));
  if (plan.nested) {
    status = site.EnsureOutputFolder(folder.substr(0, folder.rfind('/')));
    if (!status.ok()) return ImageState::kRefused;
  }
  status = site.EnsureOutputFolder(folder);
  if (!status.ok()) return ImageState::kRefused;
  SiteRecord& record = site.Record();
  const std::optional<RecordedOutput> recorded = record.FindOutput(plan.site_path);
  const auto adoptable = [&plan](const std::filesystem::path& path) {
    int width = 0;
    int height = 0;
    return GetWebImageSize(path, &width, &height).ok() &&
           width - 2 <= plan.adopt_box.width && height - 2 <= plan.adopt_box.height;
  };
  const ClaimResult claim = record.Claim(plan.path, recorded, adoptable);
  if (claim.claim == Ownership::kOurs && recorded) plan.in_place = recorded->content;
  if (claim.claim == Ownership::kOurs && recorded && recorded->width == plan.size.width &&
      recorded->height == plan.size.height && recorded->recipe == plan.Recipe(digests.Image())) {
    if (claim.stamp_matched) {
      record.ConfirmOutput(plan.site_path);
    } else if (const std::optional<FileStamp> stamp = StampOfFile(plan.path, false)) {
      RecordedOutput again = *recorded;
      again.stamp = *stamp;
      record.RecordOutput(plan.site_path, again);
    }
    return ImageState::kCurrent;
  }
  if (claim.claim == Ownership::kAbsent || claim.claim == Ownership::kOurs) return ImageState::kToMake;
  // The file is the user's now: the record lets it go.
  if (recorded) record.ForgetOutput(plan.site_path);
  // Reported by the page writer as "Cannot make the inline image of PICTURE: " and this.
  status = Status::Refused(plan.path + " is kept as it is (" + claim.why + ")");
  return ImageState::kRefused;
}

// Records an image just made from `plan` and a picture whose image digest is `image`; the
// image's bytes have `content`.
void RecordMadeImage(const WebSite& site, const ImagePlan& plan, std::string_view picture,
                     const Digest& image, const Digest& content) {
  if (site.Preview()) return;
  RecordedOutput made;
  made.kind = plan.kind;
  made.source.assign(picture);
  made.recipe = plan.Recipe(image);
  made.content = content;
  made.stamp = StampOfFile(plan.path, false).value_or(FileStamp());
  made.width = plan.size.width;
  made.height = plan.size.height;
  site.Record().RecordOutput(plan.site_path, made);
}

// What became of an image the run set out to make.
struct MadeImage {
  Digest content;     // Of the new bytes.
  bool same = false;  // They were the bytes already in place, which stay untouched.
};

// The hook that notes an image's bytes just before they are put in place, and keeps their
// digest for the record. New bytes equal to the image already in place (`current`, when it
// is the run's) are not put in place at all, so the image keeps its time.
BeforeReplace NoteBeforeReplace(const WebSite& site, const ImagePlan& plan,
                                 std::optional<Digest> current, MadeImage& made) {
  return [&site, &plan, current, &made](const std::filesystem::path& finished) {
    const std::optional<Digest> digest = DigestOfFile(finished);
    if (!digest) return Status::IoError("Cannot read " + finished.string());
    made.content = *digest;
    if (current && *current == *digest) {
      made.same = true;
      return Status::Exists(plan.path + " already holds these bytes");
    }
    return site.Record().NotePending(plan.site_path, plan.kind, made.content);
  };
}

// The shape a video is shown in when ffprobe cannot tell its size.
constexpr int kVideoBoxWidth = 640;
constexpr int kVideoBoxHeight = 360;

// The version of what read a picture's facts.
int ReaderVersionOf(const FileItem& item, const VideoTools& tools) {
  return IsVideoFile(item) ? VideoReaderVersion(tools) : kPictureReaderVersion;
}

// Writes the poster of a video to `jpeg_file`: a frame from ffmpeg a little way in, or,
// where ffmpeg is missing or cannot read the video, a drawn play symbol of `size`.
void WriteVideoPoster(const VideoTools& tools, const std::string& video, double duration,
                      const ImageSize& size, const std::filesystem::path& jpeg_file) {
  if (!tools.ffmpeg.empty()) {
    const double at = duration > 0 ? std::min(1.0, duration / 3.0) : 0.0;
    if (ExtractPosterFrame(tools.ffmpeg, video, at, jpeg_file).ok()) {
      const Result<JpegHeader> frame = ReadJpegHeader(jpeg_file.string());
      if (frame.ok() && !frame->IsCorrupt()) return;
    }
  }
  WriteVideoIcon(jpeg_file, size.width, size.height);
}

// Reads the facts of a picture the record does not know as it is now: its size, comment,
// metadata and, unless `digests` is false, the digests of its bytes.
void ReadPictureFacts(const FileItem& item, const PictureFiles& names, bool jpeg,
                      const VideoTools& tools, bool digests, PictureFacts& facts) {
  if (IsVideoFile(item)) {
    // A video is listed whatever ffprobe says of it; without a size, it is shown in a box
    // of the usual shape.
    if (const Status plain = RequireRegularFile(names.anchor_path); !plain.ok()) {
      facts.open_status = Status::IoError(plain.message());
      facts.missing = !FileExists(names.anchor_path);
      return;
    }
    const std::optional<VideoProbe> probe = ProbeVideo(tools.ffprobe, names.anchor_path);
    facts.width = probe ? probe->width : kVideoBoxWidth;
    facts.height = probe ? probe->height : kVideoBoxHeight;
    facts.metadata.exif.duration_seconds = probe ? probe->duration_seconds : 0.0;
  } else if (jpeg) {
    // One walk over the header gives the size, the caption and the metadata.
    JpegMetadataSegments segments;
    Result<JpegHeader> header = ReadJpegHeader(names.anchor_path, {nullptr, &segments});
    if (!header.ok()) {
      facts.missing = header.status().code() == Status::Code::kNotFound;
      facts.open_status = Status::IoError(header.status().message());
      header = JpegHeader();
    }
    facts.metadata = ParseJpegMetadata(segments);
    // Sizes are those of the picture shown upright.
    const bool swap = SwapsSides(facts.metadata.exif.orientation);
    facts.width = swap ? header->height : header->width;
    facts.height = swap ? header->width : header->height;
    facts.comments = std::move(header->comments);
  } else if (Status read = GetGifSize(&facts.width, &facts.height, names.anchor_path); !read.ok()) {
    facts.width = facts.height = 0;
    if (read.code() == Status::Code::kIoError) facts.open_status = read;
  }
  if (digests && facts.width > 0 && facts.height > 0) {
    const PictureDigests read = DigestOfPicture(item.FullFileName()).value_or(PictureDigests());
    facts.content = read.file;
    facts.image = read.image;
  }
}

// Settles the inline and detail images of a readable picture, making what is missing or
// made from another recipe, and notes how each came out.
void MakePictureImages(const WebSite& site, const PictureFiles& names, bool jpeg, bool video,
                       PictureFacts& facts, LateDigests& digests) {
  const RunSettings& settings = site.Settings();
  const std::string picture_path = site.SitePath(names.anchor_path);
  const DisplayFit fit = ComputeDisplaySize(facts.width, facts.height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  const WebImageFormat format = WebImageFormatOf(names.inline_path);
  const Orientation orientation = jpeg ? facts.metadata.exif.orientation : Orientation::kNormal;

  // A GIF picture gets its web-sized copy too, so that no detail page links an original.
  const bool want_detail = !video && settings.detail_image_max_size > 0;
  const ImageSize inline_size =
      InlineFileSize(fit, facts.width, facts.height, settings.in_line_pixel_density);
  const ImageSize detail_size =
      DetailImageSize(facts.width, facts.height, settings.detail_image_max_size);
  // A JPEG or WebP inline image and the detail image come from one decode, and the smaller
  // may be reduced from the larger's pixels: each is made only with the other, so that an
  // image is the same whichever of the two was stale.
  const bool together = want_detail && format != WebImageFormat::kGif;
  // At density 2 a JPEG or WebP inline image has a companion at the display size, for
  // pages to offer both (srcset), when the picture gives more pixels than that.
  const ImageSize one_x_size{fit.width, fit.height};
  const bool want_1x = !video && format != WebImageFormat::kGif &&
                       settings.in_line_pixel_density == 2 &&
                       (inline_size.width != fit.width || inline_size.height != fit.height);
  const auto size_text = [](std::string_view kind, const ImageSize& size) {
    return std::string(kind) + std::to_string(size.width) + "x" + std::to_string(size.height);
  };

  ImagePlan inline_plan;
  inline_plan.kind = OutputKind::kInlineImage;
  inline_plan.path = names.inline_path;
  inline_plan.site_path = site.SitePath(names.inline_path);
  inline_plan.size = inline_size;
  // A video's poster is a frame from ffmpeg, or a drawn symbol where there is none.
  const std::string poster = !video                    ? std::string()
                             : site.Video().ffmpeg.empty() ? "video icon"
                                                           : "video frame";
  // A GIF inline image of a JPEG picture owes its colours to the palette method.
  const bool median_cut = format == WebImageFormat::kGif && (jpeg || video) &&
                          settings.in_line_palette == InlinePalette::kMedianCut;
  SetRecipe(inline_plan, median_cut ? "inline median cut" : "inline", facts.metadata.exif.orientation,
            site.Names().in_line_file_ext,
            format == WebImageFormat::kGif ? 0 : settings.in_line_quality, jpeg || video,
            (together ? size_text("with detail ", detail_size) : poster) +
                (want_1x ? size_text(" with 1x ", one_x_size) : ""));
  const int density = settings.in_line_pixel_density;
  inline_plan.adopt_box =
      LargestInlineImage(site.MaxDisplayWidth(), site.MaxDisplayHeight(), density);
  ImageState inline_state = SettleImage(site, inline_plan, digests, facts.inline_status);

  ImagePlan detail_plan;
  ImageState detail_state = ImageState::kCurrent;
  if (want_detail) {
    detail_plan.kind = OutputKind::kDetailImage;
    detail_plan.path = names.detail_image_path;
    detail_plan.site_path = site.SitePath(names.detail_image_path);
    detail_plan.size = detail_size;
    SetRecipe(detail_plan, "detail", facts.metadata.exif.orientation, "jpg",
              settings.in_line_quality, jpeg,
              together ? size_text("with inline " + site.Names().in_line_file_ext + " ",
                                   inline_size)
                       : "");
    detail_plan.adopt_box = {settings.detail_image_max_size, settings.detail_image_max_size};
    detail_plan.nested = true;
    detail_state = SettleImage(site, detail_plan, digests, facts.detail_status);
  }
  ImagePlan one_x_plan;
  ImageState one_x_state = ImageState::kCurrent;
  Status one_x_status;
  if (want_1x) {
    one_x_plan.kind = OutputKind::kInlineImage;
    one_x_plan.path = names.inline_1x_path;
    one_x_plan.site_path = site.SitePath(names.inline_1x_path);
    one_x_plan.size = one_x_size;
    // Reduced from the inline image's pixels when it can be, else from the detail image's
    // or the decoded picture's: which one shapes its bytes.
    const bool from_inline = IsReducedFrom(inline_size.width, inline_size.height,
                                           one_x_size.width, one_x_size.height);
    SetRecipe(one_x_plan, "inline 1x", facts.metadata.exif.orientation, site.Names().in_line_file_ext,
              settings.in_line_quality, jpeg,
              size_text("with inline ", inline_size) +
                  (together ? size_text(" with detail ", detail_size) : "") +
                  (from_inline ? " from inline" : ""));
    one_x_plan.adopt_box = {site.MaxDisplayWidth(), site.MaxDisplayHeight()};
    one_x_plan.nested = true;
    one_x_state = SettleImage(site, one_x_plan, digests, one_x_status);
  }
  // The 1x image is reduced from the same decode as the others: all are made together.
  if (want_1x && (inline_state == ImageState::kToMake || one_x_state == ImageState::kToMake ||
                  (together && detail_state == ImageState::kToMake))) {
    if (inline_state == ImageState::kCurrent) inline_state = ImageState::kToMake;
    if (one_x_state == ImageState::kCurrent) one_x_state = ImageState::kToMake;
    if (together && detail_state == ImageState::kCurrent) detail_state = ImageState::kToMake;
  }
  if (together && (inline_state == ImageState::kToMake || detail_state == ImageState::kToMake)) {
    if (inline_state == ImageState::kCurrent) inline_state = ImageState::kToMake;
    if (detail_state == ImageState::kCurrent) detail_state = ImageState::kToMake;
  }

  // A preview makes nothing: an image to make is taken as made, as the pages name it.
  const bool make = site.Preview() == nullptr;
  // A video's inline image is made from its poster, a JPEG file beside it for the time of
  // the making.
  std::optional<TempFileBeside> poster_file;
  std::string source = names.anchor_path;
  if (make && video && inline_state == ImageState::kToMake) {
    Result<TempFileBeside> temp =
        TempFileBeside::Create(names.inline_path, TempFileBeside::Durability::kUnsynced);
    if (!temp.ok() || !(facts.inline_status = temp->Close()).ok()) {
      if (!temp.ok()) facts.inline_status = temp.status();
      inline_state = ImageState::kRefused;
    } else {
      poster_file.emplace(std::move(*temp));
      source = poster_file->TempPath().string();
      WriteVideoPoster(site.Video(), names.anchor_path, facts.metadata.exif.duration_seconds,
                       inline_size, source);
    }
  }
  const bool from_jpeg = jpeg || video;

  MadeImage inline_made;
  MadeImage detail_made;
  MadeImage one_x_made;
  std::vector<WebImageRequest> requests;
  // One web image to make from one decode with the others; `made` learns what was written.
  const auto add_request = [&](const std::string& from, bool from_is_jpeg, const std::string& target,
                              WebImageFormat image_format, const ImagePlan& plan,
                              Orientation turn, MadeImage& made) {
    WebImageRequest request;
    request.source = from;
    request.source_is_jpeg = from_is_jpeg;
    request.target = target;
    request.format = image_format;
    request.width = plan.size.width;
    request.height = plan.size.height;
    request.quality = settings.in_line_quality;
    request.orientation = turn;
    request.before_replace = NoteBeforeReplace(site, plan, plan.in_place, made);
    requests.push_back(std::move(request));
  };
  bool decoded = false;
  std::string damage;
  if (make && inline_state == ImageState::kToMake && format == WebImageFormat::kGif) {
    // A GIF inline image has a maker of its own.
    const BeforeReplace hook = NoteBeforeReplace(site, inline_plan, inline_plan.in_place, inline_made);
    const ImageSize& size = inline_plan.size;
    InlineGifOptions options;
    options.orientation = orientation;
    options.palette = settings.in_line_palette;
    options.before_replace = hook;
    options.damage = &damage;
    if (from_jpeg && source == names.anchor_path) options.file_bytes = digests.ForDecode();
    facts.inline_status =
        from_jpeg ? MakeJpegInlineImage(source, names.inline_path, size.width, size.height, options)
                  : ResizeGifToSize(size.width, size.height, names.anchor_path, names.inline_path,
                                    Orientation::kNormal, hook);
    decoded = jpeg;
  } else if (make && inline_state == ImageState::kToMake) {
    add_request(source, from_jpeg, names.inline_path, format, inline_plan, orientation, inline_made);
  }
  if (make && want_detail && detail_state == ImageState::kToMake) {
    add_request(names.anchor_path, jpeg, names.detail_image_path, WebImageFormat::kJpeg,
               detail_plan, facts.metadata.exif.orientation, detail_made);
  }
  if (make && want_1x && one_x_state == ImageState::kToMake) {
    add_request(source, from_jpeg, names.inline_1x_path, format, one_x_plan, orientation,
               one_x_made);
  }
  if (!requests.empty()) {
    // Both images from one decode of the picture when both are to be made.
    std::vector<std::string> damages;
    const std::vector<Status> outcomes = MakeWebImages(
        requests, &damages,
        requests.front().source == names.anchor_path ? digests.ForDecode() : nullptr);
    for (std::size_t i = 0; i < requests.size(); ++i) {
      const std::filesystem::path& target = requests[i].target;
      (target == names.inline_path       ? facts.inline_status
       : target == names.inline_1x_path ? one_x_status
                                        : facts.detail_status) = outcomes[i];
      if (i < damages.size() && damage.empty()) damage = damages[i];
    }
    decoded = jpeg;
  }
  if (decoded) facts.damage = damage;
  digests.TakeFromDecode();
  digests.Settle();
  // New bytes equal to those in place left the image as it was: it counts as current.
  if (inline_made.same) {
    facts.inline_status = Status::OK();
    inline_state = ImageState::kCurrent;
  }
  if (detail_made.same) facts.detail_status = Status::OK();

  if ((inline_state == ImageState::kToMake || inline_made.same) && facts.inline_status.ok()) {
    RecordMadeImage(site, inline_plan, picture_path, facts.image, inline_made.content);
  }
  if (want_detail && detail_state == ImageState::kToMake && facts.detail_status.ok()) {
    RecordMadeImage(site, detail_plan, picture_path, facts.image, detail_made.content);
  }
  if (one_x_made.same) one_x_status = Status::OK();
  if (want_1x && one_x_state == ImageState::kToMake && one_x_status.ok()) {
    RecordMadeImage(site, one_x_plan, picture_path, facts.image, one_x_made.content);
  }
  facts.has_1x = want_1x && one_x_state != ImageState::kRefused && one_x_status.ok();
  facts.inline_outcome = inline_state == ImageState::kCurrent ? PictureFacts::Inline::kCurrent
                        : facts.inline_status.ok()            ? PictureFacts::Inline::kMade
                                                             : PictureFacts::Inline::kFailed;
  if (want_detail && facts.detail_status.ok()) {
    facts.detail_width = detail_plan.size.width;
    facts.detail_height = detail_plan.size.height;
  }
}

}  // namespace

PictureFacts LearnPicture(const WebSite& site, const FileItem& item) {
  return LearnPicture(site, item, PictureFilesOf(item, site.Names()));
}

PictureFacts LearnPicture(const WebSite& site, const FileItem& item, PictureFiles files) {
  PictureFacts facts;
  facts.files = std::move(files);
  const PictureFiles& names = facts.files;
  const bool jpeg = IsJpegPicture(item);
  SiteRecord& record = site.Record();
  const std::string picture_path = site.SitePath(names.anchor_path);
  // A picture the record knows as this very file is taken from the record.
  const std::optional<RecordedPicture> recorded = record.FindPicture(picture_path);
  const int reader_version = ReaderVersionOf(item, site.Video());
  const bool same_readers = recorded && recorded->reader_version == reader_version;
  const bool trusted = same_readers && recorded->stamp.inode != 0 &&
                       recorded->stamp == ScannedStamp(item);
  // A JPEG picture new to the record is about to be decoded for its images, which reads the
  // whole file: its digests come from that read (see LateDigests).
  const bool late_digests = !recorded && jpeg && !IsVideoFile(item);
  if (trusted) {
    facts.width = recorded->width;
    facts.height = recorded->height;
    facts.comments = recorded->comments;
    facts.metadata = recorded->metadata;
    facts.content = recorded->content;
    facts.image = recorded->image;
  } else {
    ReadPictureFacts(item, names, jpeg, site.Video(), !late_digests, facts);
  }
  // A frame of no pixels in either direction cannot be shown (a JPEG height of 0 is legal,
  // defined at the end of the scan, but such pictures are not read that far).
  facts.readable = facts.width > 0 && facts.height > 0;
  if (!facts.readable) return facts;
  LateDigests digests(facts, item.FullFileName(), late_digests);
  // What the decoder said of the same image bytes before, until a decode says otherwise: it
  // skips the comments.
  if (same_readers && recorded->image == facts.image) facts.damage = recorded->damage;
  facts.text_file = ReadListedPictureTextFile(item, names);
  // A preview takes the caption the layout window holds, saved or not.
  if (const PagePreview* preview = site.Preview()) {
    if (const auto found = preview->comments.find(names.anchor_path);
        found != preview->comments.end()) {
      facts.comments = found->second;
    }
    if (const auto found = preview->files.find(names.text_path); found != preview->files.end()) {
      facts.text_file = found->second;
    }
  }
  facts.detail_page_record = record.FindOutput(site.SitePath(names.detail_path));

  // Beside a user's folder of the inline folder's name, no inline or detail image is made.
  if (!names.inline_path.empty()) {
    MakePictureImages(site, names, jpeg, IsVideoFile(item), facts, digests);
  }
  digests.Settle();
  if (site.Preview()) return facts;  // A preview records nothing.

  if (trusted && facts.damage == recorded->damage) {
    record.ConfirmPicture(picture_path);
  } else {
    RecordedPicture learned;
    learned.stamp = ScannedStamp(item);
    learned.content = facts.content;
    learned.image = facts.image;
    learned.reader_version = reader_version;
    learned.width = facts.width;
    learned.height = facts.height;
    learned.comments = facts.comments;
    learned.metadata = facts.metadata;
    learned.damage = facts.damage;
    record.RecordPicture(picture_path, learned);
  }
  return facts;
}

void SetPictureVars(VariableList& array, const PictureEntryVars& vars) {
  const std::string_view anchor_name = vars.anchor_name;
  const std::string_view inline_link = vars.inline_link;
  const std::string_view text_path = vars.text_path;
  const std::string_view base_name = vars.base_name;
  const std::string_view detail_link = vars.detail_link;
  const std::string_view comment_text = vars.comment_text;
  const std::uint64_t file_size = vars.file_size;
  array.RevertMarkedVars();
  array.mark_changes = true;
  array.SetVar("AnchorDOSFullFileName", vars.anchor_path);
  array.SetVar("AnchorFileName", anchor_name);
  array.SetVar("ImageDOSFullFileName", vars.inline_path);
  array.SetVar("ImageFileName", inline_link);
  array.SetVar("TextDOSFullFileName", text_path);
  array.SetVar("BaseFileName", base_name);
  array.SetVar("DetailPageFileName", detail_link);
  array.SetLongVar("FileSizeInBytes", static_cast<long long>(file_size));
  array.SetLongVar("FileSizeInK", static_cast<long long>(file_size / 1024));
  array.SetVar("ImageComments", comment_text);
  // Companions for layouts: the names made safe for links and for text.
  array.SetVar("AnchorFileURL", UrlEncodePath(anchor_name));
  array.SetVar("AnchorFileNameHTML", HtmlEscape(anchor_name));
  array.SetVar("ImageFileURL", UrlEncodePath(inline_link));
  array.SetVar("DetailPageFileURL", UrlEncodePath(detail_link));
  array.SetVar("BaseFileNameHTML", HtmlEscape(base_name));
  array.SetVar("BaseFileTitleHTML", HtmlEscape(TitleFromFileName(base_name)));
  std::string read_here;
  if (vars.text_file_text == nullptr) read_here = ReadPictureTextFile(text_path);
  const std::string& picture_text = vars.text_file_text != nullptr ? *vars.text_file_text : read_here;
  SetCaptionVars(array, vars, picture_text);
  if (!comment_text.empty()) array.ParseVarText(comment_text);
  if (!picture_text.empty()) array.ParseVarText(picture_text);
}

DisplayFit ComputeDisplaySize(int width, int height, int max_display_width,
                               int max_display_height) {
  DisplayFit fit;
  const double xs = static_cast<double>(width) / max_display_width;
  const double ys = static_cast<double>(height) / max_display_height;
  fit.scale = xs >= ys ? xs : ys;
  if (!(fit.scale > 0.0)) {
    fit.width = fit.height = 1;
    return fit;
  }
  // Truncated toward zero, as the box arithmetic always was: a side that should equal the
  // box can come out one pixel short. A side never drops below one pixel, and never passes
  // the largest int (which rounding could otherwise do for an unbounded box).
  auto side = [&](int size) {
    const double shown = size / fit.scale;
    if (shown >= static_cast<double>(INT_MAX)) return INT_MAX;
    return shown < 1.0 ? 1 : static_cast<int>(shown);
  };
  fit.width = side(width);
  fit.height = side(height);
  return fit;
}

ImageSize InlineFileSize(const DisplayFit& fit, int width, int height, int density) {
  if (density <= 1) return {fit.width, fit.height};
  // More pixels than the picture has would only blur; a picture shown larger than it is
  // keeps the display size.
  double factor = density;
  factor = std::min(factor, static_cast<double>(width) / fit.width);
  factor = std::min(factor, static_cast<double>(height) / fit.height);
  factor = std::max(factor, 1.0);
  return {std::max(1, static_cast<int>(std::lround(fit.width * factor))),
          std::max(1, static_cast<int>(std::lround(fit.height * factor)))};
}

ImageSize LargestInlineImage(int width, int height, int density) {
  const auto side = [density](int box) {
    return static_cast<int>(std::min<long long>(static_cast<long long>(box) * std::max(1, density),
                                                INT_MAX));
  };
  return {side(width), side(height)};
}

ImageSize DetailImageSize(int width, int height, int max_side) {
  if (max_side < 1 || (width <= max_side && height <= max_side)) return {width, height};
  const double scale = static_cast<double>(max_side) / std::max(width, height);
  return {std::max(1, static_cast<int>(std::lround(width * scale))),
          std::max(1, static_cast<int>(std::lround(height * scale)))};
}

}  // namespace pix
