#include "site/webpage.h"

#include "base/check.h"
#include "base/diagnostics.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/settings.h"
#include "files/utils.h"
#include "site/escape.h"
#include "site/foldersummary.h"
#include "site/pagefile.h"
#include "site/sitefeeds.h"
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

// Records a page file just finished: its digest, stamp and recipe, or only that it is still
// as recorded.
void RecordPage(SiteRecord& record, const std::string& site_path, const PageFile& file,
                const std::optional<RecordedOutput>& recorded, bool keeps_hand_edits,
                std::string picture = std::string(), const Digest& recipe = Digest()) {
  RecordedOutput page;
  page.kind = OutputKind::kPage;
  page.source = std::move(picture);
  page.recipe = recipe;
  page.content = file.Content();
  page.stamp = file.Stamp().value_or(FileStamp());
  page.keeps_hand_edits = keeps_hand_edits;
  if (recorded && recorded->content == page.content && recorded->stamp == page.stamp &&
      recorded->keeps_hand_edits == keeps_hand_edits && recorded->source == page.source &&
      recorded->recipe == page.recipe) {
    record.ConfirmOutput(site_path);
  } else {
    record.RecordOutput(site_path, page);
  }
}

// The recipe of a detail page: everything its bytes are made from. The page is its
// skeleton (the version lines, the doctype and the language) around the detail template
// expanded against the entry's array, and the expansion sees nothing but that array and
// the arrays its values expand against, so the array's digest stands for the template,
// the picture's facts and every layout variable at once.
Digest DetailPageRecipe(const VariableList& entry_array, const std::string& language) {
  Digester digester;
  std::ostringstream skeleton;
  skeleton << "detail page " << kTemplateExpansionVersion << "\n";
  WriteVersionComment(skeleton);
  WriteHtmlStart(skeleton, language);
  digester.Add(skeleton.str());
  digester.Add(entry_array.ContentDigest());
  return digester.Finish();
}

// The hook that notes a page's bytes just before they are put in place.
BeforeReplace NotePendingPage(SiteRecord& record, std::string site_path, const Digest& content) {
  return [&record, site_path = std::move(site_path), &content](const std::filesystem::path&) {
    return record.NotePending(site_path, OutputKind::kPage, content);
  };
}

}  // namespace

WebPage::WebPage(FileItem& directory, std::string page_base_name, WebSite& site,
                   WebPage* parent_page)
    : parent_page_(parent_page),
      site_(&site),
      page_base_name_(std::move(page_base_name)),
      directory_(&directory),
      var_array_(std::make_unique<VariableList>()) {
  const std::string& directory_path = directory.FullFileName();
  VariableList& array = *var_array_;
  array.CopyVarsFrom(site.GlobalArray());
  array.ParseVarText(site.LayoutFileText("globals", directory_path));
  array.SetVar("DirectoryFullFileName", directory_path);

  // Bound before the subclass's layers and the page's own files are read: a file template
  // that only those define stays empty for this page.
  file_leader_template_.Bind(array, kFileLeaderTemplate);
  file_entry_template_.Bind(array, kFileEntryTemplate);
  file_trailer_template_.Bind(array, kFileTrailerTemplate);

  page_file_path_ = BuildFileName(directory_path, page_base_name_, site.Names().page_dos_file_ext);
  array.SetVar("PageFullDOSFileName", page_file_path_);
  array.SetVar("DirBaseName", directory.FileName());
  array.SetVar("DirBaseNameHTML", HtmlEscape(directory.FileName()));
  program_page_path_ =
      BuildFileName(site.layout_home(), page_base_name_, site.Names().page_dos_file_ext);
  page_link_name_ = page_base_name_;
  AppendWithSep(page_link_name_, '.', site.Names().page_html_file_ext);
  array.SetVar("PageHTMLFileName", page_link_name_);
  array.SetVar("PageHTMLFileURL", UrlEncodePath(page_link_name_));
  // The site's feed, at its address (SiteURL holds nothing that needs escaping).
  const std::string& site_url = site.Settings().site_url;
  array.SetVar("SiteURL", site_url);
  array.SetVar("FeedURL", site_url.empty() ? std::string() : site_url + kFeedFileName);
}

