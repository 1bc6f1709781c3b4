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
#include "picture/inlinegif.h"
#include "picture/metadata.h"
#include "picture/webimage.h"
#include "site/caption.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/variable.h"
#include "site/webpage.h"
#include "site/website.h"

namespace pix {
namespace {

void SetNamedPictureVars(TVarArray& array, const TPictureFiles& names, std::uint64_t fileSize,
                         std::string_view comment, const std::string& textFile,
                         const TPictureMetadata* metadata) {
  TPictureEntryVars vars;
  vars.AnchorPath = names.AnchorPath;
  vars.AnchorName = names.AnchorName;
  vars.InlinePath = names.InlinePath;
  vars.InlineLink = names.InlineLink;
  vars.TextPath = names.TextPath;
  vars.BaseName = names.BaseName;
  vars.DetailLink = names.DetailLink;
  vars.FileSize = fileSize;
  vars.CommentText = comment;
  vars.TextFileText = &textFile;
  vars.Metadata = metadata;
  SetPictureVars(array, vars);
}

void AddEntry(TWebPage& page, const TPictureFiles& names, const TPictureFacts& facts,
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
               UrlEncodePath(detailImage ? names.DetailImageLink : names.AnchorName));
  array.SetIntVar("DetailImageWidth", detailImage ? facts.DetailWidth : facts.Width);
  array.SetIntVar("DetailImageHeight", detailImage ? facts.DetailHeight : facts.Height);
  array.SetVar("PrevDetailPageURL", around.PrevLink);
  array.SetVar("PrevDetailPageCaptionText", around.PrevCaptionText);
  array.SetVar("NextDetailPageURL", around.NextLink);
  array.SetVar("NextDetailPageCaptionText", around.NextCaptionText);
  array.SetIntVar("PictureIndex", around.Index);
  array.SetIntVar("PictureCount", around.Count);
  array.SetVar("UpPageURL", UrlEncodePath(page.PageLinkName()));
  page.AddPictureEntry(array, fileSize, names.DetailPath);
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
std::string ReadListedPictureTextFile(const TFileItem& picture, const TPictureFiles& names) {
  const std::string_view textName =
      std::string_view(names.TextPath).substr(names.TextPath.rfind('/') + 1);
  if (CompareFileNames(textName, picture.szFileName()) > 0) {
    const TFileItem* text = FindLaterSibling(picture, textName);
    if (text == nullptr || IsDirectory(*text)) return std::string();
  }
  return ReadPictureTextFile(names.TextPath);
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
  const TExifInfo* exif = vars.Metadata != nullptr ? &vars.Metadata->Exif : nullptr;
  array.SetVar("ImageDateTaken", exif != nullptr ? exif->DateTaken : std::string());
  // The same for reading: "2024-06-01 14:03", without seconds and the "T".
  std::string readable = exif != nullptr ? exif->DateTaken.substr(0, 16) : std::string();
  if (readable.size() > 10 && readable[10] == 'T') readable[10] = ' ';
  array.SetVar("ImageDateTakenText", readable);
  array.SetVar("ImageCamera",
               exif != nullptr ? HtmlEscape(CameraName(exif->Make, exif->Model)) : std::string());
}

// A picture's stamp as the scan found it.
TFileStamp ScannedStamp(const TFileItem& item) {
  return TFileStamp{item.lSize(), item.WriteTimeNs(), item.ChangeTimeNs(), item.Inode()};
}

// Notes what was learned of a readable picture for the next run.
void NotePicture(TWebSite& site, const TFileItem& item, const TPictureFiles& names,
                 const TPictureFacts& facts) {
  TNotedPicture noted;
  noted.Picture = ScannedStamp(item);
  noted.Width = facts.Width;
  noted.Height = facts.Height;
  noted.szComments = facts.szComments;
  noted.Metadata = facts.Metadata;
  noted.Inline = facts.InlineNote;
  noted.Detail = facts.DetailNote;
  site.FactsCache().NotePicture(site.SitePath(names.AnchorPath), std::move(noted));
}

void ReportPicture(TWebSite& site, const std::string& text) {
  site.Report(text);
  ++site.Stats().PicturesReported;
}

// Counts or reports how the inline image of a picture was settled.
void AccountInlineImage(TWebSite& site, const TPictureFiles& names, const TPictureFacts& facts) {
  switch (facts.InlineOutcome) {
    case TPictureFacts::Inline::kCurrent:
      ++site.Stats().InlineReused;
      break;
    case TPictureFacts::Inline::kMade:
      ++site.Stats().InlineMade;
      break;
    case TPictureFacts::Inline::kFailed:
      ReportPicture(site, "Cannot make the inline image of " + names.AnchorPath + ": " +
                              facts.InlineStatus.message());
      break;
    case TPictureFacts::Inline::kNotTried:
      break;
  }
}

// Returns whether the picture got its entry and detail page.
bool ProcessPictureWithNames(TWebPage& page, const TFileItem& item, const TPictureFiles& names,
                             TPictureFacts facts, const TPictureNeighbours& around) {
  TWebSite& site = page.Site();
  const bool jpeg = IsJpegPicture(item);
  if (jpeg && facts.bMissing) {
    // The picture vanished since the scan: the user may go on without it or stop the run.
    ++site.Stats().PicturesReported;
    ++site.Stats().ProblemsReported;
    if (site.UserInterface().ShowMessage(names.AnchorPath, "Missing File",
                                         MessageButtons::OkCancel, MessageIcon::Warning) ==
        MessageAnswer::Cancel) {
      site.Cancel();
    }
    return false;
  }
  if (!facts.bReadable) {
    ReportPicture(site, !facts.OpenStatus.ok() ? facts.OpenStatus.message()
                                               : (jpeg ? "JPEG file " : "GIF file ") +
                                                     names.AnchorPath + " is corrupt");
    return false;
  }
  NotePicture(site, item, names, facts);
  const std::uint64_t fileSize = item.lSize();
  SetNamedPictureVars(page.VarArray(), names, fileSize, facts.szComments, facts.szTextFile,
                      jpeg ? &facts.Metadata : nullptr);
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  AccountInlineImage(site, names, facts);
  if (jpeg && site.Settings().DetailImageMaxSize > 0 && !facts.DetailStatus.ok()) {
    ReportPicture(site, "Cannot make the detail image of " + names.AnchorPath + ": " +
                            facts.DetailStatus.message());
  }
  AddEntry(page, names, facts, fit, fileSize, around);
  return true;
}

// The caption of a picture as plain text for links to it: its caption, or its name.
std::string NeighbourCaptionText(const TPictureFiles& names, const TPictureFacts& facts,
                                 bool jpeg) {
  TCaptionSources sources;
  sources.CommentText = facts.szComments;
  sources.TextFileText = facts.szTextFile;
  sources.Metadata = jpeg ? &facts.Metadata : nullptr;
  const TPictureCaption caption = ChoosePictureCaption(sources);
  return caption.AttributeText.empty() ? HtmlEscape(names.BaseName) : caption.AttributeText;
}

}  // namespace

void ProcessPictures(TWebPage& page, const std::vector<const TFileItem*>& pictures) {
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
    const TFileItem& item = *pictures[i];
    const std::string name(item.szFileName());
    site.Progress().SetCurrentStep("Processing Image " + name);
    page.VarArray().bMarkChanges = true;
    const TPictureFiles names = PictureFilesOf(item, site.Names());
    TPictureFacts facts = std::move(factsOf(i));
    around.Index = static_cast<int>(i) + 1;
    around.NextLink.clear();
    around.NextCaptionText.clear();
    for (std::size_t j = i + 1; j < pictures.size() && facts.bReadable; ++j) {
      const TPictureFacts& next = factsOf(j);
      if (!next.bReadable) continue;
      const TPictureFiles nextNames = PictureFilesOf(*pictures[j], site.Names());
      around.NextLink = UrlEncodePath(nextNames.DetailLink);
      around.NextCaptionText =
          NeighbourCaptionText(nextNames, next, IsJpegPicture(*pictures[j]));
      break;
    }
    const bool jpeg = IsJpegPicture(item);
    const std::string caption =
        facts.bReadable ? NeighbourCaptionText(names, facts, jpeg) : std::string();
    if (ProcessPictureWithNames(page, item, names, std::move(facts), around)) {
      around.PrevLink = UrlEncodePath(names.DetailLink);
      around.PrevCaptionText = caption;
    }
    learned[i].reset();
    site.Progress().SetCurrentStep("Finshed " + name);
    site.Progress().StepBy(1);
  }
}

