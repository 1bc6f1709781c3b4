// Which files of a tree are the site's pictures, and which files and links each picture
// owns: its detail page, its inline image and the text file of its own variables. Every
// part of the program that asks these questions (the generation run, the layout tree,
// auto-organize) asks them here, so they cannot disagree.
//
// A picture is a file whose extension (what follows the last dot of its name) is ".jpg",
// ".jpeg", ".jpe" or ".gif", in any case. A GIF
// beside a JPEG of the same name (both compared without regard to case) is its "twin": both
// would make the same inline image and detail page, so the JPEG stands for the pair and
// the GIF is left out of the site, though never touched on the disk.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace pix {

class FileItem;

/// The names that the settings give a site's own files.
struct SiteNames {
  std::string in_line_sub_dir_name = "inline";  ///< Sub-directory of inline images.
  std::string in_line_file_ext = "gif";        ///< Extension of inline images.
  std::string page_dos_file_ext = "html";      ///< Extension of page files on disk.
  std::string page_html_file_ext = "html";     ///< Extension of page files in links.
  /// Index and match pages may continue on pages named "index-2", "index-3"... (and so
  /// for each match page) when Pages/PicturesPerPage is set: no picture may take those
  /// names then.
  bool numbered_index_pages = false;
};

/// Extensions with their leading ".": ".jpg", ".jpeg" and ".jpe" in any case.
bool IsJpegExtension(std::string_view ext);
/// ".gif" in any case.
bool IsGifExtension(std::string_view ext);
/// ".mp4", ".webm" and ".mov" in any case: videos, listed beside the pictures.
bool IsVideoExtension(std::string_view ext);
/// The MIME type of a video extension ("video/mp4"); empty for others.
std::string_view VideoMimeType(std::string_view ext);

/// For each of a directory's file names, whether it is a GIF with a JPEG twin: a JPEG file
/// of the same name without its extension, compared without regard to case.
std::vector<bool> FindJpegTwins(const std::vector<std::string_view>& file_names);

/// The files and links of one picture.
struct PictureFiles {
  std::string anchor_path;  ///< Full path of the picture.
  std::string anchor_name;  ///< Its file name.
  std::string base_name;    ///< The file name without its extension.
  std::string inline_path;  ///< D/inline/B.gif; empty when D's inline folder is the user's.
  std::string inline_link;  ///< inline/B.gif, relative to the picture's directory; the
                           ///< picture itself when D's inline folder is the user's.
  std::string text_path;    ///< The picture's path with its extension replaced by ".txt".
  std::string detail_path;  ///< D/B.html
  std::string detail_link;  ///< B.html, relative to the picture's directory.
  /// D/inline/detail/B.jpg: the web-sized copy a detail page shows when the settings ask for
  /// one. Inside a folder of its own, so that no picture's inline image can take its name.
  std::string detail_image_path;
  std::string detail_image_link;  ///< inline/detail/B.jpg, relative to the picture's directory.
  /// D/inline/1x/B.EXT: the inline image at the display size, beside the one of twice the
  /// size that InLinePixelDensity=2 makes, for screens that need no more.
  std::string inline_1x_path;
  std::string inline_1x_link;  ///< inline/1x/B.EXT, relative to the picture's directory.
};

/// The folder inside the inline image folder that holds the detail images.
inline constexpr const char* kDetailImageDirName = "detail";
/// The folder inside the inline image folder that holds the inline images at 1x.
inline constexpr const char* kOneXImageDirName = "1x";

/// The files of the picture at `item`.
PictureFiles PictureFilesOf(const FileItem& item, const SiteNames& names);

/// The inline image directory of the picture directory `directory`.
std::string InlineDirectoryOf(std::string_view directory, const SiteNames& names);