WebPage::~WebPage() { Close(); }

void WebPage::EnsurePageOpen() {
  if (opened_) return;
  opened_ = true;
  VariableList& array = *var_array_;
  array.mark_changes = false;
  SetParentLabel();
  PIX_CHECK(!array.GetVarValue("ParentPageAnchor").empty());

  // A page takes the layout as it is now. Only a page the user edited by hand since a run
  // wrote it keeps the head, title and label of that version (and keeps them on every run
  // after); a page of the same name in the layout home hands them to the page otherwise,
  // unless the layout sets them again below. Each file is read once and its three elements
  // taken from that one reading.
  SiteRecord& record = Site().Record();
  recorded_ = record.FindOutput(Site().SitePath(page_file_path_));
  claim_ = record.Claim(page_file_path_, recorded_, IsOlderPageOfOurs);
  keeps_hand_edits_now_ = claim_.claim == Ownership::kHandEdited ||
                    (claim_.claim == Ownership::kOurs && recorded_ && recorded_->keeps_hand_edits);
  if (claim_.claim == Ownership::kHandEdited) {
    Site().diagnostics().Notice(page_file_path_ +
                                " was edited by hand since Pixamond wrote it: its head, title "
                                "and heading are kept in the new page");
  }
  std::optional<std::string> old_page =
      keeps_hand_edits_now_ ? ReadOldPage(page_file_path_, Site().diagnostics()) : std::nullopt;
  std::optional<std::string> head = old_page ? ExtractTagText(*old_page, "HEAD") : std::nullopt;
  if (!head) {
    old_page = ReadOldPage(program_page_path_, Site().diagnostics());
    head = old_page ? ExtractTagText(*old_page, "HEAD") : std::nullopt;
  }
  const std::string title =
      old_page ? ExtractTagText(*old_page, "TITLE").value_or(std::string()) : std::string();
  const std::string label =
      old_page ? ExtractTagText(*old_page, "H1").value_or(std::string()) : std::string();
  if (head && !head->empty() && !title.empty() && !label.empty()) {
    array.SetVar(kPageHeadTemplate, *head);
  }
  if (!title.empty()) array.SetVar(kPageTitle, title);
  if (!label.empty()) array.SetVar(kPageLabel, label);

  array.ParseVarText(Site().LayoutFileText(page_base_name_, Site().layout_home()));
  array.ParseVarText(Site().LayoutFileText(page_base_name_, directory_->FullFileName()));

  // The page is gathered in memory until it grows large (see OpenPageFile), so that the
  // pages of every directory above the one being written hold no file open.
  std::ostream& out = Out();
  WriteVersionComment(out);
  WriteHtmlStart(out, Site().Settings().page_language);
  out << "<HEAD>";
  Expand("${PageHeadTemplate}", array);
  out << "</HEAD>\r\n";
  Expand("${PageBodyBeginTemplate}", array);

  pictures_per_group_ = Site().Settings().pictures_per_group;
  group_leader_template_.Bind(array, kGroupLeaderTemplate);
  group_trailer_template_.Bind(array, kGroupTrailerTemplate);
}

