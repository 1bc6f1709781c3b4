#include "site/htmlpage.h"

#include <gumbo.h>

#include <cstring>
#include <memory>

namespace pix {
namespace {

struct GumboOutputDeleter {
  void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};
using GumboOutputPtr = std::unique_ptr<GumboOutput, GumboOutputDeleter>;

// The attributes that name another file, by the elements that carry them.
struct ReferenceAttribute {
  GumboTag tag;
  const char* attribute;
};
constexpr ReferenceAttribute kReferenceAttributes[] = {
    {GUMBO_TAG_A, "href"},        {GUMBO_TAG_AREA, "href"},     {GUMBO_TAG_LINK, "href"},
    {GUMBO_TAG_IMG, "src"},       {GUMBO_TAG_IMG, "srcset"},    {GUMBO_TAG_SOURCE, "src"},
    {GUMBO_TAG_SOURCE, "srcset"}, {GUMBO_TAG_SCRIPT, "src"},    {GUMBO_TAG_IFRAME, "src"},
    {GUMBO_TAG_AUDIO, "src"},     {GUMBO_TAG_VIDEO, "src"},     {GUMBO_TAG_VIDEO, "poster"},
    {GUMBO_TAG_TRACK, "src"},     {GUMBO_TAG_EMBED, "src"},     {GUMBO_TAG_OBJECT, "data"},
    {GUMBO_TAG_INPUT, "src"},
};

// Elements whose end tag HTML allows to leave out (or that have none): the parser closing
// them by itself is no repair.
bool MayCloseImplicitly(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_HTML: case GUMBO_TAG_HEAD: case GUMBO_TAG_BODY: case GUMBO_TAG_P:
    case GUMBO_TAG_LI: case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_OPTION:
    case GUMBO_TAG_OPTGROUP: case GUMBO_TAG_TR: case GUMBO_TAG_TD: case GUMBO_TAG_TH:
    case GUMBO_TAG_THEAD: case GUMBO_TAG_TBODY: case GUMBO_TAG_TFOOT: case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_CAPTION: case GUMBO_TAG_RT: case GUMBO_TAG_RP: case GUMBO_TAG_AREA:
    case GUMBO_TAG_BASE: case GUMBO_TAG_BR: case GUMBO_TAG_COL: case GUMBO_TAG_EMBED:
    case GUMBO_TAG_HR: case GUMBO_TAG_IMG: case GUMBO_TAG_INPUT: case GUMBO_TAG_LINK:
    case GUMBO_TAG_META: case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE: case GUMBO_TAG_TRACK:
    case GUMBO_TAG_WBR:
      return true;
    default:
      return false;
  }
}

std::string TagName(const GumboElement& element) {
  if (element.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(element.tag);
  GumboStringPiece name = element.original_tag;
  gumbo_tag_from_original_text(&name);
  return std::string(name.data, name.length);
}

// The URLs of a srcset value: each candidate is a URL, then an optional width or density.
std::vector<std::string> SrcsetUrls(std::string_view value) {
  std::vector<std::string> urls;
  std::size_t at = 0;
  while (at < value.size()) {
    while (at < value.size() && (value[at] == ',' || std::strchr(" \t\r\n\f", value[at]))) ++at;
    const std::size_t start = at;
    while (at < value.size() && !std::strchr(" \t\r\n\f", value[at])) ++at;
    std::string url(value.substr(start, at - start));
    // A URL ends at the blank before its descriptor; one followed directly by "," loses it.
    if (!url.empty() && url.back() == ',') url.pop_back();
    if (!url.empty()) urls.push_back(std::move(url));
    while (at < value.size() && value[at] != ',') ++at;
  }
  return urls;
}

class PageReader {
 public:
  explicit PageReader(HtmlPage& page) : page_(page) {}

  // Visits every element below `root` in document order. A stack of its own rather than
  // recursion: a page may nest elements deeper than the thread's stack would allow.
  void Visit(const GumboNode& root) {
    std::vector<const GumboNode*> pending{&root};
    while (!pending.empty()) {
      const GumboNode& node = *pending.back();
      pending.pop_back();
      if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE) continue;
      VisitElement(node);
      const GumboVector& children = node.v.element.children;
      for (unsigned i = children.length; i > 0; --i) {
        pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
      }
    }
  }

 private:
  void VisitElement(const GumboNode& node) {
    const GumboElement& element = node.v.element;
    const unsigned line = element.start_pos.line;
    NoteRepairs(node, line);
    for (const ReferenceAttribute& wanted : kReferenceAttributes) {
      if (wanted.tag != element.tag) continue;
      const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, wanted.attribute);
      if (attribute == nullptr) continue;
      const std::string tag = TagName(element);
      if (std::strcmp(wanted.attribute, "srcset") == 0) {
        for (std::string& url : SrcsetUrls(attribute->value)) {
          page_.references.push_back({std::move(url), tag, wanted.attribute, line});
        }
      } else {
        page_.references.push_back({attribute->value, tag, wanted.attribute, line});
      }
    }
    if (element.tag == GUMBO_TAG_IMG && gumbo_get_attribute(&element.attributes, "alt") == nullptr) {
      page_.problems.push_back({line, "<img> has no alt text"});
    }
  }