namespace {

// Whether nothing may be written inside `directory` because it is a link, which may lead
// anywhere, to the user's own pictures too.
Status RefuseLinkedFolder(const std::filesystem::path& directory, std::string_view what) {
  std::error_code ignored;
  if (std::filesystem::is_symlink(directory, ignored)) {
    return Status::InvalidArgument(directory.string() + " is a link; " + std::string(what) +
                                   " are never written through a link");
  }
  return Status::OK();
}

// Whether the image at `path` is current at `size` for a picture written at `sourceTime`,
// and if so its note. The last run's note answers without opening the image while the
// image is the file it noted; otherwise the image's own header is read.
std::optional<TNotedImage> CurrentImage(const std::string& path, std::int64_t sourceTime,
                                        const TImageSize& size, const TNotedImage* noted) {
  const std::optional<TFileStamp> stamp = StampOfFile(path, true);
  if (!stamp || stamp->WriteTimeNs < sourceTime) return std::nullopt;
  const bool sameFile = noted != nullptr && noted->Known() && noted->Stamp == *stamp;
  if (sameFile && std::abs(noted->Width - size.Width) <= 2 &&
      std::abs(noted->Height - size.Height) <= 2) {
    return *noted;
  }
  if (IsInlineImageStale(sourceTime, path, size.Width, size.Height)) return std::nullopt;
  return TNotedImage{*stamp, size.Width, size.Height};
}

// The note of an image just made at `size`.
TNotedImage NoteMadeImage(const std::string& path, const TImageSize& size) {
  const std::optional<TFileStamp> stamp = StampOfFile(path, true);
  return stamp ? TNotedImage{*stamp, size.Width, size.Height} : TNotedImage();
}

// Settles the inline image of a picture at `file` size when it is missing or stale: a GIF
// image is made here, a JPEG or WebP image is handed back to be made with the detail image
// from the same decode (MakeSettledImages). `sourceTime` is the picture's write time as the
// scan found it; `noted` what the last run noted of the image.
std::optional<TWebImageRequest> SettleInlineImage(const TWebSite& site, const TPictureFiles& names,
                                                  bool jpeg, std::int64_t sourceTime,
                                                  const TImageSize& file, TPictureFacts& facts,
                                                  const TNotedImage* noted) {
  if (const std::optional<TNotedImage> current =
          CurrentImage(names.InlinePath, sourceTime, file, noted)) {
    facts.InlineOutcome = TPictureFacts::Inline::kCurrent;
    facts.InlineNote = *current;
    return std::nullopt;
  }
  // Workers run ahead of the page writer, which makes each directory's inline directory
  // when it comes to the directory; a worker may get there first.
  const std::filesystem::path inlineDirectory =
      std::filesystem::path(names.InlinePath).parent_path();
  facts.InlineStatus = RefuseLinkedFolder(inlineDirectory, "inline images");
  if (facts.InlineStatus.ok()) {
    // A folder that cannot be made or marked makes the image fail, with its own message.
    static_cast<void>(EnsureInlineFolder(inlineDirectory.string()));
    const TOrientation orientation = facts.Metadata.Exif.Orientation;
    const TWebImageFormat format = WebImageFormatOf(names.InlinePath);
    if (format == TWebImageFormat::kGif) {
      facts.InlineStatus =
          jpeg ? MakeJpegInlineImage(names.AnchorPath, names.InlinePath, file.Width, file.Height,
                                     TDecodeReduction::DctScaling, orientation)
               : ResizeGifToSize(file.Width, file.Height, names.AnchorPath, names.InlinePath);
    } else {
      TWebImageRequest request;
      request.Source = names.AnchorPath;
      request.bSourceIsJpeg = jpeg;
      request.Target = names.InlinePath;
      request.Format = format;
      request.Width = file.Width;
      request.Height = file.Height;
      request.Quality = site.Settings().InLineQuality;
      request.Orientation = jpeg ? orientation : TOrientation::kNormal;
      return request;
    }
  }
  facts.InlineOutcome = facts.InlineStatus.ok() ? TPictureFacts::Inline::kMade
                                                : TPictureFacts::Inline::kFailed;
  if (facts.InlineStatus.ok()) facts.InlineNote = NoteMadeImage(names.InlinePath, file);
  return std::nullopt;
}

// Settles the web-sized copy of a JPEG picture for its detail page: notes its size when it
// is there, and when it is missing or stale hands it back to be made (MakeSettledImages).
std::optional<TWebImageRequest> SettleDetailImage(const TWebSite& site, const TPictureFiles& names,
                                                  std::int64_t sourceTime, TPictureFacts& facts,
                                                  const TNotedImage* noted) {
  const TImageSize size =
      DetailImageSize(facts.Width, facts.Height, site.Settings().DetailImageMaxSize);
  if (const std::optional<TNotedImage> current =
          CurrentImage(names.DetailImagePath, sourceTime, size, noted)) {
    facts.DetailNote = *current;
  } else {
    const std::filesystem::path detailDirectory =
        std::filesystem::path(names.DetailImagePath).parent_path();
    facts.DetailStatus = RefuseLinkedFolder(detailDirectory.parent_path(), "detail images");
    if (facts.DetailStatus.ok()) {
      facts.DetailStatus = RefuseLinkedFolder(detailDirectory, "detail images");
    }
    if (!facts.DetailStatus.ok()) return std::nullopt;
    static_cast<void>(EnsureInlineFolder(detailDirectory.parent_path().string()));
    std::error_code ignored;
    std::filesystem::create_directory(detailDirectory, ignored);
    TWebImageRequest request;
    request.Source = names.AnchorPath;
    request.Target = names.DetailImagePath;
    request.Width = size.Width;
    request.Height = size.Height;
    request.Quality = site.Settings().InLineQuality;
    request.Orientation = facts.Metadata.Exif.Orientation;
    return request;
  }
  facts.DetailWidth = size.Width;
  facts.DetailHeight = size.Height;
  return std::nullopt;
}

// Makes the stale images the two above handed back, both from one decode of the picture
// when both are stale, and notes how each came out.
void MakeSettledImages(std::optional<TWebImageRequest> inlineImage,
                       std::optional<TWebImageRequest> detailImage, TPictureFacts& facts) {
  std::vector<TWebImageRequest> requests;
  if (inlineImage) requests.push_back(std::move(*inlineImage));
  if (detailImage) requests.push_back(std::move(*detailImage));
  const std::vector<Status> outcomes = MakeWebImages(requests);
  if (inlineImage) {
    facts.InlineStatus = outcomes.front();
    facts.InlineOutcome = facts.InlineStatus.ok() ? TPictureFacts::Inline::kMade
                                                  : TPictureFacts::Inline::kFailed;
    const TWebImageRequest& made = requests.front();
    if (facts.InlineStatus.ok()) {
      facts.InlineNote = NoteMadeImage(made.Target.string(), {made.Width, made.Height});
    }
  }
  if (detailImage) {
    facts.DetailStatus = outcomes.back();
    const TWebImageRequest& made = requests.back();
    if (facts.DetailStatus.ok()) {
      facts.DetailWidth = made.Width;
      facts.DetailHeight = made.Height;
      facts.DetailNote = NoteMadeImage(made.Target.string(), {made.Width, made.Height});
    }
  }
}

}  // namespace

