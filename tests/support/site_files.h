// The files of a generated site as a test compares them: every file that is not hidden,
// with its bytes, and a readable account of how two such sets differ.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pix::test {

/// Every regular file below `site` by its path relative to `site` ("sub/inline/a.gif"),
/// with its bytes. Hidden files and folders (names that start with ".") are left out: they
/// hold a run's notes and markers, not what the site shows.
std::map<std::string, std::string> VisibleFiles(const std::filesystem::path& site);

/// How `actual` differs from `expected`: one line for each file only one of them holds or
/// whose bytes differ (with the first differing place); empty when they are the same.
std::string DescribeDifferences(const std::map<std::string, std::string>& actual,
                                const std::map<std::string, std::string>& expected);

/// The temporary files a write leaves while it works (".NAME.tmp-XXXXXX") below `root`,
/// hidden folders included, by their paths relative to `root`, sorted.
std::vector<std::string> TemporaryFilesBelow(const std::filesystem::path& root);

}  // namespace pix::test
