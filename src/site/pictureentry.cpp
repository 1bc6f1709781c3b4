#include "site/pictureentry.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

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
#include "site/caption.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/variable.h"
#include "site/webpage.h"
#include "site/website.h"

namespace pix {
namespace {

void SetNamedPictureVars(TVarArray& array, const TPictureFiles& names, std::uint64_t fileSize,
                         std::string_view comment, const TPictureMetadata* metadata) {
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
  vars.Metadata = metadata;
  SetPictureVars(array, vars);
}

void AddEntry(TWebPage& page, const TPictureFiles& names, const TDisplayFit& fit, int width,
              int height, std::uint64_t fileSize) {
  TVarArray& array = page.VarArray();
  array.SetIntVar("DisplayWidth", fit.Width);
  array.SetIntVar("DisplayHeight", fit.Height);
  array.SetIntVar("AnchorWidth", width);
  array.SetIntVar("AnchorHeight", height);
  page.AddPictureEntry(array, fileSize, names.DetailPath);
  ++page.Site().Stats().Pictures;
}

// The text file beside a picture, or nothing. Only its start is read: such a file holds a
// few variables.
std::string ReadPictureTextFile(std::string_view textPath) {
  std::string text;
  if (textPath.empty() || !FileExists(std::string(textPath))) return text;
  if (std::FILE* file = std::fopen(std::string(textPath).c_str(), "rb")) {
    text.resize(kPictureTextFileLimit);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
  }
  return text;
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
  array.SetVar("ImageCamera",
               exif != nullptr ? HtmlEscape(CameraName(exif->Make, exif->Model)) : std::string());
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

void ProcessPictureWithNames(TWebPage& page, const TFileItem& item, const TPictureFiles& names) {
  TWebSite& site = page.Site();
  const bool jpeg = IsJpegPicture(item);
  if (jpeg && !FileExists(names.AnchorPath)) {
    // The picture vanished since the scan: the user may go on without it or stop the run.
    ++site.Stats().PicturesReported;
    ++site.Stats().ProblemsReported;
    if (site.UserInterface().ShowMessage(names.AnchorPath, "Missing File",
                                         MessageButtons::OkCancel, MessageIcon::Warning) ==
        MessageAnswer::Cancel) {
      site.Cancel();
    }
    return;
  }
  // The workers have usually read the picture and settled its inline image already.
  std::optional<TPictureFacts> learned = site.TakePictureFacts(item);
  const TPictureFacts facts = learned ? std::move(*learned) : LearnPicture(site, item);
  if (!facts.bReadable) {
    ReportPicture(site, !facts.OpenStatus.ok() ? facts.OpenStatus.message()
                                               : (jpeg ? "JPEG file " : "GIF file ") +
                                                     names.AnchorPath + " is corrupt");
    return;
  }
  const std::uint64_t fileSize = item.lSize();
  SetNamedPictureVars(page.VarArray(), names, fileSize, facts.szComments,
                      jpeg ? &facts.Metadata : nullptr);
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  AccountInlineImage(site, names, facts);
  AddEntry(page, names, fit, facts.Width, facts.Height, fileSize);
}

}  // namespace

void ProcessPicture(TWebPage& page, const TFileItem& item) {
  TWebSite& site = page.Site();
  if (site.Cancelled()) return;
  const std::string name(item.szFileName());
  site.Progress().SetCurrentStep("Processing Image " + name);
  page.VarArray().bMarkChanges = true;
  ProcessPictureWithNames(page, item, PictureFilesOf(item, site.Names()));
  site.Progress().SetCurrentStep("Finshed " + name);
  site.Progress().StepBy(1);
}

TPictureFacts LearnPicture(const TWebSite& site, const TFileItem& item) {
  TPictureFacts facts;
  const TPictureFiles names = PictureFilesOf(item, site.Names());
  const bool jpeg = IsJpegPicture(item);
  if (jpeg) {
    TFileImageInfo info;
    info.szFileName = names.AnchorPath;
    ReadJpegImageInfo(&info);
    if (info.OpenError != 0) {
      facts.OpenStatus = Status::IoError("Cannot open " + names.AnchorPath + ": " +
                                         std::strerror(info.OpenError));
    }
    facts.Metadata = ReadJpegMetadata(names.AnchorPath);
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
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  // Beside a user's folder of the inline folder's name, no inline image is made.
  if (names.InlinePath.empty()) return facts;
  if (!IsInlineGifStale(names.AnchorPath, names.InlinePath, fit.Width, fit.Height)) {
    facts.InlineOutcome = TPictureFacts::Inline::kCurrent;
    return facts;
  }
  // Workers run ahead of the page writer, which makes each directory's inline directory
  // when it comes to the directory; a worker may get there first. A link in its place may
  // lead anywhere, to the user's own pictures too: nothing is written through it.
  const std::filesystem::path inlineDirectory =
      std::filesystem::path(names.InlinePath).parent_path();
  std::error_code ignored;
  if (std::filesystem::is_symlink(inlineDirectory, ignored)) {
    facts.InlineStatus = Status::InvalidArgument(
        inlineDirectory.string() + " is a link; inline images are never written through a link");
    facts.InlineOutcome = TPictureFacts::Inline::kFailed;
    return facts;
  }
  // A folder that cannot be made or marked makes the image fail, with its own message.
  static_cast<void>(EnsureInlineFolder(inlineDirectory.string()));
  facts.InlineStatus =
      jpeg ? MakeJpegInlineImage(names.AnchorPath, names.InlinePath, fit.Width, fit.Height,
                                 TDecodeReduction::DctScaling, facts.Metadata.Exif.Orientation)
           : ResizeGifToSize(fit.Width, fit.Height, names.AnchorPath, names.InlinePath);
  facts.InlineOutcome = facts.InlineStatus.ok() ? TPictureFacts::Inline::kMade
                                                : TPictureFacts::Inline::kFailed;
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
  const std::string pictureText = ReadPictureTextFile(textPath);
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

}  // namespace pix
