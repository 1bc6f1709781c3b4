#include "picture/metatext.h"

#include <exiv2/iptc.hpp>
#include <exiv2/jpgimage.hpp>
#include <expat.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>

#include "picture/exifinfo.h"

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

// What Windows-1252 puts at 0x80 to 0x9F; 0 where it defines nothing (that byte is
// dropped, like a control character).
constexpr std::uint32_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

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

// ---------------------------------------------------------------------------------------
// XMP packets, read with expat.

constexpr std::string_view kDublinCoreDescription = "http://purl.org/dc/elements/1.1/ description";
constexpr std::string_view kRdfLi = "http://www.w3.org/1999/02/22-rdf-syntax-ns# li";
constexpr std::string_view kXmlLang = "http://www.w3.org/XML/1998/namespace lang";

// What the parser has found of the description so far.
struct XmpReader {
  int depth = 0;
  int description_depth = 0;  // The depth of dc:description while inside it, else 0.
  bool description_has_children = false;
  std::string direct_text;      // Text straight inside dc:description.
  bool in_item = false;         // Inside one of its rdf:li.
  bool item_is_default = false;
  std::string item_text;
  std::optional<std::string> first;
  std::optional<std::string> default_language;
  std::optional<std::string> attribute;  // dc:description given as an attribute.
};

void XMLCALL XmpStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  XmpReader& reader = *static_cast<XmpReader*>(data);
  ++reader.depth;
  const std::string_view element = name;
  if (reader.description_depth == 0) {
    if (element == kDublinCoreDescription) {
      reader.description_depth = reader.depth;
      return;
    }
    for (int i = 0; attributes[i] != nullptr; i += 2) {
      if (!reader.attribute && attributes[i] == kDublinCoreDescription) {
        reader.attribute = attributes[i + 1];
      }
    }
    return;
  }
  reader.description_has_children = true;
  if (element == kRdfLi && !reader.in_item) {
    reader.in_item = true;
    reader.item_text.clear();
    reader.item_is_default = false;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
      if (attributes[i] == kXmlLang && std::string_view(attributes[i + 1]) == "x-default") {
        reader.item_is_default = true;
      }
    }
  }
}

void XMLCALL XmpEnd(void* data, const XML_Char* name) {
  XmpReader& reader = *static_cast<XmpReader*>(data);
  if (reader.in_item && std::string_view(name) == kRdfLi) {
    reader.in_item = false;
    if (!reader.first) reader.first = reader.item_text;
    if (reader.item_is_default && !reader.default_language) {
      reader.default_language = reader.item_text;
    }
  }
  if (reader.depth == reader.description_depth) reader.description_depth = 0;
  --reader.depth;
}

void XMLCALL XmpText(void* data, const XML_Char* text, int length) {
  XmpReader& reader = *static_cast<XmpReader*>(data);
  if (reader.description_depth == 0) return;
  const std::string_view piece(text, static_cast<std::size_t>(length));
  if (reader.in_item) {
    if (reader.item_text.size() < kMaxMetadataTextLength) reader.item_text += piece;
  } else if (reader.depth == reader.description_depth &&
             reader.direct_text.size() < kMaxMetadataTextLength) {
    reader.direct_text += piece;
  }
}

// ---------------------------------------------------------------------------------------
// IPTC records inside Photoshop's image resources, read with exiv2.

// The raw bytes of a data set's value.
std::string IptcBytes(const Exiv2::Iptcdatum& datum) {
  std::string bytes(static_cast<std::size_t>(datum.size()), '\0');
  if (!bytes.empty()) {
    datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::bigEndian);
  }
  return bytes;
}

}  // namespace

std::string CleanMetadataText(std::string_view raw) {
  return CleanMetadataTextAs(raw, TextEncoding::kDetect);
}

std::string CleanMetadataTextAs(std::string_view raw, TextEncoding encoding) {
  raw = raw.substr(0, raw.find('\0'));
  // A field is one text in one character set: UTF-8 when all of it is, else the Windows
  // code page that older programs and cameras write (Latin-1 with punctuation at 0x80 to
  // 0x9F), unless the field declares UTF-8, whose broken sequences then become U+FFFD.
  bool utf8 = encoding == TextEncoding::kUtf8;
  if (!utf8) {
    utf8 = true;
    for (std::size_t i = 0; i < raw.size() && utf8;) {
      const std::size_t length = Utf8SequenceLength(raw, i);
      utf8 = length > 0;
      i += length;
    }
  }
  std::string text;
  text.reserve(raw.size() < kMaxMetadataTextLength ? raw.size() : kMaxMetadataTextLength);
  for (std::size_t i = 0; i < raw.size();) {
    std::uint32_t code = ByteAt(raw, i);
    std::size_t length = 1;
    if (utf8) {
      length = Utf8SequenceLength(raw, i);
      if (length == 0) {
        code = 0xFFFD;
        length = 1;
      } else if (length > 1) {
        code = ByteAt(raw, i) & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) code = code << 6 | (ByteAt(raw, i + k) & 0x3F);
      }
    } else if (code >= 0x80 && code < 0xA0) {
      code = kWindows1252[code - 0x80];
    }
    std::string piece;
    if (code == '\r' || code == '\n') {
      piece = "\r\n";
      // A CR LF pair is one line end.
      if (code == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++length;
    } else if (code == '\t' || (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0))) {
      // Control characters, C1 ones (U+0080 to U+009F) too, and the bytes the code page
      // leaves undefined are dropped.
      if (utf8 && code != 0xFFFD) {
        piece = raw.substr(i, length);
      } else {
        AppendUtf8(piece, code);
      }
    }
    i += length;
    if (text.size() + piece.size() > kMaxMetadataTextLength) break;
    text += piece;
  }
  return std::string(Trimmed(text));
}

