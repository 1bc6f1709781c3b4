#include "site/pictureentry.h"

#include <climits>
#include <cstdio>
#include <filesystem>

#include "base/progress.h"
#include "base/userinterface.h"
#include "files/filelist.h"
#include "picture/inlinegif.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/decjpeg.h"
#include "picture/gifrsize.h"
#include "site/escape.h"
#include "site/inlinepool.h"
#include "site/variable.h"
#include "site/webpage.h"
#include "site/website.h"

namespace pix {
namespace {

// The names one picture gives its entry.
struct TPictureNames {
  std::string AnchorPath;   // full path of the picture
  std::string AnchorName;   // its file name
  std::string InlinePath;   // D/inline/B.gif
  std::string InlineLink;   // inline/B.gif
  std::string TextPath;     // the picture's path with its extension replaced by .txt
  std::string BaseName;     // the file name up to its first point
  std::string DetailLink;   // B.html
  std::string DetailPath;   // D/B.html
};

TPictureNames FormNames(const TWebSite& site, const TFileItem& item) {
  TPictureNames names;
  const std::string& full = item.szFullFileName();
  const std::string_view name = item.szFileName();
  const std::string_view ext = item.szFileExt();
  const std::string directory(std::string_view(full).substr(0, full.size() - name.size()));
  names.AnchorPath = full;
  names.AnchorName.assign(name);
  names.BaseName.assign(name.substr(0, name.size() - ext.size()));
  names.InlinePath = directory;
  AppendWithSep(names.InlinePath, '/', site.InLineSubDirName());
  names.InlinePath = BuildFileName(names.InlinePath, names.BaseName, site.InLineFileExt());
  names.InlineLink = site.InLineSubDirName() + "/" + names.BaseName + "." + site.InLineFileExt();
  names.TextPath = full.substr(0, full.size() - ext.size()) + ".txt";
  names.DetailLink = names.BaseName;
  AppendWithSep(names.DetailLink, '.', site.PageHTMLFileExt());
  names.DetailPath = BuildFileName(directory, names.BaseName, site.PageDOSFileExt());
  return names;
}

void SetNamedPictureVars(TVarArray& array, const TPictureNames& names, std::uint64_t fileSize,
                         std::string_view comment) {
  SetPictureVars(array, names.AnchorPath, names.AnchorName, names.InlinePath, names.InlineLink,
                 names.TextPath, names.BaseName, names.DetailLink, fileSize, comment);
}

// Finishes the entry once the inline image is settled: the sizes, the entry itself.
void AddEntry(TWebPage& page, const TPictureNames& names, const TDisplayFit& fit, int width,
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
void AccountInlineImage(TWebSite& site, const TPictureNames& names, const TPictureFacts& facts) {
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

void ProcessPictureWithNames(TWebPage& page, const TFileItem& item, const TPictureNames& names) {
  TWebSite& site = page.Site();
  const bool jpeg = IsJpegPictureFile(item);
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

bool IsJpegPictureFile(const TFileItem& item) {
  const std::string_view ext = item.szFileExt();
  return EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg");
}

bool HasJpegTwin(const TFileItem& item) {
  if (!EqualsNoCase(item.szFileExt(), ".gif")) return false;
  const std::string& path = item.szFullFileName();
  return FileExists(path.substr(0, path.size() - item.szFileExt().size()) + ".jpg");
}

bool IsPictureFile(const TFileItem& item) {
  if (IsDirectory(item)) return false;
  if (IsJpegPictureFile(item)) return true;
  return EqualsNoCase(item.szFileExt(), ".gif") && !HasJpegTwin(item);
}

void ProcessPicture(TWebPage& page, const TFileItem& item) {
  TWebSite& site = page.Site();
  if (site.Cancelled()) return;
  const std::string name(item.szFileName());
  site.Progress().SetCurrentStep("Processing Image " + name);
  page.VarArray().bMarkChanges = true;
  ProcessPictureWithNames(page, item, FormNames(site, item));
  site.Progress().SetCurrentStep("Finshed " + name);
  site.Progress().StepBy(1);
}

TPictureFacts LearnPicture(const TWebSite& site, const TFileItem& item) {
  TPictureFacts facts;
  const TPictureNames names = FormNames(site, item);
  const bool jpeg = IsJpegPictureFile(item);
  if (jpeg) {
    TFileImageInfo info;
    info.szFileName = names.AnchorPath;
    ReadJpegImageInfo(&info);
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
  if (!IsInlineGifStale(names.AnchorPath, names.InlinePath, fit.Width, fit.Height)) {
    facts.InlineOutcome = TPictureFacts::Inline::kCurrent;
    return facts;
  }
  // Workers run ahead of the page writer, which makes each directory's inline directory
  // when it comes to the directory; a worker may get there first.
  std::error_code ignored;
  std::filesystem::create_directory(std::filesystem::path(names.InlinePath).parent_path(),
                                    ignored);
  facts.InlineStatus =
      jpeg ? MakeJpegInlineImage(names.AnchorPath, names.InlinePath, fit.Width, fit.Height)
           : ResizeGifToSize(fit.Width, fit.Height, names.AnchorPath, names.InlinePath);
  facts.InlineOutcome = facts.InlineStatus.ok() ? TPictureFacts::Inline::kMade
                                                : TPictureFacts::Inline::kFailed;
  return facts;
}

void SetPictureVars(TVarArray& array, std::string_view anchorPath, std::string_view anchorName,
                    std::string_view inlinePath, std::string_view inlineLink,
                    std::string_view textPath, std::string_view baseName,
                    std::string_view detailLink, std::uint64_t fileSize,
                    std::string_view commentText) {
  array.RevertMarkedVars();
  array.bMarkChanges = true;
  array.SetVar("AnchorDOSFullFileName", anchorPath);
  array.SetVar("AnchorFileName", anchorName);
  array.SetVar("ImageDOSFullFileName", inlinePath);
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
