#include "files/autoorganize.h"

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "base/diagnostics.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/picturenames.h"
#include "files/profile.h"
#include "files/settings.h"
#include "files/utils.h"

namespace pix {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The patterns of every picture of the site, in any order; the names of the pictures'
// pages (their names without extension) go to `pageNames`.
std::vector<std::string> CollectPatterns(const FileItem& root, const SiteNames& names,
                                         std::set<std::string>& page_names) {
  std::vector<std::string> patterns;
  for (const FileItem* item = root.FirstChild(); item != nullptr;
       item = NextSiteItem(*item, names)) {
    if (!IsSitePicture(*item)) continue;
    const std::string_view name = item->FileName();
    std::string pattern(name.substr(0, name.size() - item->Extension().size()));
    page_names.insert(pattern);
    MakeNamePattern(pattern);
    patterns.push_back(std::move(pattern));
  }
  return patterns;
}

// Whether a match page name can be written as a settings key and as an entry of the
// comma-separated page list, and read back as the same name.
bool IsUsablePageName(std::string_view name) {
  if (name.empty() || name.front() == ';' || name.front() == '[' || name.front() == ' ' ||
      name.front() == '\t' || name.back() == ' ' || name.back() == '\t') {
    return false;
  }
  if (name.find_first_of(",=\r\n") != std::string_view::npos) return false;
  return !EqualsNoCase(name, kMiscPicsBaseName);
}

}  // namespace

std::vector<std::string> WritableMatchPages(std::string_view base_file_names) {
  std::vector<std::string> pages;
  StringTokenList list(base_file_names, ',');
  while (std::optional<std::string_view> name = list.GetNextToken()) {
    if (EqualsNoCase(*name, kMiscPicsBaseName) && pages.empty()) break;
    pages.emplace_back(*name);
  }
  return pages;
}

void MakeNamePattern(std::string& base_name) {
  for (char& c : base_name) {
    if (IsDigit(c)) c = '#';
  }
  const std::size_t size = base_name.size();
  if (size >= 5 && IsLetter(base_name[size - 1]) &&
      (base_name[size - 2] == '#' || base_name[size - 2] == '-')) {
    base_name[size - 1] = '@';
  }
}

Status BuildAutoOrganizeLayout(std::string_view site_root, const std::filesystem::path& layout_home,
                               Diagnostics& diagnostics) {
  const RunSettings settings = ReadRunSettings(layout_home, diagnostics);
  const std::filesystem::path& ini = settings.ini_file;
  Result<std::unique_ptr<FileItem>> tree = FileItem::CreateRoot(site_root, true, &diagnostics);
  if (!tree.ok()) return tree.status();
  // A match page named like a picture's page or an index page would replace it.
  std::set<std::string> page_names{"index"};
  std::vector<std::string> patterns = CollectPatterns(**tree, settings.names, page_names);
  tree.value().reset();

  // Without regard to case, in the order of the file list; spellings that differ only in
  // case are ordered by their bytes, so that the spelling a page takes never depends on
  // the order in which the directories were listed.
  std::sort(patterns.begin(), patterns.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareFileNames(a, b);
    return order != 0 ? order < 0 : a < b;
  });

  const std::string_view layout_section = kAutoOrganizeLayout;
  const std::string_view match_section = kMatchPageSearchStrings;
  const int min_match_per_page = settings.min_match_per_page;
  Status status = WriteProfileText(match_section, std::nullopt, std::nullopt, ini);
  if (!status.ok()) return status;

  std::string base_names;
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    const bool run_ends = i + 1 == patterns.size() || !EqualsNoCase(patterns[i], patterns[i + 1]);
    if (!run_ends) continue;
    const std::size_t run_length = i + 1 - run_start;
    run_start = i + 1;
    if (run_length < static_cast<std::size_t>(std::max(min_match_per_page, 0))) continue;

    std::string base_name = patterns[i];
    ReplaceChar(base_name, '#', '0');
    ReplaceChar(base_name, '@', '1');
    if (!IsUsablePageName(base_name)) {
      diagnostics.Problem("Auto organize: the pictures named like \"" + patterns[i] +
                          "\" get no match page of their own, since \"" + base_name +
                          "\" cannot name one.");
      continue;
    }
    if (page_names.count(base_name) > 0) {
      diagnostics.Problem("Auto organize: the pictures named like \"" + patterns[i] +
                          "\" get no match page of their own, since \"" + base_name + "." +
                          settings.names.page_dos_file_ext + "\" is already the name of a page.");
      continue;
    }
    status = WriteProfileText(match_section, base_name, "[" + patterns[i] + ".*]", ini);
    if (!status.ok()) return status;
    AppendWithSep(base_names, ',', base_name);
  }

  AppendWithSep(base_names, ',', kMiscPicsBaseName);
  status = WriteProfileText(match_section, kMiscPicsBaseName, kMiscPicsPattern, ini);
  if (!status.ok()) return status;
  status =
      WriteProfileText(layout_section, kAutoOrganizeBaseFileNames, base_names, ini);
  if (!status.ok()) return status;
  return WriteProfileText(layout_section, kDoAutoOrganize, "Yes", ini);
}

}  // namespace pix
