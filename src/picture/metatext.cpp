#include "picture/metatext.h"

#include <cstdint>
#include <optional>

namespace pix {
namespace {

constexpr std::size_t npos = std::string_view::npos;

std::uint8_t ByteAt(std::string_view text, std::size_t i) {
  return static_cast<std::uint8_t>(text[i]);
}

// The length of the well-formed UTF-8 sequence that starts at `i`, or 0 when the byte there
// starts none (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const std::uint8_t lead = ByteAt(text, i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((ByteAt(text, i + k) & 0xC0) != 0x80) return 0;
  }
  const std::uint8_t second = ByteAt(text, i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsLineSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsLineSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsLineSpace(text.back())) text.remove_suffix(1);
  return text;
}

// ---------------------------------------------------------------------------------------
// XML, as far as an XMP description needs it: tags found by name, attribute values, and
// character references. No nesting is followed beyond what the description's own
// structure (an rdf:Alt of rdf:li elements) needs.

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The position of the next start tag `<name` at or after `from`; the name must end there.
std::size_t FindStartTag(std::string_view xml, std::string_view name, std::size_t from) {
  while (from < xml.size()) {
    const std::size_t at = xml.find(name, from);
    if (at == npos) return npos;
    const std::size_t after = at + name.size();
    if (at > 0 && xml[at - 1] == '<' && after < xml.size() &&
        (IsXmlSpace(xml[after]) || xml[after] == '>' || xml[after] == '/')) {
      return at - 1;
    }
    from = at + 1;
  }
  return npos;
}

// The position of the ">" that ends the tag starting at `at`, passing over quoted values.
std::size_t TagEnd(std::string_view xml, std::size_t at) {
  char quote = 0;
  for (std::size_t i = at; i < xml.size(); ++i) {
    const char c = xml[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return npos;
}

// The quoted value that follows `name` and "=" (white space allowed around it) at `at`.
std::optional<std::string_view> QuotedValueAfter(std::string_view text, std::size_t at,
                                                 std::string_view name) {
  std::size_t i = at + name.size();
  while (i < text.size() && IsXmlSpace(text[i])) ++i;
  if (i >= text.size() || text[i] != '=') return std::nullopt;
  ++i;
  while (i < text.size() && IsXmlSpace(text[i])) ++i;
  if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return std::nullopt;
  const char quote = text[i];
  const std::size_t end = text.find(quote, i + 1);
  if (end == npos) return std::nullopt;
  return text.substr(i + 1, end - i - 1);
}

// The value of attribute `name` in the start tag `tag` (which the caller has delimited).
std::optional<std::string_view> AttributeValue(std::string_view tag, std::string_view name) {
  for (std::size_t at = tag.find(name); at != npos; at = tag.find(name, at + 1)) {
    if (at == 0 || !IsXmlSpace(tag[at - 1])) continue;
    if (auto value = QuotedValueAfter(tag, at, name)) return value;
  }
  return std::nullopt;
}

// The character that the reference `name` (between "&" and ";") stands for, if any.
std::optional<std::uint32_t> ReferencedCharacter(std::string_view name) {
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "amp") return '&';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return std::nullopt;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return std::nullopt;
  std::uint32_t code = 0;
  for (const char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    if (digit < 0) return std::nullopt;
    code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    if (code > 0x10FFFF) return std::nullopt;
  }
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return code;
}

// XML text with its character references replaced; a reference that cannot be read stays
// as it is.
std::string DecodeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      // The longest reference read here is "&#x10FFFF;".
      const std::size_t end = text.substr(i, 12).find(';');
      if (end != npos) {
        if (auto code = ReferencedCharacter(text.substr(i + 1, end - 1))) {
          AppendUtf8(out, *code);
          i += end;
          continue;
        }
      }
    }
    out += text[i];
  }
  return out;
}

// The description written as an attribute of rdf:Description, which some programs do
// although the value is meant to be a list of alternatives.
std::string_view DescriptionAttribute(std::string_view packet) {
  constexpr std::string_view kName = "dc:description";
  for (std::size_t at = packet.find(kName); at != npos; at = packet.find(kName, at + 1)) {
    if (at == 0 || !IsXmlSpace(packet[at - 1])) continue;
    if (auto value = QuotedValueAfter(packet, at, kName)) return *value;
  }
  return {};
}

// The text of the x-default alternative of an rdf:Alt, or of its first one.
std::optional<std::string_view> ChosenAlternative(std::string_view content) {
  std::optional<std::string_view> first;
  std::size_t at = FindStartTag(content, "rdf:li", 0);
  while (at != npos) {
    const std::size_t end = TagEnd(content, at);
    if (end == npos) break;
    const std::string_view tag = content.substr(at, end - at);
    std::string_view text;
    std::size_t next = end + 1;
    if (content[end - 1] != '/') {
      const std::size_t close = content.find("</rdf:li", end + 1);
      if (close == npos) break;
      text = content.substr(end + 1, close - end - 1);
      next = close + 1;
    }
    if (AttributeValue(tag, "xml:lang") == std::optional<std::string_view>("x-default")) {
      return text;
    }
    if (!first) first = text;
    at = FindStartTag(content, "rdf:li", next);
  }
  return first;
}

// ---------------------------------------------------------------------------------------
// IPTC records inside Photoshop's image resources.

