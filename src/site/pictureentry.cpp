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
#include <vector>

#include "base/progress.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/picturenames.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/decjpeg.h"
#include "picture/gifrsize.h"
#include "picture/metadata.h"
#include "picture/versions.h"
#include "picture/webimage.h"
#include "site/caption.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/siterecord.h"
#include "site/variable.h"
#include "site/webpage.h"
#include "site/website.h"

namespace pix {
namespace {

void SetNamedPictureVars(TVarArray& array, const PictureFiles& names, std::uint64_t fileSize,
                         std::string_view comment, const std::string& textFile,
                         const PictureMetadata* metadata) {
  TPictureEntryVars vars;
  vars.AnchorPath = names.anchor_path;
  vars.AnchorName = names.anchor_name;
  vars.InlinePath = names.inline_path;
  vars.InlineLink = names.inline_link;
  vars.TextPath = names.text_path;
  vars.BaseName = names.base_name;
  vars.DetailLink = names.detail_link;
  vars.FileSize = fileSize;
  vars.CommentText = comment;
  vars.TextFileText = &textFile;
  vars.Metadata = metadata;
  SetPictureVars(array, vars);
}

void AddEntry(TWebPage& page, const PictureFiles& names, const TPictureFacts& facts,
              const TDisplayFit& fit, std::uint64_t fileSize, const TPictureNeighbours& around) {
  TVarArray& array = page.VarArray();
  array.SetIntVar("DisplayWidth", fit.Width);
  array.SetIntVar("DisplayHeight", fit.Height);
  array.SetIntVar("AnchorWidth", facts.Width);
  array.SetIntVar("AnchorHeight", facts.Height);
  // The page opens at its first entry and sets its own values then (UpPageURL among them);
  // the picture's values below come after, so that they shadow the page's.
  page.EnsurePageOpen();
  array.bMarkChanges = true;
  // The picture a detail page shows: its web-sized copy, or the picture itself.
  const bool detailImage = facts.DetailWidth > 0 && facts.DetailHeight > 0;
  array.SetVar("DetailImageURL",
               UrlEncodePath(detailImage ? names.detail_image_link : names.anchor_name));
  array.SetIntVar("DetailImageWidth", detailImage ? facts.DetailWidth : facts.Width);
  array.SetIntVar("DetailImageHeight", detailImage ? facts.DetailHeight : facts.Height);
  array.SetVar("PrevDetailPageURL", around.PrevLink);
  array.SetVar("PrevDetailPageCaptionText", around.PrevCaptionText);
  array.SetVar("NextDetailPageURL", around.NextLink);
  array.SetVar("NextDetailPageCaptionText", around.NextCaptionText);
  array.SetIntVar("PictureIndex", around.Index);
  array.SetIntVar("PictureCount", around.Count);
  array.SetVar("UpPageURL", UrlEncodePath(page.PageLinkName()));
  page.AddPictureEntry(array, fileSize, names.detail_path, facts.DetailPageRecord);
  ++page.Site().Stats().Pictures;
}

// The text file beside a picture, or nothing. Only its start is read: such a file holds a
// few variables. A file that is missing costs one failed open; one that is no plain file
// (a directory, a named pipe) reads as empty.
std::string ReadPictureTextFile(std::string_view textPath) {
  std::string text;
  if (textPath.empty()) return text;
  const int fd = ::open(std::string(textPath).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
  const std::string_view textName =
      std::string_view(names.text_path).substr(names.text_path.rfind('/') + 1);
  if (CompareFileNames(textName, picture.szFileName()) > 0) {
    const FileItem* text = FindLaterSibling(picture, textName);
    if (text == nullptr || IsDirectory(*text)) return std::string();
  }
  return ReadPictureTextFile(names.text_path);
}

// The caption, date and camera of a picture, each empty when unknown. Only a JPEG picture
// has metadata; any entry may have a caption from its own variable records.
void SetCaptionVars(TVarArray& array, const TPictureEntryVars& vars, std::string_view textFile) {
  TCaptionSources sources;
  sources.CommentText = vars.CommentText;
  sources.TextFileText = textFile;
  sources.Metadata = vars.Metadata;
  const TPictureCaption caption = ChoosePictureCaption(sources);
  array.SetVar("ImageCaption", caption.Html);
  array.SetVar("ImageCaptionText", caption.AttributeText);
  // Texts from the picture reach the page escaped, like every other text it carries.
  const ExifInfo* exif = vars.Metadata != nullptr ? &vars.Metadata->exif : nullptr;
  array.SetVar("ImageDateTaken", exif != nullptr ? exif->date_taken : std::string());
  // The same for reading: "2024-06-01 14:03", without seconds and the "T".
  std::string readable = exif != nullptr ? exif->date_taken.substr(0, 16) : std::string();
  if (readable.size() > 10 && readable[10] == 'T') readable[10] = ' ';
  array.SetVar("ImageDateTakenText", readable);
  array.SetVar("ImageCamera",
               exif != nullptr ? HtmlEscape(CameraName(exif->make, exif->model)) : std::string());
}


void ReportPicture(TWebSite& site, const std::string& text) {
  site.Report(text);
  ++site.Stats().PicturesReported;
}

// Counts or reports how the inline image of a picture was settled.
void AccountInlineImage(TWebSite& site, const PictureFiles& names, const TPictureFacts& facts) {
  switch (facts.InlineOutcome) {
    case TPictureFacts::Inline::kCurrent:
      ++site.Stats().InlineReused;
      break;
    case TPictureFacts::Inline::kMade:
      ++site.Stats().InlineMade;
      break;
    case TPictureFacts::Inline::kFailed:
      ReportPicture(site, "Cannot make the inline image of " + names.anchor_path + ": " +
                              facts.InlineStatus.message());
      break;
    case TPictureFacts::Inline::kNotTried:
      break;
  }
}

// Returns whether the picture got its entry and detail page.
bool ProcessPictureWithNames(TWebPage& page, const FileItem& item, const PictureFiles& names,
                             TPictureFacts facts, const TPictureNeighbours& around) {
  TWebSite& site = page.Site();
  const bool jpeg = IsJpegPicture(item);
  if (jpeg && facts.bMissing) {
    // The picture vanished since the scan: the user may go on without it or stop the run.
    ++site.Stats().PicturesReported;
    ++site.Stats().ProblemsReported;
    if (site.user_interface().ShowMessage(names.anchor_path, "Missing File",
                                         MessageButtons::kOkCancel, MessageIcon::kWarning) ==
        MessageAnswer::kCancel) {
      site.Cancel();
    }
    return false;
  }
  if (!facts.bReadable) {
    ReportPicture(site, !facts.OpenStatus.ok() ? facts.OpenStatus.message()
                                               : (jpeg ? "JPEG file " : "GIF file ") +
                                                     names.anchor_path + " is corrupt");
    return false;
  }
  if (!facts.Damage.empty()) {
    ReportPicture(site, "JPEG file " + names.anchor_path + " is damaged (" + facts.Damage +
                            "); it is published as far as it could be read");
  }
  const std::uint64_t fileSize = item.lSize();
  SetNamedPictureVars(page.VarArray(), names, fileSize, facts.szComments, facts.szTextFile,
                      jpeg ? &facts.Metadata : nullptr);
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  AccountInlineImage(site, names, facts);
  if (jpeg && site.Settings().detail_image_max_size > 0 && !facts.DetailStatus.ok()) {
    ReportPicture(site, "Cannot make the detail image of " + names.anchor_path + ": " +
                            facts.DetailStatus.message());
  }
  AddEntry(page, names, facts, fit, fileSize, around);
  return true;
}

// The caption of a picture as plain text for links to it: its caption, or its name.
std::string NeighbourCaptionText(const PictureFiles& names, const TPictureFacts& facts,
                                 bool jpeg) {
  TCaptionSources sources;
  sources.CommentText = facts.szComments;
  sources.TextFileText = facts.szTextFile;
  sources.Metadata = jpeg ? &facts.Metadata : nullptr;
  const TPictureCaption caption = ChoosePictureCaption(sources);
  return caption.AttributeText.empty() ? HtmlEscape(names.base_name) : caption.AttributeText;
}

}  // namespace

void ProcessPictures(TWebPage& page, const std::vector<const FileItem*>& pictures) {
  TWebSite& site = page.Site();
  // Each picture's facts are learned once, at most one readable picture ahead of the one
  // being written, so that its detail page can link to the next picture.
  std::vector<std::optional<TPictureFacts>> learned(pictures.size());
  auto factsOf = [&](std::size_t i) -> TPictureFacts& {
    if (!learned[i]) {
      std::optional<TPictureFacts> taken = site.TakePictureFacts(*pictures[i]);
      learned[i] = taken ? std::move(*taken) : LearnPicture(site, *pictures[i]);
    }
    return *learned[i];
  };
  TPictureNeighbours around;
  around.Count = static_cast<int>(pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    if (site.Cancelled()) return;
    const FileItem& item = *pictures[i];
    const std::string name(item.szFileName());
    site.progress().SetCurrentStep("Processing Image " + name);
    page.VarArray().bMarkChanges = true;
    const PictureFiles names = PictureFilesOf(item, site.Names());
    TPictureFacts facts = std::move(factsOf(i));
    around.Index = static_cast<int>(i) + 1;
    around.NextLink.clear();
    around.NextCaptionText.clear();
    for (std::size_t j = i + 1; j < pictures.size() && facts.bReadable; ++j) {
      const TPictureFacts& next = factsOf(j);
      if (!next.bReadable) continue;
      const PictureFiles nextNames = PictureFilesOf(*pictures[j], site.Names());
      around.NextLink = UrlEncodePath(nextNames.detail_link);
      around.NextCaptionText =
          NeighbourCaptionText(nextNames, next, IsJpegPicture(*pictures[j]));
      break;
    }
    const bool jpeg = IsJpegPicture(item);
    const std::string caption =
        facts.bReadable ? NeighbourCaptionText(names, facts, jpeg) : std::string();
    if (ProcessPictureWithNames(page, item, names, std::move(facts), around)) {
      around.PrevLink = UrlEncodePath(names.detail_link);
      around.PrevCaptionText = caption;
    }
    learned[i].reset();
    site.progress().SetCurrentStep("Finshed " + name);
    site.progress().StepBy(1);
  }
}

namespace {

// A picture's stamp as the scan found it.
TFileStamp ScannedStamp(const FileItem& item) {
  return TFileStamp{item.lSize(), item.WriteTimeNs(), item.ChangeTimeNs(), item.Inode()};
}

// An image a picture needs: where it goes, what it must be made from and how.
struct TImagePlan {
  TOutputKind Kind = TOutputKind::kInlineImage;
  std::string Path;      // Full path.
  std::string SitePath;  // As the record keeps it.
  TImageSize Size;
  TDigest Recipe;
  // The largest image of this kind a run could have made: an image found in a site made
  // before the record is taken for the run's only when it fits this box.
  TImageSize AdoptBox;
  // The bytes in place, when the file there is the run's (set by SettleImage).
  std::optional<TDigest> InPlace;
};

// The recipe of an image: everything that shapes its bytes. The picture is named by the
// digest of its bytes, so that a picture swapped for another, or restored with old times,
// is told apart from the one the image was made from, and a picture only touched is not.
// `partner` names the other image made from the same decode, whose pixels this one may be
// reduced from; it is part of the recipe, since it shapes the bytes.
TDigest RecipeOf(std::string_view what, const TPictureFacts& facts, const TImageSize& size,
                 std::string_view format, int quality, bool jpeg, std::string_view partner) {
  std::string text(what);
  text += ' ';
  text += std::to_string(kImageMakerVersion);
  text.append(reinterpret_cast<const char*>(&facts.Content.Low), 8);
  text.append(reinterpret_cast<const char*>(&facts.Content.High), 8);
  text += ' ';
  text += format;
  text += ' ' + std::to_string(size.Width) + 'x' + std::to_string(size.Height);
  text += " q" + std::to_string(quality);
  text += " o" + std::to_string(static_cast<int>(facts.Metadata.exif.orientation));
  text += jpeg ? " jpeg" : " gif";
  text += ' ';
  text += partner;
  return DigestOf(text);
}

// How an image of a picture stands before anything is made.
enum class TImageState { kCurrent, kToMake, kRefused };

// Settles one image: current when the record made it from the same recipe and the file is
// still as written; to be made when nothing is there or the file is the run's; refused
// (and reported once) when the file in its place is the user's.
TImageState SettleImage(const TWebSite& site, TImagePlan& plan, Status& status) {
  // The folders first: nothing is looked at, let alone written, through a linked folder.
  const std::string folder = plan.Path.substr(0, plan.Path.rfind('/'));
  if (plan.Kind == TOutputKind::kDetailImage) {
    status = site.EnsureOutputFolder(folder.substr(0, folder.rfind('/')));
    if (!status.ok()) return TImageState::kRefused;
  }
  status = site.EnsureOutputFolder(folder);
  if (!status.ok()) return TImageState::kRefused;
  TSiteRecord& record = site.Record();
  const std::optional<TRecordedOutput> recorded = record.FindOutput(plan.SitePath);
  const auto adoptable = [&plan](const std::filesystem::path& path) {
    int width = 0;
    int height = 0;
    return GetWebImageSize(path, &width, &height).ok() &&
           width - 2 <= plan.AdoptBox.Width && height - 2 <= plan.AdoptBox.Height;
  };
  const TClaimResult claim = record.Claim(plan.Path, recorded, adoptable);
  if (claim.Claim == TClaim::kOurs && recorded) plan.InPlace = recorded->Content;
  if (claim.Claim == TClaim::kOurs && recorded && recorded->Recipe == plan.Recipe &&
      recorded->Width == plan.Size.Width && recorded->Height == plan.Size.Height) {
    if (claim.StampMatched) {
      record.ConfirmOutput(plan.SitePath);
    } else if (const std::optional<TFileStamp> stamp = StampOfFile(plan.Path, false)) {
      TRecordedOutput again = *recorded;
      again.Stamp = *stamp;
      record.RecordOutput(plan.SitePath, again);
    }
    return TImageState::kCurrent;
  }
  if (claim.Claim == TClaim::kAbsent || claim.Claim == TClaim::kOurs) return TImageState::kToMake;
  // The file is the user's now: the record lets it go.
  if (recorded) record.ForgetOutput(plan.SitePath);
  // Reported by the page writer as "Cannot make the inline image of PICTURE: " and this.
  status = Status::Refused(plan.Path + " is kept as it is (" + claim.Why + ")");
  return TImageState::kRefused;
}

// Records an image just made from `plan`, whose bytes have `content`.
void RecordMadeImage(const TWebSite& site, const TImagePlan& plan, std::string_view picture,
                     const TDigest& content) {
  TRecordedOutput made;
  made.Kind = plan.Kind;
  made.Source.assign(picture);
  made.Recipe = plan.Recipe;
  made.Content = content;
  made.Stamp = StampOfFile(plan.Path, false).value_or(TFileStamp());
  made.Width = plan.Size.Width;
  made.Height = plan.Size.Height;
  site.Record().RecordOutput(plan.SitePath, made);
}

// What became of an image the run set out to make.
struct TMadeImage {
  TDigest Content;     // Of the new bytes.
  bool Same = false;  // They were the bytes already in place, which stay untouched.
};

// The hook that notes an image's bytes just before they are put in place, and keeps their
// digest for the record. New bytes equal to the image already in place (`current`, when it
// is the run's) are not put in place at all, so the image keeps its time.
BeforeReplace NoteBeforeReplace(const TWebSite& site, const TImagePlan& plan,
                                 std::optional<TDigest> current, TMadeImage& made) {
  return [&site, &plan, current, &made](const std::filesystem::path& finished) {
    const std::optional<TDigest> digest = DigestOfFile(finished);
    if (!digest) return Status::IoError("Cannot read " + finished.string());
    made.Content = *digest;
    if (current && *current == *digest) {
      made.Same = true;
      return Status::Exists(plan.Path + " already holds these bytes");
    }
    return site.Record().NotePending(plan.SitePath, plan.Kind, made.Content);
  };
}

// Reads the facts of a picture the record does not know as it is now: its size, comment,
// metadata and the digest of its bytes.
void ReadPictureFacts(const FileItem& item, const PictureFiles& names, bool jpeg,
                      TPictureFacts& facts) {
  if (jpeg) {
    FileImageInfo info;
    info.file_name = names.anchor_path;
    // One walk over the header gives the size, the caption and the metadata.
    JpegMetadataSegments segments;
    info.metadata_segments = &segments;
    ReadJpegImageInfo(&info);
    facts.bMissing = info.missing;
    if (info.open_error != 0) {
      facts.OpenStatus = Status::IoError("Cannot open " + names.anchor_path + ": " +
                                         std::strerror(info.open_error));
    }
    facts.Metadata = ParseJpegMetadata(segments);
    // Sizes are those of the picture shown upright.
    const bool swap = SwapsSides(facts.Metadata.exif.orientation);
    facts.Width = swap ? info.height : info.width;
    facts.Height = swap ? info.width : info.height;
    facts.szComments = std::move(info.comments);
  } else if (Status read = GetGifSize(&facts.Width, &facts.Height, names.anchor_path); !read.ok()) {
    facts.Width = facts.Height = 0;
    if (read.code() == Status::Code::kIoError) facts.OpenStatus = read;
  }
  if (facts.Width > 0 && facts.Height > 0) {
    facts.Content = DigestOfFile(item.szFullFileName()).value_or(TDigest());
  }
}

// Settles the inline and detail images of a readable picture, making what is missing or
// made from another recipe, and notes how each came out.
void MakePictureImages(const TWebSite& site, const PictureFiles& names, bool jpeg,
                       TPictureFacts& facts) {
  const RunSettings& settings = site.Settings();
  const std::string picturePath = site.SitePath(names.anchor_path);
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  const WebImageFormat format = WebImageFormatOf(names.inline_path);
  const Orientation orientation = jpeg ? facts.Metadata.exif.orientation : Orientation::kNormal;

  const bool wantDetail = jpeg && settings.detail_image_max_size > 0;
  const TImageSize inlineSize =
      InlineFileSize(fit, facts.Width, facts.Height, settings.in_line_pixel_density);
  const TImageSize detailSize =
      DetailImageSize(facts.Width, facts.Height, settings.detail_image_max_size);
  // A JPEG or WebP inline image and the detail image come from one decode, and the smaller
  // may be reduced from the larger's pixels: each is made only with the other, so that an
  // image is the same whichever of the two was stale.
  const bool together = wantDetail && format != WebImageFormat::kGif;
  const auto sizeText = [](std::string_view kind, const TImageSize& size) {
    return std::string(kind) + std::to_string(size.Width) + "x" + std::to_string(size.Height);
  };

  TImagePlan inlinePlan;
  inlinePlan.Kind = TOutputKind::kInlineImage;
  inlinePlan.Path = names.inline_path;
  inlinePlan.SitePath = site.SitePath(names.inline_path);
  inlinePlan.Size = inlineSize;
  inlinePlan.Recipe = RecipeOf("inline", facts, inlineSize, site.Names().in_line_file_ext,
                               format == WebImageFormat::kGif ? 0 : settings.in_line_quality, jpeg,
                               together ? sizeText("with detail ", detailSize) : "");
  const int density = settings.in_line_pixel_density;
  inlinePlan.AdoptBox =
      LargestInlineImage(site.MaxDisplayWidth(), site.MaxDisplayHeight(), density);
  TImageState inlineState = SettleImage(site, inlinePlan, facts.InlineStatus);

  TImagePlan detailPlan;
  TImageState detailState = TImageState::kCurrent;
  if (wantDetail) {
    detailPlan.Kind = TOutputKind::kDetailImage;
    detailPlan.Path = names.detail_image_path;
    detailPlan.SitePath = site.SitePath(names.detail_image_path);
    detailPlan.Size = detailSize;
    detailPlan.Recipe =
        RecipeOf("detail", facts, detailSize, "jpg", settings.in_line_quality, jpeg,
                 together ? sizeText("with inline " + site.Names().in_line_file_ext + " ",
                                     inlineSize)
                          : "");
    detailPlan.AdoptBox = {settings.detail_image_max_size, settings.detail_image_max_size};
    detailState = SettleImage(site, detailPlan, facts.DetailStatus);
  }
  if (together && (inlineState == TImageState::kToMake || detailState == TImageState::kToMake)) {
    if (inlineState == TImageState::kCurrent) inlineState = TImageState::kToMake;
    if (detailState == TImageState::kCurrent) detailState = TImageState::kToMake;
  }

  TMadeImage inlineMade;
  TMadeImage detailMade;
  std::vector<WebImageRequest> requests;
  bool decoded = false;
  std::string damage;
  if (inlineState == TImageState::kToMake && format == WebImageFormat::kGif) {
    // A GIF inline image has a maker of its own.
    const BeforeReplace hook = NoteBeforeReplace(site, inlinePlan, inlinePlan.InPlace, inlineMade);
    const TImageSize& size = inlinePlan.Size;
    facts.InlineStatus =
        jpeg ? MakeJpegInlineImage(names.anchor_path, names.inline_path, size.Width, size.Height,
                                   DecodeReduction::kDctScaling, orientation, hook, &damage)
             : ResizeGifToSize(size.Width, size.Height, names.anchor_path, names.inline_path,
                               Orientation::kNormal, hook);
    decoded = jpeg;
  } else if (inlineState == TImageState::kToMake) {
    WebImageRequest request;
    request.source = names.anchor_path;
    request.source_is_jpeg = jpeg;
    request.target = names.inline_path;
    request.format = format;
    request.width = inlinePlan.Size.Width;
    request.height = inlinePlan.Size.Height;
    request.quality = settings.in_line_quality;
    request.orientation = orientation;
    request.before_replace = NoteBeforeReplace(site, inlinePlan, inlinePlan.InPlace, inlineMade);
    requests.push_back(std::move(request));
  }
  if (wantDetail && detailState == TImageState::kToMake) {
    WebImageRequest request;
    request.source = names.anchor_path;
    request.target = names.detail_image_path;
    request.width = detailPlan.Size.Width;
    request.height = detailPlan.Size.Height;
    request.quality = settings.in_line_quality;
    request.orientation = facts.Metadata.exif.orientation;
    request.before_replace = NoteBeforeReplace(site, detailPlan, detailPlan.InPlace, detailMade);
    requests.push_back(std::move(request));
  }
  if (!requests.empty()) {
    // Both images from one decode of the picture when both are to be made.
    std::vector<std::string> damages;
    const std::vector<Status> outcomes = MakeWebImages(requests, &damages);
    for (std::size_t i = 0; i < requests.size(); ++i) {
      const bool isInline = requests[i].target == names.inline_path;
      (isInline ? facts.InlineStatus : facts.DetailStatus) = outcomes[i];
      if (i < damages.size() && damage.empty()) damage = damages[i];
    }
    decoded = jpeg;
  }
  if (decoded) facts.Damage = damage;
  // New bytes equal to those in place left the image as it was: it counts as current.
  if (inlineMade.Same) {
    facts.InlineStatus = Status::OK();
    inlineState = TImageState::kCurrent;
  }
  if (detailMade.Same) facts.DetailStatus = Status::OK();

  if ((inlineState == TImageState::kToMake || inlineMade.Same) && facts.InlineStatus.ok()) {
    RecordMadeImage(site, inlinePlan, picturePath, inlineMade.Content);
  }
  if (wantDetail && detailState == TImageState::kToMake && facts.DetailStatus.ok()) {
    RecordMadeImage(site, detailPlan, picturePath, detailMade.Content);
  }
  facts.InlineOutcome = inlineState == TImageState::kCurrent ? TPictureFacts::Inline::kCurrent
                        : facts.InlineStatus.ok()            ? TPictureFacts::Inline::kMade
                                                             : TPictureFacts::Inline::kFailed;
  if (wantDetail && facts.DetailStatus.ok()) {
    facts.DetailWidth = detailPlan.Size.Width;
    facts.DetailHeight = detailPlan.Size.Height;
  }
}

}  // namespace

TPictureFacts LearnPicture(const TWebSite& site, const FileItem& item) {
  TPictureFacts facts;
  const PictureFiles names = PictureFilesOf(item, site.Names());
  const bool jpeg = IsJpegPicture(item);
  TSiteRecord& record = site.Record();
  const std::string picturePath = site.SitePath(names.anchor_path);
  // A picture the record knows as this very file is taken from the record.
  const std::optional<TRecordedPicture> recorded = record.FindPicture(picturePath);
  const bool sameReaders = recorded && recorded->ReaderVersion == kPictureReaderVersion;
  const bool trusted = sameReaders && recorded->Stamp.Inode != 0 &&
                       recorded->Stamp == ScannedStamp(item);
  if (trusted) {
    facts.Width = recorded->Width;
    facts.Height = recorded->Height;
    facts.szComments = recorded->Comments;
    facts.Metadata = recorded->Metadata;
    facts.Content = recorded->Content;
  } else {
    ReadPictureFacts(item, names, jpeg, facts);
  }
  // A frame of no pixels in either direction cannot be shown (a JPEG height of 0 is legal,
  // defined at the end of the scan, but such pictures are not read that far).
  facts.bReadable = facts.Width > 0 && facts.Height > 0;
  if (!facts.bReadable) return facts;
  // What the decoder said of the same bytes before, until a decode says otherwise.
  if (sameReaders && recorded->Content == facts.Content) facts.Damage = recorded->Damage;
  facts.szTextFile = ReadListedPictureTextFile(item, names);
  facts.DetailPageRecord = record.FindOutput(site.SitePath(names.detail_path));

  // Beside a user's folder of the inline folder's name, no inline or detail image is made.
  if (!names.inline_path.empty()) MakePictureImages(site, names, jpeg, facts);

  if (trusted && facts.Damage == recorded->Damage) {
    record.ConfirmPicture(picturePath);
  } else {
    TRecordedPicture learned;
    learned.Stamp = ScannedStamp(item);
    learned.Content = facts.Content;
    learned.ReaderVersion = kPictureReaderVersion;
    learned.Width = facts.Width;
    learned.Height = facts.Height;
    learned.Comments = facts.szComments;
    learned.Metadata = facts.Metadata;
    learned.Damage = facts.Damage;
    record.RecordPicture(picturePath, learned);
  }
  return facts;
}

void SetPictureVars(TVarArray& array, const TPictureEntryVars& vars) {
  const std::string_view anchorName = vars.AnchorName;
  const std::string_view inlineLink = vars.InlineLink;
  const std::string_view textPath = vars.TextPath;
  const std::string_view baseName = vars.BaseName;
  const std::string_view detailLink = vars.DetailLink;
  const std::string_view commentText = vars.CommentText;
  const std::uint64_t fileSize = vars.FileSize;
  array.RevertMarkedVars();
  array.bMarkChanges = true;
  array.SetVar("AnchorDOSFullFileName", vars.AnchorPath);
  array.SetVar("AnchorFileName", anchorName);
  array.SetVar("ImageDOSFullFileName", vars.InlinePath);
  array.SetVar("ImageFileName", inlineLink);
  array.SetVar("TextDOSFullFileName", textPath);
  array.SetVar("BaseFileName", baseName);
  array.SetVar("DetailPageFileName", detailLink);
  array.SetLongVar("FileSizeInBytes", static_cast<long long>(fileSize));
  array.SetLongVar("FileSizeInK", static_cast<long long>(fileSize / 1024));
  array.SetVar("ImageComments", commentText);
  // Companions for layouts: the names made safe for links and for text.
  array.SetVar("AnchorFileURL", UrlEncodePath(anchorName));
  array.SetVar("AnchorFileNameHTML", HtmlEscape(anchorName));
  array.SetVar("ImageFileURL", UrlEncodePath(inlineLink));
  array.SetVar("DetailPageFileURL", UrlEncodePath(detailLink));
  array.SetVar("BaseFileNameHTML", HtmlEscape(baseName));
  std::string readHere;
  if (vars.TextFileText == nullptr) readHere = ReadPictureTextFile(textPath);
  const std::string& pictureText = vars.TextFileText != nullptr ? *vars.TextFileText : readHere;
  SetCaptionVars(array, vars, pictureText);
  if (!commentText.empty()) array.ParseVarText(commentText);
  if (!pictureText.empty()) array.ParseVarText(pictureText);
}

TDisplayFit ComputeDisplaySize(int width, int height, int maxDisplayWidth,
                               int maxDisplayHeight) {
  TDisplayFit fit;
  const double xs = static_cast<double>(width) / maxDisplayWidth;
  const double ys = static_cast<double>(height) / maxDisplayHeight;
  fit.Scale = xs >= ys ? xs : ys;
  if (!(fit.Scale > 0.0)) {
    fit.Width = fit.Height = 1;
    return fit;
  }
  // Truncated toward zero, as the box arithmetic always was: a side that should equal the
  // box can come out one pixel short. A side never drops below one pixel, and never passes
  // the largest int (which rounding could otherwise do for an unbounded box).
  auto side = [&](int size) {
    const double shown = size / fit.Scale;
    if (shown >= static_cast<double>(INT_MAX)) return INT_MAX;
    return shown < 1.0 ? 1 : static_cast<int>(shown);
  };
  fit.Width = side(width);
  fit.Height = side(height);
  return fit;
}

TImageSize InlineFileSize(const TDisplayFit& fit, int width, int height, int density) {
  if (density <= 1) return {fit.Width, fit.Height};
  // More pixels than the picture has would only blur; a picture shown larger than it is
  // keeps the display size.
  double factor = density;
  factor = std::min(factor, static_cast<double>(width) / fit.Width);
  factor = std::min(factor, static_cast<double>(height) / fit.Height);
  factor = std::max(factor, 1.0);
  return {std::max(1, static_cast<int>(std::lround(fit.Width * factor))),
          std::max(1, static_cast<int>(std::lround(fit.Height * factor)))};
}

TImageSize LargestInlineImage(int width, int height, int density) {
  const auto side = [density](int box) {
    return static_cast<int>(std::min<long long>(static_cast<long long>(box) * std::max(1, density),
                                                INT_MAX));
  };
  return {side(width), side(height)};
}

TImageSize DetailImageSize(int width, int height, int maxSide) {
  if (maxSide < 1 || (width <= maxSide && height <= maxSide)) return {width, height};
  const double scale = static_cast<double>(maxSide) / std::max(width, height);
  return {std::max(1, static_cast<int>(std::lround(width * scale))),
          std::max(1, static_cast<int>(std::lround(height * scale)))};
}

}  // namespace pix
