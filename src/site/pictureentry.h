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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pix {

class FileItem;
class VariableList;
class WebPage;
class WebSite;
struct PictureFacts;
struct PictureFiles;
struct PictureMetadata;

/// A picture's neighbours on its page, as its detail page links to them.
struct PictureNeighbours {
  std::string prev_link;         ///< PrevDetailPageURL: empty for the first picture.
  std::string prev_caption_text;  ///< PrevDetailPageCaptionText: caption or name, escaped.
  std::string next_link;         ///< NextDetailPageURL: empty for the last picture.
  std::string next_caption_text;  ///< NextDetailPageCaptionText
  int index = 0;                ///< PictureIndex: 1 for the page's first picture.
  int count = 0;                ///< PictureCount: the pictures the page lists.
};

/// The pictures of one directory in the order of Pages/SortOrder, with what has been
/// learned of each. Facts are learned once, when first needed: for the order by date, for
/// the split of a long index page (which counts the readable pictures), or at the latest
/// when the picture is written. A listing is a sequence of positions in this list: a match
/// page's pictures, or those left for the index page.
class PictureList {
 public:
  /// `pictures` in name order, as the scan lists them; `site` must outlive the list.
  PictureList(WebSite& site, const std::vector<const FileItem*>& pictures);
  ~PictureList();
  PictureList(const PictureList&) = delete;
  PictureList& operator=(const PictureList&) = delete;

  std::size_t size() const { return pictures_.size(); }
  const FileItem& Item(std::size_t position) const { return *pictures_[position]; }
  /// Whether the picture at `position` has a usable size (learning its facts if need be).
  bool Readable(std::size_t position);
  /// The full path of the web-sized copy of the picture at `position`, when it has one
  /// (learning its facts, and so making its images, if need be).
  std::optional<std::string> DetailImagePath(std::size_t position);

  /// Where each index page of a listing starts when one page lists at most `per_page`
  /// readable pictures (0: no limit): positions into `listing`, the first always 0. A
  /// picture that cannot be read goes with the readable ones before it, so that no page is
  /// left without an entry.
  std::vector<std::size_t> PageStarts(const std::vector<std::size_t>& listing, int per_page);

  /// Makes the pictures listing[begin, end) entries of `page`, with their inline images
  /// and detail pages. A missing, corrupt or unconvertible picture is reported and the run
  /// goes on. `around` carries the neighbours from one call to the next, so that the
  /// detail pages of a listing split over several pages link from one page's last picture
  /// to the next page's first; set its count to the listing's size before the first call.
  void Write(WebPage& page, const std::vector<std::size_t>& listing, std::size_t begin,
             std::size_t end, PictureNeighbours& around);

 private:
  PictureFacts& FactsOf(std::size_t position);

  WebSite& site_;  // Not owned; outlives the list.
  std::vector<const FileItem*> pictures_;
  std::vector<std::unique_ptr<PictureFacts>> learned_;
};

/// Makes each of `pictures` (in the order of Pages/SortOrder) an entry of `page`, as
/// PictureList::Write does for one page of a listing.
void ProcessPictures(WebPage& page, const std::vector<const FileItem*>& pictures);

/// The values of one entry's name and size variables. Entries that stand for whole pages
/// leave the paths empty.
struct PictureEntryVars {
  std::string_view anchor_path;   ///< AnchorDOSFullFileName
  std::string_view anchor_name;   ///< AnchorFileName
  std::string_view inline_path;   ///< ImageDOSFullFileName
  std::string_view inline_link;   ///< ImageFileName
  std::string_view text_path;     ///< TextDOSFullFileName
  std::string_view base_name;     ///< BaseFileName
  std::string_view detail_link;   ///< DetailPageFileName
  std::uint64_t file_size = 0;    ///< FileSizeInBytes, FileSizeInK
  std::string_view comment_text;  ///< ImageComments, whose variables are also read
  /// The text file at TextPath as the caller read it already; null to have it read here.
  const std::string* text_file_text = nullptr;
  /// With the comment and the text file: ImageCaption, ImageCaptionText, ImageDateTaken,
  /// ImageCamera. Not owned; null for entries that are no JPEG picture.
  const PictureMetadata* metadata = nullptr;
  /// ImageMapURL: a link to where the picture was taken (Pages/MapLinks).
  bool map_links = false;
};

/// Reads the facts of one picture and settles its inline image: what a worker of the
/// inline image pool does, and what the page writer does itself for a picture the pool was
/// not given. `files` are the picture's files as PictureFilesOf names them; without them
/// they are named here.
PictureFacts LearnPicture(const WebSite& site, const FileItem& picture);
PictureFacts LearnPicture(const WebSite& site, const FileItem& picture, PictureFiles files);

/// The variable step common to every entry: undoes the previous picture's values, turns on
/// marked changes, stores the names and sizes and the caption, date and camera (empty when
/// unknown), then the variables of the comment text and of the text file beside the
/// picture, which may set any of them.
void SetPictureVars(VariableList& array, const PictureEntryVars& vars);

/// The size at which a picture of `width` by `height` is shown: fitted into the display box
/// with its proportions kept, made smaller or larger as needed. Each side is at least 1.
struct DisplayFit {
  int width = 0;
  int height = 0;
  double scale = 1.0;  ///< Picture size divided by display size.
};
DisplayFit ComputeDisplaySize(int width, int height, int max_display_width, int max_display_height);

/// A size in pixels.
struct ImageSize {
  int width = 0;
  int height = 0;
};

/// The size of the inline image file of a picture of `width` x `height` shown at `fit`:
/// `density` times the display size (1 or 2), but never more pixels than the picture has,
/// nor fewer than the display size.
ImageSize InlineFileSize(const DisplayFit& fit, int width, int height, int density);

/// The largest inline image a run could make for a display box of `width` x `height` at
/// `density`: the box times the density, each side at most the largest int (a box may be
/// unbounded).
ImageSize LargestInlineImage(int width, int height, int density);

/// The size of the detail image of a picture of `width` x `height`: fitted into a box of
/// `maxSide` pixels a side with its proportions kept (rounded to the nearest pixel), never
/// enlarged.
ImageSize DetailImageSize(int width, int height, int max_side);

/// The most bytes of a text file beside a picture that are read.
inline constexpr std::size_t kPictureTextFileLimit = 16384;

}  // namespace pix
