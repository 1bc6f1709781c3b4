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

/// Turns raw metadata bytes into text for a page: the text ends at the first NUL; bytes
/// that are not valid UTF-8 are taken as Latin-1 and converted; control characters other
/// than tab and line ends are dropped, every line end becomes CR LF; leading and trailing
/// white space is removed; the text is cut (at a character boundary) after
/// kMaxMetadataTextLength bytes.
std::string CleanMetadataText(std::string_view raw);

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