void WebPage::SetParentLabel() {
  VariableList& array = *var_array_;
  bool has_return = false;
  if (parent_page_ != nullptr) {
    if (Variable* label = array.FindVar(kParentPageLabel)) {
      label->owner_array = &parent_page_->VarArray();
    }
    has_return = true;
  } else {
    // A page without a parent page links to the index page one directory up (for an index
    // page) or to its own directory's index page (for any other page), when one exists.
    std::string candidate = directory_->FullFileName();
    if (EqualsNoCase(page_base_name_, "index") || index_continuation_) {
      CutAfterLastSlash(candidate);
    }
    candidate = BuildFileName(candidate, "index", Site().Names().page_dos_file_ext);
    if (std::optional<std::string> label = GetHtmlTagText(candidate, "H1")) {
      array.SetVar(kParentPageLabel, *label);
      has_return = true;
    }
  }
  array.SetVar("ActualReturnLabel", has_return ? "${PossibleReturnLabel}" : "");
  array.SetVar("UpPageURL", has_return ? "${ParentPageAnchor}" : "");
}

void WebPage::Expand(std::string_view template_text, const VariableList& array) {
  // After Close, what is still expanded goes to the emptied gathering and is dropped.
  if (!opened_ || page_refused_) return;
  ExpandTemplate(template_text, array, Out(), &Site().diagnostics(), &page_budget_);
  // A preview keeps its pages in memory to the end.
  if (!page_file_ && !closed_ && !Site().Preview() &&
      pending_.tellp() > static_cast<std::streamoff>(kPendingPageLimit)) {
    OpenPageFile();
  }
}

std::ostream& WebPage::Out() {
  if (page_file_) return page_file_->Stream();
  return pending_;
}

