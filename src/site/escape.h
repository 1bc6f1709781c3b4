// Making names safe to put into pages.
//
// File names may hold any byte but "/" and NUL: spaces, "#", "?", "%", quotes, "<", "&",
// bytes of UTF-8 or of older 8-bit code pages. The name variables keep the names as they
// are; their companions made here are what a layout puts into links and text.
#pragma once

#include <string>
#include <string_view>

namespace pix {

/// A relative link made safe for an href or src attribute: every byte but the unreserved
/// ASCII characters (letters, digits, "-", ".", "_", "~") and "/" becomes %XX.
std::string UrlEncodePath(std::string_view path);

/// Text made safe for HTML content and attribute values: "&", "<", ">", '"' and "'" become
/// character references, and so does "$", so that a name holding "${...}" is never taken
/// for a template reference when the companion is expanded.
std::string HtmlEscape(std::string_view text);

/// HTML made into plain text for an attribute value (an alt or title text): tags are
/// removed, every run of white space becomes one space, the ends are trimmed, and the rest
/// is escaped as HtmlEscape does, except that a character reference the HTML already holds
/// ("&amp;", "&#233;", "&eacute;") is kept as it is rather than escaped twice.
std::string HtmlToAttributeText(std::string_view html);

}  // namespace pix