/// True for a picture of the site: a JPEG, a GIF without a JPEG twin, or a video, that was
/// not left out by SettlePictureNames.
bool IsSitePicture(const FileItem& item);
/// True for ".jpg" and ".jpeg" pictures.
bool IsJpegPicture(const FileItem& item);
/// True for a video file (IsVideoExtension). Videos are site pictures too: each gets an
/// entry and a detail page, with a poster for an inline image.
bool IsVideoFile(const FileItem& item);
/// True for a GIF that has a JPEG twin in its directory (found when the directory was
/// listed).
bool HasJpegTwin(const FileItem& item);

/// True when the item is a directory that gets an index page of its own: not the inline
/// image folder (a folder of that name marked as the user's by SettleInlineFolders is one)
/// and not a symbolic link to a directory, whose contents the file list never takes in.
bool IsSubPageDir(const FileItem& item, const SiteNames& names);

/// Tells whether a file or folder inside a folder named like the inline folder is one that
/// a run wrote there (the site's record knows).
using OutputFileTest = std::function<bool(const FileItem& file)>;

/// Settles, directory by directory, whose a folder named like the inline image folder (in
/// any case) is. It is this program's when a run made it, or when it is empty or everything
/// in it, however deep, is what a run wrote, as `isOutput` says (files of the user's in a
/// folder a run made are left alone one by one). Any other such folder is
/// the user's: it is marked (MarkUserInlineFolder) and becomes an album like any other
/// folder. When it has the very name inline images are written to, nothing is written into
/// it and the pictures beside it are shown in place of their inline images; the returned
/// lines report each such folder. SettlePictureNames calls it first.
std::vector<std::string> SettleInlineFolders(FileItem& root, const SiteNames& names,
                                             const OutputFileTest& is_output);

/// Settles, directory by directory, which pictures keep their names when two would write
/// the same page or inline image (same name without extension: "a.jpg" and "a.jpeg"), or
/// when a picture's page would replace the directory's index page ("index.jpg") or one of
/// `matchPageNames`. The first in name order keeps the name; the others are marked left
/// out (MarkLeftOut), and so is a GIF twin of a JPEG. Returns the lines of
/// SettleInlineFolders, then one line for each picture left out, naming both files.
std::vector<std::string> SettlePictureNames(FileItem& root, const SiteNames& names,
                                            const std::vector<std::string>& match_page_names,
                                            const OutputFileTest& is_output);

/// SettlePictureNames for one listed directory: whose the inline-named folders in it are
/// (a folder the record does not know is listed, however deep, to judge it; a folder of the
/// run's is not listed at all), then which of its pictures keep their names. For a walk
/// that lists and settles the site folder by folder, each folder before it is written.
std::vector<std::string> SettleDirectoryNames(FileItem& directory, const SiteNames& names,
                                              const std::vector<std::string>& match_page_names,
                                              const OutputFileTest& is_output);

/// How many pictures `directory` shows, judged by its listing alone (a JPEG, a video, or a
/// GIF without a JPEG twin), before any is left out by SettlePictureNames.
int CountPicturesByName(const FileItem& directory);

/// What a look over the whole site finds without reading any file's status beyond its
/// kind: the number of pictures (CountPicturesByName's count, summed over the site's
/// directories, and leaving out everything inside a folder named like the inline folder),
/// and the temporary files an interrupted run left anywhere below the site, inline folders
/// included. It reads the directories only; a directory that cannot be read counts as
/// empty (the walk that follows reports it).
struct SiteSurvey {
  int pictures = 0;
  std::vector<std::string> leftover_temporaries;
};
SiteSurvey SurveySite(const std::string& site_directory, const SiteNames& names);

/// True when `directory` is, or lies inside, a folder named like the inline folder (in any
/// case) below the site's root: SurveySite did not count its pictures.
bool IsInsideInlineFolder(const FileItem& directory, const SiteNames& names);

/// The next item of a walk through the site's own directories (start at the root's
/// FirstChild): the directories that get an index page, and their files; nothing inside an
/// inline directory.
const FileItem* NextSiteItem(const FileItem& item, const SiteNames& names);

}  // namespace pix
