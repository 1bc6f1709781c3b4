// A picture's caption: which of the texts a picture may carry becomes the caption of its
// entry and detail page.
//
// The caption is, first found:
//   1. the ImageDescription the picture's own variable records set (its JPEG comment, or the
//      text file beside it, which wins as it does for every variable);
//   2. its EXIF ImageDescription, unless that is a camera's placeholder;
//   3. the description of its XMP packet;
//   4. the caption of its IPTC record;
//   5. the text of a JPEG comment that holds no variable records, unless a program wrote it
//      as its stamp.
// Sources 2 to 4 are ranked as the Metadata Working Group's guidance reads the same field
// of EXIF, XMP and IPTC. The first is a layout value and HTML already; the others are plain text from the picture
// and are escaped before they reach a page, so that no file can put markup or a template
// reference into it.
#pragma once

#include <string>
#include <string_view>

namespace pix {

struct PictureMetadata;

/// Everything a caption may come from; any of it may be empty.
struct CaptionSources {
  std::string_view comment_text;   ///< The picture's JPEG comment as the reader gives it.
  std::string_view text_file_text;  ///< The text file beside the picture.
  const PictureMetadata* metadata = nullptr;  ///< Not owned; null for a GIF picture.
};

/// The caption, as HTML for a page (ImageCaption) and as plain text made safe for an
/// attribute value (ImageCaptionText). Both empty when the picture has none.
struct PictureCaption {
  std::string html;
  std::string attribute_text;
};

PictureCaption ChoosePictureCaption(const CaptionSources& sources);

/// A title made from a picture's file name without its extension, for a picture that has
/// no caption: underscores become spaces, runs of them one space, and none stays at either
/// end ("Bridge_by_Sander_Klootwijk" gives "Bridge by Sander Klootwijk"). A name of
/// underscores only is kept as it is. Plain text, not escaped.
std::string TitleFromFileName(std::string_view base_name);

}  // namespace pix
