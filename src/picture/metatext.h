// Text that cameras and photo programs store inside a picture: the clean-up every such
// text gets, and the caption of an XMP packet and of an IPTC record.
//
// The bytes come from the picture file and may be anything: the readers here look only
// inside the buffer they are given, check every length against it, and give up on the
// first thing that does not fit (handing over no text rather than a guess).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pix {

/// The most bytes a text taken from a picture's metadata keeps.
inline constexpr std::size_t kMaxMetadataTextLength = 8000;

/// Turns raw metadata bytes into text for a page: the text ends at the first NUL; a text
/// that is not UTF-8 as a whole is read as Windows-1252 (Latin-1 with curly quotes, dashes
/// and the euro sign at 0x80 to 0x9F); control characters other than tab and line ends are
/// dropped, every line end becomes CR LF; leading and trailing
/// white space is removed; the text is cut (at a character boundary) after
/// kMaxMetadataTextLength bytes.
std::string CleanMetadataText(std::string_view raw);

/// How the bytes of a metadata text are to be read.
enum class TextEncoding {
  kDetect,  ///< UTF-8 when the whole text is UTF-8, else Windows-1252.
  kUtf8,    ///< Declared UTF-8 (IPTC's coded character set ESC % G): broken bytes become U+FFFD.
};

/// CleanMetadataText with a known or detected encoding.
std::string CleanMetadataTextAs(std::string_view raw, TextEncoding encoding);

/// The description (dc:description) of an XMP packet: its "x-default" alternative, or the
/// first one when none is marked so, with XML character references decoded and cleaned
/// up as above. Empty when the packet has none or it cannot be read.
std::string XmpDescriptionOf(std::string_view packet);

/// The caption (IIM record 2, data set 120) of the IPTC record held in Photoshop's image
/// resources (resource 0x0404), given the resource bytes that follow the "Photoshop 3.0"
/// signature of APP13 segments. Cleaned up as above; empty when there is none.
std::string IptcCaptionOf(std::string_view resources);

/// True when a JPEG comment is no caption but the stamp a program writes into every file
/// it saves ("Created with GIMP", "CREATOR: gd-jpeg v1.0 ...", "AppleMark", ...).
bool IsProgramStampComment(std::string_view comment);

}  // namespace pix
