#include "files/picturenames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "base/safefile.h"

#include "files/filelist.h"
#include "files/utils.h"

namespace pix {

bool IsJpegExtension(std::string_view ext) {
  return EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg") || EqualsNoCase(ext, ".jpe");
}

bool IsGifExtension(std::string_view ext) { return EqualsNoCase(ext, ".gif"); }

bool IsVideoExtension(std::string_view ext) { return !VideoMimeType(ext).empty(); }

std::string_view VideoMimeType(std::string_view ext) {
  if (EqualsNoCase(ext, ".mp4")) return "video/mp4";
  if (EqualsNoCase(ext, ".webm")) return "video/webm";
  if (EqualsNoCase(ext, ".mov")) return "video/quicktime";
  return {};
}

std::vector<bool> FindJpegTwins(const std::vector<std::string_view>& file_names) {
  std::vector<bool> twins(file_names.size(), false);
  const auto base_of = [](std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(0, dot);
  };
  const auto extension_of = [](std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  };
  std::unordered_set<std::string> jpeg_names;
  bool any_gif = false;
  for (std::string_view name : file_names) {
    if (IsJpegExtension(extension_of(name))) jpeg_names.insert(LowerCase(base_of(name)));
    any_gif = any_gif || IsGifExtension(extension_of(name));
  }
  if (!any_gif || jpeg_names.empty()) return twins;
  for (std::size_t i = 0; i < file_names.size(); ++i) {
    twins[i] = IsGifExtension(extension_of(file_names[i])) &&
               jpeg_names.count(LowerCase(base_of(file_names[i]))) > 0;
  }
  return twins;
}

PictureFiles PictureFilesOf(const FileItem& item, const SiteNames& names) {
  PictureFiles files;
  const std::string& full = item.FullFileName();
  const std::string_view name = item.FileName();
  const std::string_view ext = item.Extension();
  const std::string_view directory = std::string_view(full).substr(0, full.size() - name.size());
  files.anchor_path = full;
  files.anchor_name.assign(name);
  files.base_name.assign(name.substr(0, name.size() - ext.size()));
  const FileItem* parent = item.Parent();
  if (parent != nullptr && parent->HasNoInlineFolder()) {
    // The folder that would hold the inline and detail images is the user's: the picture
    // shows itself.
    files.inline_link = files.anchor_name;
  } else {
    const std::string inline_dir = InlineDirectoryOf(directory, names);
    files.inline_path = BuildFileName(inline_dir, files.base_name, names.in_line_file_ext);
    files.inline_link =
        names.in_line_sub_dir_name + "/" + files.base_name + "." + names.in_line_file_ext;
    files.detail_image_path =
        BuildFileName(inline_dir + "/" + kDetailImageDirName, files.base_name, "jpg");
    files.detail_image_link = names.in_line_sub_dir_name + "/" + kDetailImageDirName + "/" +
                              files.base_name + ".jpg";
    files.inline_1x_path =
        BuildFileName(inline_dir + "/" + kOneXImageDirName, files.base_name, names.in_line_file_ext);
    files.inline_1x_link = names.in_line_sub_dir_name + "/" + kOneXImageDirName + "/" +
                           files.base_name + "." + names.in_line_file_ext;
  }
  files.text_path = full.substr(0, full.size() - ext.size()) + ".txt";
  files.detail_link = files.base_name;
  AppendWithSep(files.detail_link, '.', names.page_html_file_ext);
  files.detail_path = BuildFileName(directory, files.base_name, names.page_dos_file_ext);
  return files;
}

std::string InlineDirectoryOf(std::string_view directory, const SiteNames& names) {
  std::string path(directory);
  AppendWithSep(path, '/', names.in_line_sub_dir_name);
  return path;
}

bool IsJpegPicture(const FileItem& item) {
  return !IsDirectory(item) && IsJpegExtension(item.Extension());
}

bool IsVideoFile(const FileItem& item) {
  return !IsDirectory(item) && IsVideoExtension(item.Extension());
}

bool HasJpegTwin(const FileItem& item) { return item.IsJpegTwin(); }

bool IsSitePicture(const FileItem& item) {
  if (IsDirectory(item) || item.IsLeftOut()) return false;
  if (IsJpegExtension(item.Extension()) || IsVideoExtension(item.Extension())) return true;
  return IsGifExtension(item.Extension()) && !HasJpegTwin(item);
}

bool IsSubPageDir(const FileItem& item, const SiteNames& names) {
  return IsDirectory(item) && !item.IsDirectoryLink() &&
         (!EqualsNoCase(item.FileName(), names.in_line_sub_dir_name) ||
          item.IsUserFolder());
}

namespace {

// "index-2", "index-3"... for `first_page` "index": the pages a page continues on.
bool IsNumberedPageName(std::string_view base, std::string_view first_page) {
  if (base.size() <= first_page.size() + 1 || base.substr(0, first_page.size()) != first_page ||
      base[first_page.size()] != '-') {
    return false;
  }
  const std::string_view number = base.substr(first_page.size() + 1);
  return number.front() != '0' &&
         number.find_first_not_of("0123456789") == std::string_view::npos;
}

// The name of the match page whose page, or one of whose numbered pages, `base` would
// take; nothing when it takes none.
const std::string* TakenMatchPage(std::string_view base, const SiteNames& names,
                                  const std::vector<std::string>& match_page_names) {
  for (const std::string& match : match_page_names) {
    if (base == match || (names.numbered_index_pages && IsNumberedPageName(base, match))) {
      return &match;
    }
  }
  return nullptr;
}

std::string_view BaseNameOf(const FileItem& item) {
  const std::string_view name = item.FileName();
  return name.substr(0, name.size() - item.Extension().size());
}

// Settles the pictures of one directory (see SettlePictureNames).
void SettleDirectory(FileItem& directory, const SiteNames& names,
                     const std::vector<std::string>& match_page_names,
                     std::vector<std::string>& left_out) {
  const std::string page = "." + names.page_dos_file_ext;
  std::unordered_map<std::string_view, const FileItem*> owners;
  std::unordered_map<std::string, const FileItem*> jpegs_by_lower_name;
  for (FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsJpegPicture(*item)) jpegs_by_lower_name.emplace(LowerCase(BaseNameOf(*item)), item);
  }
  for (FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (IsDirectory(*item)) continue;
    const std::string_view base = BaseNameOf(*item);
    if (HasJpegTwin(*item)) {
      auto twin = jpegs_by_lower_name.find(LowerCase(base));
      left_out.push_back(item->FullFileName() + " is left out of the site: " +
                        std::string(twin != jpegs_by_lower_name.end() ? twin->second->FileName()
                                                                   : std::string_view("a JPEG")) +
                        " of the same name stands for it");
      continue;
    }
    if (!IsSitePicture(*item)) continue;
    std::string why;
    if (base == "index") {
      why = "its page would replace the index page index" + page;
    } else if (names.numbered_index_pages && IsNumberedPageName(base, "index")) {
      why = "its page would replace the index page " + std::string(base) + page;
    } else if (TakenMatchPage(base, names, match_page_names) != nullptr) {
      why = "its page would replace the match page " + std::string(base) + page;
    } else if (auto owner = owners.find(base); owner != owners.end()) {
      why = std::string(owner->second->FileName()) + " already makes its page " +
            std::string(base) + page + " and inline image " + names.in_line_sub_dir_name + "/" +
            std::string(base) + "." + names.in_line_file_ext;
    } else {
      owners.emplace(base, item);
      continue;
    }
    item->MarkLeftOut();
    left_out.push_back(item->FullFileName() + " is left out of the site: " + why);
  }
}

// True when everything in `folder` is a run's output: its files, and its folders (the
// detail image folder, or the folders of an album that was here before) with everything in
// them. Hidden files are not listed, so they count for neither side.
bool HoldsOnlyOutputs(const FileItem& folder, const OutputFileTest& is_output) {
  for (const FileItem* item = folder.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsDirectory(*item)) {
      if (!is_output(*item)) return false;
      continue;
    }
    if (item->IsDirectoryLink()) return false;
    if (item->FileName() != kDetailImageDirName && !is_output(*item)) return false;
    if (!HoldsOnlyOutputs(*item, is_output)) return false;
  }
  return true;
}