std::uint32_t BigEndian(std::string_view bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = value << 8 | ByteAt(bytes, at + i);
  return value;
}

// The caption data set among IIM data sets ("\x1C", record, data set, length, data).
std::optional<std::string_view> IptcCaptionDataSet(std::string_view iim) {
  constexpr std::uint8_t kTagMarker = 0x1C;
  constexpr std::uint8_t kApplicationRecord = 2;
  constexpr std::uint8_t kCaption = 120;
  std::size_t at = 0;
  while (iim.size() - at >= 5 && ByteAt(iim, at) == kTagMarker) {
    const std::uint8_t record = ByteAt(iim, at + 1);
    const std::uint8_t data_set = ByteAt(iim, at + 2);
    std::size_t length = BigEndian(iim, at + 3, 2);
    at += 5;
    if (length & 0x8000) {
      // An extended data set: the low bits give how many bytes hold the length.
      const std::size_t length_bytes = length & 0x7FFF;
      if (length_bytes == 0 || length_bytes > 4 || iim.size() - at < length_bytes) break;
      length = BigEndian(iim, at, length_bytes);
      at += length_bytes;
    }
    if (iim.size() - at < length) break;
    if (record == kApplicationRecord && data_set == kCaption) return iim.substr(at, length);
    at += length;
  }
  return std::nullopt;
}

}  // namespace

std::string CleanMetadataText(std::string_view raw) {
  raw = raw.substr(0, raw.find('\0'));
  std::string text;
  text.reserve(raw.size() < kMaxMetadataTextLength ? raw.size() : kMaxMetadataTextLength);
  for (std::size_t i = 0; i < raw.size();) {
    const std::size_t length = Utf8SequenceLength(raw, i);
    std::string piece;
    if (length == 0) {
      // Not UTF-8: the byte is taken as Latin-1, except for its control characters.
      const std::uint8_t byte = ByteAt(raw, i);
      if (byte >= 0xA0) AppendUtf8(piece, byte);
      i += 1;
    } else if (length == 1) {
      const char c = raw[i];
      if (c == '\r' || c == '\n') {
        piece = "\r\n";
        // A CR LF pair is one line end.
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
      } else if (c == '\t' || (c >= 0x20 && c != 0x7F)) {
        piece = c;
      }
      i += 1;
    } else {
      // U+0080 to U+009F are control characters too.
      if (!(length == 2 && ByteAt(raw, i) == 0xC2 && ByteAt(raw, i + 1) < 0xA0)) {
        piece = raw.substr(i, length);
      }
      i += length;
    }
    if (text.size() + piece.size() > kMaxMetadataTextLength) break;
    text += piece;
  }
  return std::string(Trimmed(text));
}

std::string XmpDescriptionOf(std::string_view packet) {
  const std::size_t open = FindStartTag(packet, "dc:description", 0);
  if (open == npos) return CleanMetadataText(DecodeXmlText(DescriptionAttribute(packet)));
  const std::size_t open_end = TagEnd(packet, open);
  if (open_end == npos || packet[open_end - 1] == '/') return std::string();
  const std::size_t close = packet.find("</dc:description", open_end + 1);
  if (close == npos) return std::string();
  const std::string_view content = packet.substr(open_end + 1, close - open_end - 1);
  if (std::optional<std::string_view> alternative = ChosenAlternative(content)) {
    return CleanMetadataText(DecodeXmlText(*alternative));
  }
  // Some programs write the text straight into the element.
  if (content.find('<') != npos) return std::string();
  return CleanMetadataText(DecodeXmlText(content));
}

std::string IptcCaptionOf(std::string_view resources) {
  constexpr std::string_view kSignature = "8BIM";
  constexpr std::uint32_t kIptcResource = 0x0404;
  std::size_t at = 0;
  // Signature, resource id, then at least the name's length byte and its padding.
  while (resources.size() - at >= 8 && resources.substr(at, 4) == kSignature) {
    const std::uint32_t id = BigEndian(resources, at + 4, 2);
    at += 6;
    // The name: a length byte and its characters, padded to an even count.
    std::size_t name_bytes = 1 + ByteAt(resources, at);
    name_bytes += name_bytes % 2;
    if (resources.size() - at < name_bytes + 4) break;
    at += name_bytes;
    const std::size_t size = BigEndian(resources, at, 4);
    at += 4;
    if (resources.size() - at < size) break;
    if (id == kIptcResource) {
      if (auto caption = IptcCaptionDataSet(resources.substr(at, size))) {
        return CleanMetadataText(*caption);
      }
    }
    // The data are padded to an even count too; the last pad byte may be missing.
    at += size + size % 2;
    if (at > resources.size()) break;
  }
  return std::string();
}

bool IsProgramStampComment(std::string_view comment) {
  static constexpr std::string_view kStamps[] = {
      "Created with GIMP",
      "CREATOR: gd-jpeg",
      "AppleMark",
      "LEAD Technologies",
      "File written by Adobe",
      "Intel(R) JPEG Library",
      "Optimized by JPEGmini",
      "Lavc",
  };
  const std::string_view text = Trimmed(comment);
  for (std::string_view stamp : kStamps) {
    if (text.substr(0, stamp.size()) == stamp) return true;
  }
  return false;
}

}  // namespace pix