std::string XmpDescriptionOf(std::string_view packet) {
  // Writers pad packets with NULs and spaces; expat takes what is left, in UTF-8 or UTF-16,
  // with namespaces resolved, so that any prefix bound to Dublin Core is understood, and
  // comments, CDATA sections and references are read as XML reads them.
  const std::size_t whole = packet.size();
  while (!packet.empty() && packet.back() == '\0') packet.remove_suffix(1);
  // In little-endian UTF-16 the last character's own high byte is a NUL too.
  const bool little_endian_utf16 =
      packet.size() >= 2 && ((packet[0] == '\xFF' && packet[1] == '\xFE') ||
                             (packet[0] == '<' && packet[1] == '\0'));
  if (little_endian_utf16 && packet.size() % 2 != 0 && packet.size() < whole) {
    packet = std::string_view(packet.data(), packet.size() + 1);
  }
  if (packet.empty() || packet.size() > static_cast<std::size_t>(INT32_MAX)) return std::string();
  XmpReader reader;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreateNS(nullptr, ' '),
                                                                 &XML_ParserFree);
  if (!parser) return std::string();
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), &XmpStart, &XmpEnd);
  XML_SetCharacterDataHandler(parser.get(), &XmpText);
  // A packet is a document of its own: no document type, no entities beyond XML's five.
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  if (XML_Parse(parser.get(), packet.data(), static_cast<int>(packet.size()), XML_TRUE) !=
      XML_STATUS_OK) {
    return std::string();
  }
  if (reader.default_language) return CleanMetadataTextAs(*reader.default_language, TextEncoding::kUtf8);
  if (reader.first) return CleanMetadataTextAs(*reader.first, TextEncoding::kUtf8);
  // Some programs write the text straight into the element, or as an attribute.
  if (!reader.description_has_children && !reader.direct_text.empty()) {
    return CleanMetadataTextAs(reader.direct_text, TextEncoding::kUtf8);
  }
  if (reader.attribute) return CleanMetadataTextAs(*reader.attribute, TextEncoding::kUtf8);
  return std::string();
}

std::string IptcCaptionOf(std::string_view resources) {
  if (resources.empty() || resources.size() > static_cast<std::size_t>(LONG_MAX)) return std::string();
  QuietenExiv2();
  try {
    // Photoshop may hold the record in several resources of its kind, one after the other.
    const auto* data = reinterpret_cast<const Exiv2::byte*>(resources.data());
    const long size = static_cast<long>(resources.size());
    std::string iim;
    const Exiv2::byte* record = nullptr;
    std::uint32_t header_bytes = 0;
    std::uint32_t data_bytes = 0;
    for (long at = 0; at < size && Exiv2::Photoshop::locateIptcIrb(data + at, size - at, &record,
                                                                    &header_bytes, &data_bytes) == 0;) {
      const long start = static_cast<long>(record - data) + header_bytes;
      if (start > size || data_bytes > static_cast<std::uint32_t>(size - start)) break;
      iim.append(resources.substr(static_cast<std::size_t>(start), data_bytes));
      at = start + static_cast<long>(data_bytes) + static_cast<long>(data_bytes % 2);
    }
    if (iim.empty()) return std::string();
    Exiv2::IptcData datasets;
    Exiv2::IptcParser::decode(datasets, reinterpret_cast<const Exiv2::byte*>(iim.data()),
                              static_cast<std::uint32_t>(iim.size()));
    const Exiv2::Iptcdatum* caption = nullptr;
    const Exiv2::Iptcdatum* charset = nullptr;
    for (const Exiv2::Iptcdatum& datum : datasets) {
      if (caption == nullptr && datum.record() == Exiv2::IptcDataSets::application2 &&
          datum.tag() == Exiv2::IptcDataSets::Caption) {
        caption = &datum;
      }
      if (charset == nullptr && datum.record() == Exiv2::IptcDataSets::envelope &&
          datum.tag() == Exiv2::IptcDataSets::CharacterSet) {
        charset = &datum;
      }
    }
    if (caption == nullptr) return std::string();
    // The envelope's coded character set says how every text is written; ESC % G is UTF-8.
    // Without it each text is read as UTF-8 or Windows-1252, as a whole.
    const bool utf8 = charset != nullptr && IptcBytes(*charset).substr(0, 3) == "\x1B%G";
    return CleanMetadataTextAs(IptcBytes(*caption),
                               utf8 ? TextEncoding::kUtf8 : TextEncoding::kDetect);
  } catch (const std::exception&) {
    return std::string();
  }
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