void SettleInlineFolderOf(FileItem& directory, const SiteNames& names,
                          const OutputFileTest& is_output, std::vector<std::string>& reports) {
  for (FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsDirectory(*item) || item->IsDirectoryLink() ||
        !EqualsNoCase(item->FileName(), names.in_line_sub_dir_name) || is_output(*item)) {
      continue;
    }
    // A walk that lists folder by folder has not looked inside it yet.
    ScanDirectory(*item, true);
    if (HoldsOnlyOutputs(*item, is_output)) continue;
    // A folder that differs from the name only in case is merely the user's album; one of
    // the very name keeps the inline images of its neighbours from being made.
    const bool takes_the_name = item->FileName() == names.in_line_sub_dir_name;
    item->MarkUserInlineFolder(takes_the_name);
    if (takes_the_name) {
      reports.push_back(item->FullFileName() +
                        " holds files of yours, so no inline images are written into it: it is "
                        "published as an album, and the pictures beside it are shown in place "
                        "of inline images (set another InLineSubDirName to have them made)");
    }
  }
}

}  // namespace

std::vector<std::string> SettleInlineFolders(FileItem& root, const SiteNames& names,
                                             const OutputFileTest& is_output) {
  std::vector<std::string> reports;
  SettleInlineFolderOf(root, names, is_output, reports);
  // A directory is settled before the walk looks inside it, so a user's folder is walked.
  for (FileItem* item = root.FirstChild(); item != nullptr;
       item = const_cast<FileItem*>(NextSiteItem(*item, names))) {
    if (IsSubPageDir(*item, names)) SettleInlineFolderOf(*item, names, is_output, reports);
  }
  return reports;
}