TPictureFacts LearnPicture(const TWebSite& site, const TFileItem& item) {
  TPictureFacts facts;
  const TPictureFiles names = PictureFilesOf(item, site.Names());
  const bool jpeg = IsJpegPicture(item);
  // A picture as the last run found it is taken from its notes.
  std::optional<TNotedPicture> notes = site.FactsCache().FindPicture(site.SitePath(names.AnchorPath));
  const TNotedPicture* noted = notes && notes->Picture == ScannedStamp(item) ? &*notes : nullptr;
  if (noted != nullptr) {
    facts.Width = noted->Width;
    facts.Height = noted->Height;
    facts.szComments = noted->szComments;
    facts.Metadata = noted->Metadata;
  } else if (jpeg) {
    TFileImageInfo info;
    info.szFileName = names.AnchorPath;
    // One walk over the header gives the size, the caption and the metadata.
    TJpegMetadataSegments segments;
    info.pMetadataSegments = &segments;
    ReadJpegImageInfo(&info);
    facts.bMissing = info.bMissing;
    if (info.OpenError != 0) {
      facts.OpenStatus = Status::IoError("Cannot open " + names.AnchorPath + ": " +
                                         std::strerror(info.OpenError));
    }
    facts.Metadata = ParseJpegMetadata(segments);
    // Sizes are those of the picture shown upright.
    const bool swap = SwapsSides(facts.Metadata.Exif.Orientation);
    facts.Width = swap ? info.Height : info.Width;
    facts.Height = swap ? info.Width : info.Height;
    facts.szComments = std::move(info.szComments);
  } else if (Status read = GetGifSize(&facts.Width, &facts.Height, names.AnchorPath); !read.ok()) {
    facts.Width = facts.Height = 0;
    if (read.code() == Status::Code::kIoError) facts.OpenStatus = read;
  }
  // A frame of no pixels in either direction cannot be shown (a JPEG height of 0 is legal,
  // defined at the end of the scan, but such pictures are not read that far).
  facts.bReadable = facts.Width > 0 && facts.Height > 0;
  if (!facts.bReadable) return facts;
  facts.szTextFile = ReadListedPictureTextFile(item, names);
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  // Beside a user's folder of the inline folder's name, no inline or detail image is made.
  if (names.InlinePath.empty()) return facts;
  std::optional<TWebImageRequest> inlineImage = SettleInlineImage(
      site, names, jpeg, item.WriteTimeNs(),
      InlineFileSize(fit, facts.Width, facts.Height, site.Settings().InLinePixelDensity), facts,
      noted != nullptr ? &noted->Inline : nullptr);
  std::optional<TWebImageRequest> detailImage;
  if (jpeg && site.Settings().DetailImageMaxSize > 0) {
    detailImage = SettleDetailImage(site, names, item.WriteTimeNs(), facts,
                                    noted != nullptr ? &noted->Detail : nullptr);
  }
  MakeSettledImages(std::move(inlineImage), std::move(detailImage), facts);
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

TImageSize DetailImageSize(int width, int height, int maxSide) {
  if (maxSide < 1 || (width <= maxSide && height <= maxSide)) return {width, height};
  const double scale = static_cast<double>(maxSide) / std::max(width, height);
  return {std::max(1, static_cast<int>(std::lround(width * scale))),
          std::max(1, static_cast<int>(std::lround(height * scale)))};
}

}  // namespace pix
