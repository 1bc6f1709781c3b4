#include "files/picturenames.h"

#include "files/filelist.h"
#include "files/utils.h"

namespace pix {

bool IsJpegExtension(std::string_view ext) {
  return EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg");
}

bool IsGifExtension(std::string_view ext) { return EqualsNoCase(ext, ".gif"); }

TPictureFiles PictureFilesOf(const TFileItem& item, const TSiteNames& names) {
  TPictureFiles files;
  const std::string& full = item.szFullFileName();
  const std::string_view name = item.szFileName();
  const std::string_view ext = item.szFileExt();
  const std::string_view directory = std::string_view(full).substr(0, full.size() - name.size());
  files.AnchorPath = full;
  files.AnchorName.assign(name);
  files.BaseName.assign(name.substr(0, name.size() - ext.size()));
  files.InlinePath =
      BuildFileName(InlineDirectoryOf(directory, names), files.BaseName, names.szInLineFileExt);
  files.InlineLink = names.szInLineSubDirName + "/" + files.BaseName + "." + names.szInLineFileExt;
  files.TextPath = full.substr(0, full.size() - ext.size()) + ".txt";
  files.DetailLink = files.BaseName;
  AppendWithSep(files.DetailLink, '.', names.szPageHTMLFileExt);
  files.DetailPath = BuildFileName(directory, files.BaseName, names.szPageDOSFileExt);
  return files;
}

std::string InlineDirectoryOf(std::string_view directory, const TSiteNames& names) {
  std::string path(directory);
  AppendWithSep(path, '/', names.szInLineSubDirName);
  return path;
}

bool IsJpegPicture(const TFileItem& item) {
  return !IsDirectory(item) && IsJpegExtension(item.szFileExt());
}

bool HasJpegTwin(const TFileItem& item) { return (item.Attrib() & kAttribJpegTwin) != 0; }

bool IsSitePicture(const TFileItem& item) {
  if (IsDirectory(item)) return false;
  if (IsJpegExtension(item.szFileExt())) return true;
  return IsGifExtension(item.szFileExt()) && !HasJpegTwin(item);
}

bool IsSubPageDir(const TFileItem& item, const TSiteNames& names) {
  return IsDirectory(item) && (item.Attrib() & kAttribSymLink) == 0 &&
         !EqualsNoCase(item.szFileName(), names.szInLineSubDirName);
}

const TFileItem* NextSiteItem(const TFileItem& item, const TSiteNames& names) {
  if (!IsDirectory(item) || IsSubPageDir(item, names)) return NextInTree(item);
  // Past the directory and everything below it.
  const TFileItem* next = &item;
  while (next != nullptr && next->NextItem() == nullptr) next = next->Parent();
  return next != nullptr ? next->NextItem() : nullptr;
}

}  // namespace pix