std::vector<std::string> SettlePictureNames(FileItem& root, const SiteNames& names,
                                            const std::vector<std::string>& match_page_names,
                                            const OutputFileTest& is_output) {
  std::vector<std::string> left_out = SettleInlineFolders(root, names, is_output);
  SettleDirectory(root, names, match_page_names, left_out);
  for (FileItem* item = root.FirstChild(); item != nullptr;
       item = const_cast<FileItem*>(NextSiteItem(*item, names))) {
    if (IsSubPageDir(*item, names)) SettleDirectory(*item, names, match_page_names, left_out);
  }
  return left_out;
}

std::vector<std::string> SettleDirectoryNames(FileItem& directory, const SiteNames& names,
                                              const std::vector<std::string>& match_page_names,
                                              const OutputFileTest& is_output) {
  std::vector<std::string> reports;
  SettleInlineFolderOf(directory, names, is_output, reports);
  SettleDirectory(directory, names, match_page_names, reports);
  return reports;
}

namespace {

bool IsPictureByName(std::string_view ext, bool jpeg_twin) {
  return IsJpegExtension(ext) || IsVideoExtension(ext) || (IsGifExtension(ext) && !jpeg_twin);
}

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

}  // namespace

int CountPicturesByName(const FileItem& directory) {
  int count = 0;
  for (const FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    if (!IsDirectory(*item) && IsPictureByName(item->Extension(), item->IsJpegTwin())) ++count;
  }
  return count;
}

bool IsInsideInlineFolder(const FileItem& directory, const SiteNames& names) {
  for (const FileItem* item = &directory; item->Parent() != nullptr; item = item->Parent()) {
    if (EqualsNoCase(item->FileName(), names.in_line_sub_dir_name)) return true;
  }
  return false;
}

SiteSurvey SurveySite(const std::string& site_directory, const SiteNames& names) {
  SiteSurvey survey;
  struct Pending {
    std::string path;
    bool counted;  // Outside every inline-named folder.
  };
  std::vector<Pending> stack{{site_directory, true}};
  std::vector<std::string> files;  // Of the directory at hand, for the twins.
  while (!stack.empty()) {
    Pending directory = std::move(stack.back());
    stack.pop_back();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.path.c_str()), ::closedir);
    if (!dir) continue;
    const int dir_fd = ::dirfd(dir.get());
    const std::string prefix = directory.path == "/" ? directory.path : directory.path + "/";
    files.clear();
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string_view name = entry->d_name;
      if (name.front() == '.') {
        if (IsLeftoverTemporaryName(name)) {
          survey.leftover_temporaries.push_back(prefix + entry->d_name);
        }
        continue;
      }
      unsigned char type = entry->d_type;
      if (type == DT_LNK || type == DT_UNKNOWN) {
        // As the listing sees it: a link counts as what it leads to, and a link to a
        // folder is not walked into.
        struct stat info;
        if (::fstatat(dir_fd, entry->d_name, &info, 0) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
          if (type == DT_LNK) continue;
          type = DT_DIR;
        } else {
          type = S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
      }
      if (type == DT_DIR) {
        stack.push_back({prefix + entry->d_name,
                         directory.counted && !EqualsNoCase(name, names.in_line_sub_dir_name)});
      } else if (type == DT_REG && directory.counted) {
        files.emplace_back(name);
      }
    }
    if (files.empty()) continue;
    const std::vector<bool> twins = FindJpegTwins({files.begin(), files.end()});
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (IsPictureByName(ExtensionOf(files[i]), twins[i])) ++survey.pictures;
    }
  }
  return survey;
}

const FileItem* NextSiteItem(const FileItem& item, const SiteNames& names) {
  if (!IsDirectory(item) || IsSubPageDir(item, names)) return NextInTree(item);
  // Past the directory and everything below it.
  const FileItem* next = &item;
  while (next != nullptr && next->NextItem() == nullptr) next = next->Parent();
  return next != nullptr ? next->NextItem() : nullptr;
}

}  // namespace pix
