#include "site/pictureentry.h"

#include <climits>
#include <cstdio>
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
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/variable.h"
#include "site/webpage.h"
#include "site/website.h"

namespace pix {
namespace {

void SetNamedPictureVars(TVarArray& array, const TPictureFiles& names, std::uint64_t fileSize,
                         std::string_view comment) {
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
  // The workers have usually read the picture and settled its inline image already.
  std::optional<TPictureFacts> learned = site.TakePictureFacts(item);
  const TPictureFacts facts = learned ? std::move(*learned) : LearnPicture(site, item);
  if (jpeg && facts.bMissing) {
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
  if (!facts.bReadable) {
    ReportPicture(site, (jpeg ? "JPEG file " : "GIF file ") + names.AnchorPath + " is corrupt");
    return;
  }
  const std::uint64_t fileSize = item.lSize();
  SetNamedPictureVars(page.VarArray(), names, fileSize, facts.szComments);
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
    facts.bMissing = info.bMissing;
    facts.Width = info.Width;
    facts.Height = info.Height;
    facts.szComments = std::move(info.szComments);
  } else if (!GetGifSize(&facts.Width, &facts.Height, names.AnchorPath).ok()) {
    facts.Width = facts.Height = 0;
  }
  // A frame of no pixels in either direction cannot be shown (a JPEG height of 0 is legal,
  // defined at the end of the scan, but such pictures are not read that far).
  facts.bReadable = facts.Width > 0 && facts.Height > 0;
  if (!facts.bReadable) return facts;
  const TDisplayFit fit = ComputeDisplaySize(facts.Width, facts.Height, site.MaxDisplayWidth(),
                                             site.MaxDisplayHeight());
  if (!IsInlineGifStale(item.WriteTimeNs(), names.InlinePath, fit.Width, fit.Height)) {
    facts.InlineOutcome = TPictureFacts::Inline::kCurrent;
    return facts;
  }
  const Status directory =
      site.PrepareInlineDirectory(std::filesystem::path(names.InlinePath).parent_path());
  if (!directory.ok()) {
    facts.InlineStatus = directory;
    facts.InlineOutcome = TPictureFacts::Inline::kFailed;
    return facts;
  }
  facts.InlineStatus =
      jpeg ? MakeJpegInlineImage(names.AnchorPath, names.InlinePath, fit.Width, fit.Height)
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
  if (!commentText.empty()) array.ParseVarText(commentText);
  if (!textPath.empty() && FileExists(std::string(textPath))) {
    // Only the start of the file: a text file beside a picture holds a few variables.
    if (std::FILE* file = std::fopen(std::string(textPath).c_str(), "rb")) {
      std::string text(kPictureTextFileLimit, '\0');
      text.resize(std::fread(text.data(), 1, text.size(), file));
      std::fclose(file);
      array.ParseVarText(text);
    }
  }
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
