// Picture entries: how one picture file becomes an entry of a page.
//
// For each picture the page learns its names, sizes, comment, metadata (caption, date and
// camera) and own variables (stored as marked changes, so they shadow the page's values
// only while this picture is written), keeps the picture's small inline GIF up to date,
// computes the size at which the inline image is shown, and writes the entry and the
// picture's detail page. Sizes are those of the picture shown upright: a JPEG picture whose
// EXIF orientation stands it on its side has width and height swapped, and its inline image
// is turned to match.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pix {

class FileItem;
class TVarArray;
class TWebPage;
class TWebSite;
struct TPictureFacts;
struct PictureMetadata;

/// Makes each of `pictures` (in this order) an entry of `page`, with its inline image and
/// detail page. A missing, corrupt or unconvertible picture is reported and the run goes on.
/// Each detail page learns its neighbours on the page: the previous and next pictures that
/// got an entry, their captions, and its place among the page's pictures.
void ProcessPictures(TWebPage& page, const std::vector<const FileItem*>& pictures);

/// A picture's neighbours on its page, as its detail page links to them.
struct TPictureNeighbours {
  std::string PrevLink;         ///< PrevDetailPageURL: empty for the first picture.
  std::string PrevCaptionText;  ///< PrevDetailPageCaptionText: caption or name, escaped.
  std::string NextLink;         ///< NextDetailPageURL: empty for the last picture.
  std::string NextCaptionText;  ///< NextDetailPageCaptionText
  int Index = 0;                ///< PictureIndex: 1 for the page's first picture.
  int Count = 0;                ///< PictureCount: the pictures the page lists.
};

/// The values of one entry's name and size variables. Entries that stand for whole pages
/// leave the paths empty.
struct TPictureEntryVars {
  std::string_view AnchorPath;   ///< AnchorDOSFullFileName
  std::string_view AnchorName;   ///< AnchorFileName
  std::string_view InlinePath;   ///< ImageDOSFullFileName
  std::string_view InlineLink;   ///< ImageFileName
  std::string_view TextPath;     ///< TextDOSFullFileName
  std::string_view BaseName;     ///< BaseFileName
  std::string_view DetailLink;   ///< DetailPageFileName
  std::uint64_t FileSize = 0;    ///< FileSizeInBytes, FileSizeInK
  std::string_view CommentText;  ///< ImageComments, whose variables are also read
  /// The text file at TextPath as the caller read it already; null to have it read here.
  const std::string* TextFileText = nullptr;
  /// With the comment and the text file: ImageCaption, ImageCaptionText, ImageDateTaken,
  /// ImageCamera. Not owned; null for entries that are no JPEG picture.
  const PictureMetadata* Metadata = nullptr;
};

/// Reads the facts of one picture and settles its inline image: what a worker of the
/// inline image pool does, and what the page writer does itself for a picture the pool was
/// not given.
TPictureFacts LearnPicture(const TWebSite& site, const FileItem& picture);

/// The variable step common to every entry: undoes the previous picture's values, turns on
/// marked changes, stores the names and sizes and the caption, date and camera (empty when
/// unknown), then the variables of the comment text and of the text file beside the
/// picture, which may set any of them.
void SetPictureVars(TVarArray& array, const TPictureEntryVars& vars);

/// The size at which a picture of `width` by `height` is shown: fitted into the display box
/// with its proportions kept, made smaller or larger as needed. Each side is at least 1.
struct TDisplayFit {
  int Width = 0;
  int Height = 0;
  double Scale = 1.0;  ///< Picture size divided by display size.
};
TDisplayFit ComputeDisplaySize(int width, int height, int maxDisplayWidth, int maxDisplayHeight);

/// A size in pixels.
struct TImageSize {
  int Width = 0;
  int Height = 0;
};

/// The size of the inline image file of a picture of `width` x `height` shown at `fit`:
/// `density` times the display size (1 or 2), but never more pixels than the picture has,
/// nor fewer than the display size.
TImageSize InlineFileSize(const TDisplayFit& fit, int width, int height, int density);

/// The largest inline image a run could make for a display box of `width` x `height` at
/// `density`: the box times the density, each side at most the largest int (a box may be
/// unbounded).
TImageSize LargestInlineImage(int width, int height, int density);

/// The size of the detail image of a picture of `width` x `height`: fitted into a box of
/// `maxSide` pixels a side with its proportions kept (rounded to the nearest pixel), never
/// enlarged.
TImageSize DetailImageSize(int width, int height, int maxSide);

/// The most bytes of a text file beside a picture that are read.
inline constexpr std::size_t kPictureTextFileLimit = 16384;

}  // namespace pix
