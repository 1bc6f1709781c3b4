#include "site/escape.h"

#include "files/utils.h"

namespace pix {
namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
  return IsAsciiDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The length of the character reference ("&name;", "&#123;", "&#x1F;") at the start of
// `text`, or 0 when none starts there.
std::size_t CharacterReferenceLength(std::string_view text) {
  constexpr std::size_t kLongestName = 32;
  if (text.size() < 3 || text[0] != '&') return 0;
  std::size_t i = 1;
  std::size_t digits = 0;
  if (text[i] == '#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    while (i < text.size() && (hex ? IsHexDigit(text[i]) : IsAsciiDigit(text[i])) && digits < 8) {
      ++i;
      ++digits;
    }
  } else {
    while (i < text.size() && (IsAsciiLetter(text[i]) || (digits > 0 && IsAsciiDigit(text[i]))) &&
           digits < kLongestName) {
      ++i;
      ++digits;
    }
  }
  return digits > 0 && i < text.size() && text[i] == ';' ? i + 1 : 0;
}

// The length of the tag at the start of `text` ("<b>", "</p>", "<!-- x -->", "<img ...>"),
// or 0 when the "<" there starts no tag and is only a character.
std::size_t TagLength(std::string_view text) {
  if (text.size() < 2 || text[0] != '<') return 0;
  const char next = text[1];
  if (!IsAsciiLetter(next) && next != '/' && next != '!' && next != '?') return 0;
  const std::size_t end = text.find('>');
  return end == std::string_view::npos ? 0 : end + 1;
}

}  // namespace

std::string UrlEncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                       byte == '_' || byte == '~' || byte == '/';
    if (plain) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[byte >> 4]);
      encoded.push_back(kHex[byte & 0x0F]);
    }
  }
  return encoded;
}

std::string HtmlEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      case '$': escaped += "&#36;"; break;
      default: escaped.push_back(c);
    }
  }
  return escaped;
}

std::string HtmlToAttributeText(std::string_view html) {
  // First the words: tags out, white space runs (a removed tag counts as one) made single.
  std::string words;
  words.reserve(html.size());
  bool space = false;
  for (std::size_t i = 0; i < html.size();) {
    const std::size_t tag = TagLength(html.substr(i));
    if (tag > 0 || IsHtmlSpace(html[i])) {
      space = true;
      i += tag > 0 ? tag : 1;
      continue;
    }
    if (space && !words.empty()) words.push_back(' ');
    space = false;
    words.push_back(html[i++]);
  }
  // Then the escaping, which leaves the references that are already there alone.
  std::string text;
  text.reserve(words.size());
  for (std::size_t i = 0; i < words.size();) {
    const std::size_t reference = CharacterReferenceLength(std::string_view(words).substr(i));
    if (reference > 0) {
      text.append(words, i, reference);
      i += reference;
    } else {
      text += HtmlEscape(std::string_view(words).substr(i, 1));
      ++i;
    }
  }
  return text;
}

}  // namespace pix