void WebPage::OpenPageFile() {
  if (page_file_ || page_refused_) return;
  Result<std::unique_ptr<PageFile>> file = PageFile::Create(page_file_path_, claim_, recorded_);
  if (!file.ok()) {
    // A file of the user's stands there now: the record lets it go.
    if (recorded_) Site().Record().ForgetOutput(Site().SitePath(page_file_path_));
    Site().Report(file.status().message());
    page_refused_ = true;
  } else {
    page_file_ = std::move(file).value();
    PageFile& page = *page_file_;
    page_file_->SetBeforeReplace(
        NotePendingPage(Site().Record(), Site().SitePath(page_file_path_), page.Content()));
    const std::string text = pending_.str();
    page_file_->Stream().write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  pending_.str(std::string());
}

void WebPage::WriteEntry(std::string_view template_text, const VariableList& entry_array) {
  EnsurePageOpen();
  if (!main_image_name_) {
    VariableList& array = *var_array_;
    array.mark_changes = false;
    // Copies first: the entry array may be this page's own array.
    const std::string width = entry_array.GetVarValue("DisplayWidth");
    const std::string height = entry_array.GetVarValue("DisplayHeight");
    array.SetVar("MainImageDisplayWidth", width);
    array.SetVar("MainImageDisplayHeight", height);
    const std::string& image = entry_array.GetVarValue("ImageFileName");
    if (!image.empty()) {
      main_image_name_ = image;
      main_image_srcset_ = entry_array.GetVarValue("ImageSrcSet");
    }
  }
  Expand(template_text, entry_array);
  ++entry_count_;
}

void WebPage::AddPictureEntry(VariableList& entry_array, std::uint64_t file_size,
                               const std::string& detail_page_path,
                               const std::optional<RecordedOutput>& recorded_detail_page) {
  if (file_link_count_ == 0) {
    EnsurePageOpen();
    Expand(file_leader_template_.Value(), entry_array);
  }
  if (file_link_count_ % pictures_per_group_ == 0) Expand(group_leader_template_.Value(), entry_array);
  // The first pictures of a page are in view as it opens: a layout loads them at once and
  // the others as they come into view.
  entry_array.SetVar("ImageLoading", file_link_count_ < kPicturesLoadedAtOnce ? "eager" : "lazy");
  WriteEntry(file_entry_template_.Value(), entry_array);
  WriteDetailPage(entry_array, detail_page_path, recorded_detail_page);
  ++file_link_count_;
  total_file_size_ += file_size;
  if (file_link_count_ % pictures_per_group_ == 0) {
    Expand(group_trailer_template_.Value(), entry_array);
  }
}

void WebPage::WriteFileTrailer(const VariableList& array) {
  if (file_link_count_ % pictures_per_group_ != 0) Expand(group_trailer_template_.Value(), array);
  Expand(file_trailer_template_.Value(), array);
}

void WebPage::WriteDetailPage(const VariableList& entry_array, const std::string& detail_page_path,
                               const std::optional<RecordedOutput>& recorded) {
  const std::string& detail_template = entry_array.GetVarValue("DetailPageTemplate");
  if (detail_template.empty()) return;
  const std::string& language = Site().Settings().page_language;
  bool ran_away = false;
  // The whole page: the skeleton around the expanded template.
  const auto write_page = [&](std::ostream& out) {
    WriteVersionComment(out);
    WriteHtmlStart(out, language);
    ExpansionBudget budget;
    ExpandTemplate(detail_template, entry_array, out, &Site().diagnostics(), &budget);
    out << "</HTML>\r\n";
    ran_away = budget.ran_away;
  };
  if (Site().Preview()) {
    std::ostringstream text;
    write_page(text);
    Site().OfferPreviewPage(detail_page_path, text.str());
    return;
  }
  SiteRecord& record = Site().Record();
  const std::string site_path = Site().SitePath(detail_page_path);
  ClaimResult claim = record.Claim(detail_page_path, recorded, IsOlderPageOfOurs);
  // A detail page has no head of its own to keep: one edited by hand is the user's.
  if (claim.claim == Ownership::kHandEdited) {
    claim.claim = Ownership::kUsers;
    claim.why = "changed since Pixamond wrote it";
  }
  // A page of ours, untouched since it was written from the same recipe, already holds
  // what expanding it again would write: it is neither expanded nor read.
  Digest recipe = DetailPageRecipe(entry_array, language);
  if (claim.claim == Ownership::kOurs && claim.stamp_matched && recorded &&
      !recorded->recipe.Empty() && recorded->recipe == recipe) {
    ++Site().Stats().pages_unchanged;
    ++Site().Stats().pages_not_expanded;
    record.ConfirmOutput(site_path);
    return;
  }
  Result<std::unique_ptr<PageFile>> file = PageFile::Create(detail_page_path, claim, recorded);
  if (!file.ok()) {
    if (recorded) record.ForgetOutput(site_path);
    Site().Report(file.status().message());
    return;
  }
  PageFile& page = **file;
  page.SetBeforeReplace(NotePendingPage(record, site_path, page.Content()));
  write_page((*file)->Stream());
  // A page whose expansion ran away is made again on every run, so that it is reported.
  if (ran_away) recipe = Digest();
  const Status closed = (*file)->Close();
  if (closed.ok()) {
    ++(page.Written() ? Site().Stats().pages_written : Site().Stats().pages_unchanged);
    RecordPage(record, site_path, page, recorded, false,
               Site().SitePath(entry_array.GetVarValue("AnchorDOSFullFileName")), recipe);
  } else {
    Site().Report(closed.message());
  }
}

void WebPage::SetPageCounters(VariableList& target) const {
  // Read the display size first: `target` may be this page's own array.
  const std::string width = var_array_->GetVarValue("MainImageDisplayWidth");
  const std::string height = var_array_->GetVarValue("MainImageDisplayHeight");
  target.SetIntVar("FileLinkCount", file_link_count_);
  target.SetIntVar("TotalFileLinkCount", TotalFileLinkCount());
  target.SetLongVar("TotalFileSizeInBytes", static_cast<long long>(total_file_size_));
  target.SetLongVar("TotalFileSizeInK", static_cast<long long>(total_file_size_ / 1024));
  target.SetVar("DisplayWidth", width);
  target.SetVar("DisplayHeight", height);
}

void WebPage::Close() {
  if (!opened_ || closed_) return;
  closed_ = true;
  VariableList& array = *var_array_;
  SetPageCounters(array);
  if (page_refused_) return;
  Expand(array.GetVarValue(kPageEndTemplate), array);
  // A layout that says how its body ends (BodyEndTag, "</BODY>" in the shipped layouts)
  // gets a well-formed end; others keep the paragraph mark pages have always ended with.
  if (array.FindVar(kBodyEndTag) != nullptr) {
    Out() << "\r\n";
    Expand("${BodyEndTag}", array);
    Out() << "\r\n</HTML>\r\n";
  } else {
    Out() << "\r\n<P>\r\n</HTML>\r\n";
  }
  if (Site().Preview()) {
    Site().OfferPreviewPage(page_file_path_, pending_.str());
    pending_.str(std::string());
    return;
  }
  OpenPageFile();
  if (!page_file_) return;
  pending_.str(std::string());
  const Status closed = page_file_->Close();
  if (closed.ok()) {
    ++(page_file_->Written() ? Site().Stats().pages_written : Site().Stats().pages_unchanged);
    RecordPage(Site().Record(), Site().SitePath(page_file_path_), *page_file_, recorded_,
               keeps_hand_edits_now_);
  }
  page_file_.reset();
  if (!closed.ok()) {
    Site().Report(closed.message());
  }
}

bool WebPage::TakesNoHandEdits() const {
  SiteRecord& record = Site().Record();
  const std::optional<RecordedOutput> recorded = record.FindOutput(Site().SitePath(page_file_path_));
  const ClaimResult claim = record.Claim(page_file_path_, recorded, IsOlderPageOfOurs);
  return claim.claim != Ownership::kHandEdited &&
         !(claim.claim == Ownership::kOurs && recorded && recorded->keeps_hand_edits);
}

std::vector<Digest> WebPage::ItemDigests() const {
  std::vector<Digest> digests;
  digests.reserve(static_cast<std::size_t>(var_array_->ItemCount()));
  for (int i = 0; i < var_array_->ItemCount(); ++i) digests.push_back(var_array_->Item(i).digest());
  return digests;
}

bool WebPage::NoteSummary(const std::vector<Digest>& before, FolderSummary& summary) const {
  const VariableList& array = *var_array_;
  if (static_cast<std::size_t>(array.ItemCount()) < before.size()) return false;
  const VariableList* above = parent_page_ != nullptr ? &parent_page_->VarArray() : nullptr;
  for (int i = 0; i < array.ItemCount(); ++i) {
    const Variable& item = array.Item(i);
    const bool own = item.owner_array == nullptr || item.owner_array == var_array_.get();
    if (!own && (above == nullptr || item.owner_array != above)) return false;
    const std::size_t index = static_cast<std::size_t>(i);
    if (own && index < before.size() && item.digest() == before[index]) continue;
    summary.page_variables.push_back({item.name(), item.value(), !own});
  }
  summary.entry_count = entry_count_;
  summary.file_link_count = file_link_count_;
  summary.listed_file_link_count = total_file_link_count_;
  summary.total_file_size = total_file_size_;
  summary.main_image_name = main_image_name_;
  summary.main_image_srcset = main_image_srcset_;
  return true;
}

void WebPage::TakeSummary(const FolderSummary& summary) {
  VariableList& array = *var_array_;
  array.mark_changes = false;
  VariableList* above = parent_page_ != nullptr ? &parent_page_->VarArray() : nullptr;
  for (const FolderSummary::PageVariable& variable : summary.page_variables) {
    Variable* item = array.SetVar(variable.name, variable.value);
    item->owner_array = variable.expands_above && above != nullptr ? above : &array;
  }
  // As a page whose pictures were written leaves it: their changes are marked.
  array.mark_changes = true;
  entry_count_ = summary.entry_count;
  file_link_count_ = summary.file_link_count;
  total_file_link_count_ = summary.listed_file_link_count;
  total_file_size_ = summary.total_file_size;
  main_image_name_ = summary.main_image_name;
  main_image_srcset_ = summary.main_image_srcset;
}

}  // namespace pix
