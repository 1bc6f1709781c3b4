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
std::vector<std::string> CollectPatterns(const TFileItem& root, const TSiteNames& names,
                                         std::set<std::string>& pageNames) {
  std::vector<std::string> patterns;
  for (const TFileItem* item = root.FirstChild(); item != nullptr;
       item = NextSiteItem(*item, names)) {
    if (!IsSitePicture(*item)) continue;
    const std::string_view name = item->szFileName();
    std::string pattern(name.substr(0, name.size() - item->szFileExt().size()));
    pageNames.insert(pattern);
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

void MakeNamePattern(std::string& szBaseName) {
  for (char& c : szBaseName) {
    if (IsDigit(c)) c = '#';
  }
  const std::size_t size = szBaseName.size();
  if (size >= 5 && IsLetter(szBaseName[size - 1]) &&
      (szBaseName[size - 2] == '#' || szBaseName[size - 2] == '-')) {
    szBaseName[size - 1] = '@';
  }
}

Status BuildAutoOrganizeLayout(std::string_view szSiteRoot, const std::filesystem::path& layoutHome,
                               Diagnostics& diagnostics) {
  const TRunSettings settings = ReadRunSettings(layoutHome, diagnostics);
  const std::filesystem::path& ini = settings.IniFile;
  Result<std::unique_ptr<TFileItem>> tree = TFileItem::CreateRoot(szSiteRoot, true, &diagnostics);
  if (!tree.ok()) return tree.status();
  // A match page named like a picture's page or an index page would replace it.
  std::set<std::string> pageNames{"index"};
  std::vector<std::string> patterns = CollectPatterns(**tree, settings.Names, pageNames);
  tree.value().reset();

  // Without regard to case, in the order of the file list; spellings that differ only in
  // case are ordered by their bytes, so that the spelling a page takes never depends on
  // the order in which the directories were listed.
  std::sort(patterns.begin(), patterns.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareFileNames(a, b);
    return order != 0 ? order < 0 : a < b;
  });

  const std::string_view layoutSection = kAutoOrganizeLayout;
  const std::string_view matchSection = kMatchPageSearchStrings;
  const int minMatchPerPage = settings.MinMatchPerPage;
  Status status = WriteProfileText(matchSection, std::nullopt, std::nullopt, ini);
  if (!status.ok()) return status;

  std::string baseNames;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    const bool runEnds = i + 1 == patterns.size() || !EqualsNoCase(patterns[i], patterns[i + 1]);
    if (!runEnds) continue;
    const std::size_t runLength = i + 1 - runStart;
    runStart = i + 1;
    if (runLength < static_cast<std::size_t>(std::max(minMatchPerPage, 0))) continue;

    std::string baseName = patterns[i];
    ReplaceChar(baseName, '#', '0');
    ReplaceChar(baseName, '@', '1');
    if (!IsUsablePageName(baseName)) {
      diagnostics.Problem("Auto organize: the pictures named like \"" + patterns[i] +
                          "\" get no match page of their own, since \"" + baseName +
                          "\" cannot name one.");
      continue;
    }
    if (pageNames.count(baseName) > 0) {
      diagnostics.Problem("Auto organize: the pictures named like \"" + patterns[i] +
                          "\" get no match page of their own, since \"" + baseName + "." +
                          settings.Names.szPageDOSFileExt + "\" is already the name of a page.");
      continue;
    }
    status = WriteProfileText(matchSection, baseName, "[" + patterns[i] + ".*]", ini);
    if (!status.ok()) return status;
    AppendWithSep(baseNames, ',', baseName);
  }

  AppendWithSep(baseNames, ',', kMiscPicsBaseName);
  status = WriteProfileText(matchSection, kMiscPicsBaseName, kMiscPicsPattern, ini);
  if (!status.ok()) return status;
  status =
      WriteProfileText(layoutSection, kAutoOrganizeBaseFileNames, baseNames, ini);
  if (!status.ok()) return status;
  return WriteProfileText(layoutSection, kDoAutoOrganize, "Yes", ini);
}

}  // namespace pix
