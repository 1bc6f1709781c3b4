#include "site/webpage.h"

#include "base/check.h"
#include "base/diagnostics.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/settings.h"
#include "files/utils.h"
#include "site/escape.h"
#include "site/pagefile.h"
#include "site/template.h"
#include "site/website.h"

namespace pix {
namespace {

// The text of a page written before, or nothing when there is none. A page that exists
// but cannot be read is reported: it is replaced without what it held.
std::optional<std::string> ReadOldPage(const std::string& path, Diagnostics& diagnostics) {
  Result<std::string> text = ReadTextFile(path);
  if (text.ok()) return std::move(text).value();
  if (text.status().code() != Status::Code::kNotFound) diagnostics.Problem(text.status().message());
  return std::nullopt;
}

// The start of every page after its version comments: the doctype that puts browsers in
// standards mode, and the HTML element with the language of the pages.
void WriteHtmlStart(std::ostream& out, const std::string& language) {
  out << "<!DOCTYPE html>\r\n<HTML lang=\"" << language << "\">\r\n";
}

// Whether a page file not in the record is one this program wrote before it kept a record.
bool IsOlderPageOfOurs(const std::filesystem::path& path) { return IsPageOfThisProgram(path); }

// Records a page file just finished: its digest and stamp, or only that it is still as
// recorded.
void RecordPage(TSiteRecord& record, const std::string& sitePath, const TPageFile& file,
                const std::optional<TRecordedOutput>& recorded, bool keepsHandEdits,
                std::string picture = std::string()) {
  TRecordedOutput page;
  page.Kind = TOutputKind::kPage;
  page.Source = std::move(picture);
  page.Content = file.Content();
  page.Stamp = file.Stamp().value_or(TFileStamp());
  page.KeepsHandEdits = keepsHandEdits;
  if (recorded && recorded->Content == page.Content && recorded->Stamp == page.Stamp &&
      recorded->KeepsHandEdits == keepsHandEdits && recorded->Source == page.Source) {
    record.ConfirmOutput(sitePath);
  } else {
    record.RecordOutput(sitePath, page);
  }
}

// The hook that notes a page's bytes just before they are put in place.
BeforeReplace NotePendingPage(TSiteRecord& record, std::string sitePath, const TDigest& content) {
  return [&record, sitePath = std::move(sitePath), &content](const std::filesystem::path&) {
    return record.NotePending(sitePath, TOutputKind::kPage, content);
  };
}

}  // namespace

TWebPage::TWebPage(FileItem& directory, std::string pageBaseName, TWebSite& site,
                   TWebPage* parentPage)
    : PParentPage(parentPage),
      PSite(&site),
      szPageBaseName(std::move(pageBaseName)),
      PDirectory(&directory),
      PVarArray(std::make_unique<TVarArray>()) {
  const std::string& directoryPath = directory.szFullFileName();
  TVarArray& array = *PVarArray;
  array.CopyVarsFrom(site.GlobalArray());
  array.ParseVarText(LoadVarFileText("globals", directoryPath, &site.diagnostics()));
  array.SetVar("DirectoryFullFileName", directoryPath);

  // Bound before the subclass's layers and the page's own files are read: a file template
  // that only those define stays empty for this page.
  FileLeaderTemplate.Bind(array, kFileLeaderTemplate);
  FileEntryTemplate.Bind(array, kFileEntryTemplate);
  FileTrailerTemplate.Bind(array, kFileTrailerTemplate);

  szPageFilePath = BuildFileName(directoryPath, szPageBaseName, site.Names().page_dos_file_ext);
  array.SetVar("PageFullDOSFileName", szPageFilePath);
  array.SetVar("DirBaseName", directory.szFileName());
  array.SetVar("DirBaseNameHTML", HtmlEscape(directory.szFileName()));
  szProgramPagePath =
      BuildFileName(site.ProgramDirectory(), szPageBaseName, site.Names().page_dos_file_ext);
  szPageLinkName = szPageBaseName;
  AppendWithSep(szPageLinkName, '.', site.Names().page_html_file_ext);
  array.SetVar("PageHTMLFileName", szPageLinkName);
  array.SetVar("PageHTMLFileURL", UrlEncodePath(szPageLinkName));
}

TWebPage::~TWebPage() { Close(); }

void TWebPage::EnsurePageOpen() {
  if (bOpened) return;
  bOpened = true;
  TVarArray& array = *PVarArray;
  array.bMarkChanges = false;
  SetParentLabel();
  PIX_CHECK(!array.GetVarValue("ParentPageAnchor").empty());

  // A page takes the layout as it is now. Only a page the user edited by hand since a run
  // wrote it keeps the head, title and label of that version (and keeps them on every run
  // after); a page of the same name in the layout home hands them to the page otherwise,
  // unless the layout sets them again below. Each file is read once and its three elements
  // taken from that one reading.
  TSiteRecord& record = Site().Record();
  Recorded = record.FindOutput(Site().SitePath(szPageFilePath));
  Claim = record.Claim(szPageFilePath, Recorded, IsOlderPageOfOurs);
  KeepsHandEditsNow = Claim.Claim == TClaim::kHandEdited ||
                    (Claim.Claim == TClaim::kOurs && Recorded && Recorded->KeepsHandEdits);
  if (Claim.Claim == TClaim::kHandEdited) {
    Site().diagnostics().Notice(szPageFilePath +
                                " was edited by hand since Pixamond wrote it: its head, title "
                                "and heading are kept in the new page");
  }
  std::optional<std::string> oldPage =
      KeepsHandEditsNow ? ReadOldPage(szPageFilePath, Site().diagnostics()) : std::nullopt;
  std::optional<std::string> head = oldPage ? ExtractTagText(*oldPage, "HEAD") : std::nullopt;
  if (!head) {
    oldPage = ReadOldPage(szProgramPagePath, Site().diagnostics());
    head = oldPage ? ExtractTagText(*oldPage, "HEAD") : std::nullopt;
  }
  const std::string title =
      oldPage ? ExtractTagText(*oldPage, "TITLE").value_or(std::string()) : std::string();
  const std::string label =
      oldPage ? ExtractTagText(*oldPage, "H1").value_or(std::string()) : std::string();
  if (head && !head->empty() && !title.empty() && !label.empty()) {
    array.SetVar(kPageHeadTemplate, *head);
  }
  if (!title.empty()) array.SetVar(kPageTitle, title);
  if (!label.empty()) array.SetVar(kPageLabel, label);

  array.ParseVarText(
      LoadVarFileText(szPageBaseName, Site().ProgramDirectory(), &Site().diagnostics()));
  array.ParseVarText(
      LoadVarFileText(szPageBaseName, PDirectory->szFullFileName(), &Site().diagnostics()));

  // The page is gathered in memory until it grows large (see OpenPageFile), so that the
  // pages of every directory above the one being written hold no file open.
  std::ostream& out = Out();
  WriteVersionComment(out);
  WriteHtmlStart(out, Site().Settings().page_language);
  out << "<HEAD>";
  Expand("${PageHeadTemplate}", array);
  out << "</HEAD>\r\n";
  Expand("${PageBodyBeginTemplate}", array);

  PicturesPerGroup = Site().Settings().pictures_per_group;
  GroupLeaderTemplate.Bind(array, kGroupLeaderTemplate);
  GroupTrailerTemplate.Bind(array, kGroupTrailerTemplate);
}

void TWebPage::SetParentLabel() {
  TVarArray& array = *PVarArray;
  bool hasReturn = false;
  if (PParentPage != nullptr) {
    if (TVarItem* label = array.FindVar(kParentPageLabel)) {
      label->POwnerArray = &PParentPage->VarArray();
    }
    hasReturn = true;
  } else {
    // A page without a parent page links to the index page one directory up (for an index
    // page) or to its own directory's index page (for any other page), when one exists.
    std::string candidate = PDirectory->szFullFileName();
    if (EqualsNoCase(szPageBaseName, "index")) {
      CutAfterLastSlash(candidate);
    }
    candidate = BuildFileName(candidate, "index", Site().Names().page_dos_file_ext);
    if (std::optional<std::string> label = GetHtmlTagText(candidate, "H1")) {
      array.SetVar(kParentPageLabel, *label);
      hasReturn = true;
    }
  }
  array.SetVar("ActualReturnLabel", hasReturn ? "${PossibleReturnLabel}" : "");
  array.SetVar("UpPageURL", hasReturn ? "${ParentPageAnchor}" : "");
}

void TWebPage::Expand(std::string_view templateText, const TVarArray& array) {
  // After Close, what is still expanded goes to the emptied gathering and is dropped.
  if (!bOpened || bPageRefused) return;
  ExpandTemplate(templateText, array, Out(), &Site().diagnostics(), &PageBudget);
  if (!fPageFile && !bClosed &&
      Pending.tellp() > static_cast<std::streamoff>(kPendingPageLimit)) {
    OpenPageFile();
  }
}

std::ostream& TWebPage::Out() {
  if (fPageFile) return fPageFile->Stream();
  return Pending;
}

void TWebPage::OpenPageFile() {
  if (fPageFile || bPageRefused) return;
  Result<std::unique_ptr<TPageFile>> file = TPageFile::Create(szPageFilePath, Claim, Recorded);
  if (!file.ok()) {
    // A file of the user's stands there now: the record lets it go.
    if (Recorded) Site().Record().ForgetOutput(Site().SitePath(szPageFilePath));
    Site().Report(file.status().message());
    bPageRefused = true;
  } else {
    fPageFile = std::move(file).value();
    TPageFile& page = *fPageFile;
    fPageFile->SetBeforeReplace(
        NotePendingPage(Site().Record(), Site().SitePath(szPageFilePath), page.Content()));
    const std::string text = Pending.str();
    fPageFile->Stream().write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  Pending.str(std::string());
}

void TWebPage::WriteEntry(std::string_view templateText, const TVarArray& entryArray) {
  EnsurePageOpen();
  if (!szMainImageName) {
    TVarArray& array = *PVarArray;
    array.bMarkChanges = false;
    // Copies first: the entry array may be this page's own array.
    const std::string width = entryArray.GetVarValue("DisplayWidth");
    const std::string height = entryArray.GetVarValue("DisplayHeight");
    array.SetVar("MainImageDisplayWidth", width);
    array.SetVar("MainImageDisplayHeight", height);
    const std::string& image = entryArray.GetVarValue("ImageFileName");
    if (!image.empty()) szMainImageName = image;
  }
  Expand(templateText, entryArray);
  ++EntryCountValue;
}

void TWebPage::AddPictureEntry(TVarArray& entryArray, std::uint64_t lFileSize,
                               const std::string& szDetailPagePath,
                               const std::optional<TRecordedOutput>& recordedDetailPage) {
  if (FileLinkCountValue == 0) {
    EnsurePageOpen();
    Expand(FileLeaderTemplate.Value(), entryArray);
  }
  if (FileLinkCountValue % PicturesPerGroup == 0) Expand(GroupLeaderTemplate.Value(), entryArray);
  WriteEntry(FileEntryTemplate.Value(), entryArray);
  WriteDetailPage(entryArray, szDetailPagePath, recordedDetailPage);
  ++FileLinkCountValue;
  lTotalFileSize += lFileSize;
  if (FileLinkCountValue % PicturesPerGroup == 0) {
    Expand(GroupTrailerTemplate.Value(), entryArray);
  }
}

void TWebPage::WriteFileTrailer(const TVarArray& array) {
  if (FileLinkCountValue % PicturesPerGroup != 0) Expand(GroupTrailerTemplate.Value(), array);
  Expand(FileTrailerTemplate.Value(), array);
}

void TWebPage::WriteDetailPage(const TVarArray& entryArray, const std::string& szDetailPagePath,
                               const std::optional<TRecordedOutput>& recorded) {
  const std::string& detailTemplate = entryArray.GetVarValue("DetailPageTemplate");
  if (detailTemplate.empty()) return;
  TSiteRecord& record = Site().Record();
  const std::string sitePath = Site().SitePath(szDetailPagePath);
  TClaimResult claim = record.Claim(szDetailPagePath, recorded, IsOlderPageOfOurs);
  // A detail page has no head of its own to keep: one edited by hand is the user's.
  if (claim.Claim == TClaim::kHandEdited) {
    claim.Claim = TClaim::kUsers;
    claim.Why = "changed since Pixamond wrote it";
  }
  Result<std::unique_ptr<TPageFile>> file = TPageFile::Create(szDetailPagePath, claim, recorded);
  if (!file.ok()) {
    if (recorded) record.ForgetOutput(sitePath);
    Site().Report(file.status().message());
    return;
  }
  TPageFile& page = **file;
  page.SetBeforeReplace(NotePendingPage(record, sitePath, page.Content()));
  std::ostream& out = (*file)->Stream();
  WriteVersionComment(out);
  WriteHtmlStart(out, Site().Settings().page_language);
  TExpansionBudget budget;
  ExpandTemplate(detailTemplate, entryArray, out, &Site().diagnostics(), &budget);
  out << "</HTML>\r\n";
  const Status closed = (*file)->Close();
  if (closed.ok()) {
    ++(page.Written() ? Site().Stats().PagesWritten : Site().Stats().PagesUnchanged);
    RecordPage(record, sitePath, page, recorded, false,
               Site().SitePath(entryArray.GetVarValue("AnchorDOSFullFileName")));
  } else {
    Site().Report(closed.message());
  }
}

void TWebPage::SetPageCounters(TVarArray& target) const {
  // Read the display size first: `target` may be this page's own array.
  const std::string width = PVarArray->GetVarValue("MainImageDisplayWidth");
  const std::string height = PVarArray->GetVarValue("MainImageDisplayHeight");
  target.SetIntVar("FileLinkCount", FileLinkCountValue);
  target.SetIntVar("TotalFileLinkCount", TotalFileLinkCount());
  target.SetLongVar("TotalFileSizeInBytes", static_cast<long long>(lTotalFileSize));
  target.SetLongVar("TotalFileSizeInK", static_cast<long long>(lTotalFileSize / 1024));
  target.SetVar("DisplayWidth", width);
  target.SetVar("DisplayHeight", height);
}

void TWebPage::Close() {
  if (!bOpened || bClosed) return;
  bClosed = true;
  TVarArray& array = *PVarArray;
  SetPageCounters(array);
  if (bPageRefused) return;
  Expand(array.GetVarValue(kPageEndTemplate), array);
  Out() << "\r\n<P>\r\n</HTML>\r\n";
  OpenPageFile();
  if (!fPageFile) return;
  Pending.str(std::string());
  const Status closed = fPageFile->Close();
  if (closed.ok()) {
    ++(fPageFile->Written() ? Site().Stats().PagesWritten : Site().Stats().PagesUnchanged);
    RecordPage(Site().Record(), Site().SitePath(szPageFilePath), *fPageFile, Recorded,
               KeepsHandEditsNow);
  }
  fPageFile.reset();
  if (!closed.ok()) {
    Site().Report(closed.message());
  }
}

}  // namespace pix