  void NoteRepairs(const GumboNode& node, unsigned line) {
    const GumboElement& element = node.v.element;
    const unsigned flags = node.parse_flags;
    const std::string tag = "<" + TagName(element) + ">";
    if (flags & GUMBO_INSERTION_FOSTER_PARENTED) {
      page_.problems.push_back({line, tag + " stands inside a table where it may not"});
    } else if (flags & (GUMBO_INSERTION_ADOPTION_AGENCY_CLONED |
                        GUMBO_INSERTION_ADOPTION_AGENCY_MOVED |
                        GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT)) {
      page_.problems.push_back({line, tag + " is closed out of order"});
    } else if (flags & GUMBO_INSERTION_CONVERTED_FROM_END_TAG) {
      page_.problems.push_back({line, "an end tag </" + TagName(element) + "> without its start"});
    } else if ((flags & GUMBO_INSERTION_IMPLICIT_END_TAG) && !(flags & GUMBO_INSERTION_BY_PARSER) &&
               !MayCloseImplicitly(element.tag)) {
      page_.problems.push_back({line, tag + " is never closed"});
    }
  }

  HtmlPage& page_;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

bool HasScheme(std::string_view reference) {
  const std::size_t colon = reference.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = reference[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) {
      return false;
    }
  }
  return true;
}

}  // namespace

HtmlPage ReadHtmlPage(std::string_view text) {
  HtmlPage page;
  GumboOptions options = kGumboDefaultOptions;
  // Only the count is wanted; a page full of errors need not keep them all.
  options.max_errors = 1000;
  GumboOutputPtr output(gumbo_parse_with_options(&options, text.data(), text.size()));
  if (!output) {
    page.problems.push_back({0, "the page cannot be parsed"});
    return page;
  }
  page.syntax_errors = output->errors.length;
  const GumboDocument& document = output->document->v.document;
  if (!document.has_doctype) page.problems.push_back({0, "the page has no <!DOCTYPE>"});
  const GumboElement& root = output->root->v.element;
  const GumboAttribute* lang = gumbo_get_attribute(&root.attributes, "lang");
  if (lang == nullptr || lang->value[0] == '\0') {
    page.problems.push_back({0, "the page does not say its language (<html lang>)"});
  }
  PageReader(page).Visit(*output->root);
  // The parser's errors carry no detail this library shows; their count says that a
  // browser repairs more than the lines above name (a stray end tag, a bad attribute).
  if (page.syntax_errors > 0) {
    page.problems.push_back({0, std::to_string(page.syntax_errors) + " HTML syntax error" +
                                    (page.syntax_errors == 1 ? "" : "s") +
                                    " a browser repairs"});
  }
  return page;
}

std::optional<std::string> ResolvePageReference(std::string_view page_path,
                                                std::string_view reference) {
  // Blanks around a URL are no part of it.
  while (!reference.empty() && std::strchr(" \t\r\n\f", reference.front())) reference.remove_prefix(1);
  while (!reference.empty() && std::strchr(" \t\r\n\f", reference.back())) reference.remove_suffix(1);
  if (HasScheme(reference) || reference.substr(0, 2) == "//") return std::nullopt;
  reference = reference.substr(0, reference.find_first_of("?#"));
  if (reference.empty()) return std::nullopt;
  const std::string decoded = PercentDecoded(reference);
  std::vector<std::string> parts;
  std::string_view rest = decoded;
  if (rest.front() == '/') {
    rest.remove_prefix(1);
  } else {
    const std::size_t slash = page_path.rfind('/');
    std::string_view folder = slash == std::string_view::npos ? "" : page_path.substr(0, slash);
    while (!folder.empty()) {
      const std::size_t end = folder.find('/');
      parts.emplace_back(folder.substr(0, end));
      folder = end == std::string_view::npos ? "" : folder.substr(end + 1);
    }
  }
  int climbs = 0;
  for (;;) {
    const std::size_t end = rest.find('/');
    const std::string_view part = rest.substr(0, end);
    if (part == "..") {
      if (parts.empty()) {
        ++climbs;
      } else {
        parts.pop_back();
      }
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  std::string resolved;
  for (int i = 0; i < climbs; ++i) resolved += "../";
  for (const std::string& part : parts) {
    if (!resolved.empty() && resolved.back() != '/') resolved += '/';
    resolved += part;
  }
  return resolved;
}

bool LeavesSite(std::string_view resolved) {
  return resolved == ".." || resolved.substr(0, 3) == "../";
}

}  // namespace pix
