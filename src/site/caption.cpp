#include "site/caption.h"

#include "picture/metadata.h"
#include "picture/metatext.h"
#include "site/escape.h"
#include "site/variable.h"

namespace pix {
namespace {

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The ImageDescription that variable records in `text` set; empty when they set none.
std::string RecordedDescription(std::string_view text) {
  if (text.empty()) return std::string();
  VariableList records;
  records.ParseVarText(text);
  return records.GetVarValue("ImageDescription");
}

bool HoldsVariableRecords(std::string_view text) {
  VariableList records;
  records.ParseVarText(text);
  return records.ItemCount() > 0;
}

// The caption the picture itself carries, as plain text: sources 2 to 5.
std::string EmbeddedCaption(const CaptionSources& sources) {
  if (const PictureMetadata* metadata = sources.metadata) {
    // As the Metadata Working Group asks readers: EXIF, then XMP, then IPTC.
    if (!metadata->exif.description.empty()) return metadata->exif.description;
    if (!metadata->xmp_description.empty()) return metadata->xmp_description;
    if (!metadata->iptc_caption.empty()) return metadata->iptc_caption;
  }
  if (IsBlank(sources.comment_text) || HoldsVariableRecords(sources.comment_text) ||
      IsProgramStampComment(sources.comment_text)) {
    return std::string();
  }
  return CleanMetadataText(sources.comment_text);
}

}  // namespace

PictureCaption ChoosePictureCaption(const CaptionSources& sources) {
  PictureCaption caption;
  std::string recorded = RecordedDescription(sources.text_file_text);
  if (IsBlank(recorded)) recorded = RecordedDescription(sources.comment_text);
  caption.html = IsBlank(recorded) ? HtmlEscape(EmbeddedCaption(sources)) : std::move(recorded);
  caption.attribute_text = HtmlToAttributeText(caption.html);
  return caption;
}

std::string TitleFromFileName(std::string_view base_name) {
  std::string title;
  bool gap = false;
  for (const char c : base_name) {
    if (c == '_' || c == ' ') {
      gap = !title.empty();
      continue;
    }
    if (gap) title += ' ';
    gap = false;
    title += c;
  }
  return title.empty() ? std::string(base_name) : title;
}

}  // namespace pix
