// A page of the site read as a visitor's browser reads it: which files it refers to, and
// what in it a browser would have to repair or a reader would miss.
//
// The page is parsed by libgumbo, an HTML5 parser that builds the tree a browser builds,
// repairs included; this file is the only one that uses it. What the parser had to repair
// shows in the flags it leaves on the elements, and those are what "not well-formed"
// means here: an element closed out of order, one that stands where a table does not allow
// it, an end tag without its start, an element that is never closed although HTML wants it
// closed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pix {

/// One reference of a page to another file: a link, an image, a stylesheet, a script.
struct PageReference {
  std::string value;      ///< The attribute's value, character references decoded.
  std::string element;    ///< "a", "img", "link", ...
  std::string attribute;  ///< "href", "src", "srcset", ...
  unsigned line = 0;      ///< Where the element starts, from 1.
};

/// Something in a page that a browser repairs or a reader misses.
struct PageProblem {
  unsigned line = 0;  ///< 0 for the page as a whole.
  std::string text;   ///< "<img> has no alt text", "the page says no language (lang)", ...
};

/// What ReadHtmlPage found.
struct HtmlPage {
  std::vector<PageReference> references;
  std::vector<PageProblem> problems;
  /// How many syntax errors the parser met, those above included.
  unsigned syntax_errors = 0;
};

/// Parses `text` as an HTML page.
HtmlPage ReadHtmlPage(std::string_view text);

/// Where `reference`, written in the page at `page_path` (relative to the site, such as
/// "trip/index.html"), leads: a path relative to the site ("trip/inline/a.jpg"), or one that
/// starts with "../" when it climbs out of the site. None for a reference that does not
/// name a file of the site: an address with a scheme ("https:", "mailto:"), one of another
/// host ("//host/x"), or only a place in the same page ("#top"). The query and the fragment
/// are left off, and %-escapes decoded.
std::optional<std::string> ResolvePageReference(std::string_view page_path,
                                                std::string_view reference);

/// True for a resolved path (see ResolvePageReference) that leads out of the site.
bool LeavesSite(std::string_view resolved);

}  // namespace pix
