#include "files/picturenames.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "files/filelist.h"
#include "files/utils.h"

namespace pix {

bool IsJpegExtension(std::string_view ext) {
  return EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg") || EqualsNoCase(ext, ".jpe");
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
  const TFileItem* parent = item.Parent();
  if (parent != nullptr && parent->HasNoInlineFolder()) {
    // The folder that would hold the inline and detail images is the user's: the picture
    // shows itself.
    files.InlineLink = files.AnchorName;
  } else {
    files.InlinePath =
        BuildFileName(InlineDirectoryOf(directory, names), files.BaseName, names.szInLineFileExt);
    files.InlineLink =
        names.szInLineSubDirName + "/" + files.BaseName + "." + names.szInLineFileExt;
    files.DetailImagePath = BuildFileName(
        InlineDirectoryOf(directory, names) + "/" + kDetailImageDirName, files.BaseName, "jpg");
    files.DetailImageLink = names.szInLineSubDirName + "/" + kDetailImageDirName + "/" +
                            files.BaseName + ".jpg";
  }
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

bool HasJpegTwin(const TFileItem& item) { return item.IsJpegTwin(); }

bool IsSitePicture(const TFileItem& item) {
  if (IsDirectory(item) || item.IsLeftOut()) return false;
  if (IsJpegExtension(item.szFileExt())) return true;
  return IsGifExtension(item.szFileExt()) && !HasJpegTwin(item);
}

bool IsSubPageDir(const TFileItem& item, const TSiteNames& names) {
  return IsDirectory(item) && !item.IsDirectoryLink() &&
         (!EqualsNoCase(item.szFileName(), names.szInLineSubDirName) ||
          item.IsUserFolder());
}

namespace {

std::string_view BaseNameOf(const TFileItem& item) {
  const std::string_view name = item.szFileName();
  return name.substr(0, name.size() - item.szFileExt().size());
}

// Settles the pictures of one directory (see SettlePictureNames).
void SettleDirectory(TFileItem& directory, const TSiteNames& names,
                     const std::vector<std::string>& matchPageNames,
                     std::vector<std::string>& leftOut) {
  const std::string page = "." + names.szPageDOSFileExt;
  std::unordered_map<std::string_view, const TFileItem*> owners;
  std::unordered_map<std::string, const TFileItem*> jpegsByLowerName;
  for (TFileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsJpegPicture(*item)) jpegsByLowerName.emplace(LowerCase(BaseNameOf(*item)), item);
  }
  for (TFileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsDirectory(*item)) continue;
    const std::string_view base = BaseNameOf(*item);
    if (HasJpegTwin(*item)) {
      auto twin = jpegsByLowerName.find(LowerCase(base));
      leftOut.push_back(item->szFullFileName() + " is left out of the site: " +
                        std::string(twin != jpegsByLowerName.end() ? twin->second->szFileName()
                                                                   : std::string_view("a JPEG")) +
                        " of the same name stands for it");
      continue;
    }
    if (!IsSitePicture(*item)) continue;
    std::string why;
    if (base == "index") {
      why = "its page would replace the index page index" + page;
    } else if (std::find(matchPageNames.begin(), matchPageNames.end(), base) !=
               matchPageNames.end()) {
      why = "its page would replace the match page " + std::string(base) + page;
    } else if (auto owner = owners.find(base); owner != owners.end()) {
      why = std::string(owner->second->szFileName()) + " already makes its page " +
            std::string(base) + page + " and inline image " + names.szInLineSubDirName + "/" +
            std::string(base) + "." + names.szInLineFileExt;
    } else {
      owners.emplace(base, item);
      continue;
    }
    item->MarkLeftOut();
    leftOut.push_back(item->szFullFileName() + " is left out of the site: " + why);
  }
}

// True when everything in `folder` is a run's output: its files, and its folders (the
// detail image folder, or the folders of an album that was here before) with everything in
// them. Hidden files are not listed, so they count for neither side.
bool HoldsOnlyOutputs(const TFileItem& folder, const TOutputFileTest& isOutput) {
  for (const TFileItem* item = folder.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsDirectory(*item)) {
      if (!isOutput(*item)) return false;
      continue;
    }
    if (item->IsDirectoryLink()) return false;
    if (item->szFileName() != kDetailImageDirName && !isOutput(*item)) return false;
    if (!HoldsOnlyOutputs(*item, isOutput)) return false;
  }
  return true;
}

void SettleInlineFolderOf(TFileItem& directory, const TSiteNames& names,
                          const TOutputFileTest& isOutput, std::vector<std::string>& reports) {
  for (TFileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsDirectory(*item) || item->IsDirectoryLink() ||
        !EqualsNoCase(item->szFileName(), names.szInLineSubDirName) ||
        isOutput(*item) || HoldsOnlyOutputs(*item, isOutput)) {
      continue;
    }
    // A folder that differs from the name only in case is merely the user's album; one of
    // the very name keeps the inline images of its neighbours from being made.
    const bool takesTheName = item->szFileName() == names.szInLineSubDirName;
    item->MarkUserInlineFolder(takesTheName);
    if (takesTheName) {
      reports.push_back(item->szFullFileName() +
                        " holds files of yours, so no inline images are written into it: it is "
                        "published as an album, and the pictures beside it are shown in place "
                        "of inline images (set another InLineSubDirName to have them made)");
    }
  }
}

}  // namespace

std::vector<std::string> SettleInlineFolders(TFileItem& root, const TSiteNames& names,
                                             const TOutputFileTest& isOutput) {
  std::vector<std::string> reports;
  SettleInlineFolderOf(root, names, isOutput, reports);
  // A directory is settled before the walk looks inside it, so a user's folder is walked.
  for (TFileItem* item = root.FirstChild(); item != nullptr;
       item = const_cast<TFileItem*>(NextSiteItem(*item, names))) {
    if (IsSubPageDir(*item, names)) SettleInlineFolderOf(*item, names, isOutput, reports);
  }
  return reports;
}

std::vector<std::string> SettlePictureNames(TFileItem& root, const TSiteNames& names,
                                            const std::vector<std::string>& matchPageNames,
                                            const TOutputFileTest& isOutput) {
  std::vector<std::string> leftOut = SettleInlineFolders(root, names, isOutput);
  SettleDirectory(root, names, matchPageNames, leftOut);
  for (TFileItem* item = root.FirstChild(); item != nullptr;
       item = const_cast<TFileItem*>(NextSiteItem(*item, names))) {
    if (IsSubPageDir(*item, names)) SettleDirectory(*item, names, matchPageNames, leftOut);
  }
  return leftOut;
}

const TFileItem* NextSiteItem(const TFileItem& item, const TSiteNames& names) {
  if (!IsDirectory(item) || IsSubPageDir(item, names)) return NextInTree(item);
  // Past the directory and everything below it.
  const TFileItem* next = &item;
  while (next != nullptr && next->NextItem() == nullptr) next = next->Parent();
  return next != nullptr ? next->NextItem() : nullptr;
}

}  // namespace pix
