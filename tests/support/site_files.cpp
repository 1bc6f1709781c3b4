#include "support/site_files.h"

#include <algorithm>

#include "base/safefile.h"
#include "support/temp_dir.h"

namespace pix::test {

namespace fs = std::filesystem;

std::map<std::string, std::string> VisibleFiles(const fs::path& site) {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(site); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path().filename().string().front() == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
    } else if (it->is_regular_file()) {
      files[fs::relative(it->path(), site).generic_string()] = ReadFile(it->path());
    }
  }
  return files;
}

std::vector<std::string> TemporaryFilesBelow(const fs::path& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (IsLeftoverTemporaryName(entry.path().filename().string())) {
      found.push_back(fs::relative(entry.path(), root).generic_string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

namespace {

// `length` bytes of `text` from `from` on one line, line ends shown as \r and \n.
std::string Excerpt(const std::string& text, std::size_t from, std::size_t length) {
  std::string line;
  for (const char c : text.substr(std::min(from, text.size()), length)) {
    line += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  }
  return line;
}

// Where two texts first differ, with a few bytes of each from a little before.
std::string FirstDifference(const std::string& actual, const std::string& expected) {
  const auto at =
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first;
  const std::size_t offset = static_cast<std::size_t>(at - actual.begin());
  const std::size_t from = offset < 20 ? 0 : offset - 20;
  return " at byte " + std::to_string(offset) + ": \"" + Excerpt(actual, from, 70) +
         "\" where the expected file has \"" + Excerpt(expected, from, 70) + "\"";
}

}  // namespace

std::string DescribeDifferences(const std::map<std::string, std::string>& actual,
                                const std::map<std::string, std::string>& expected) {
  std::string text;
  for (const auto& [name, bytes] : actual) {
    const auto other = expected.find(name);
    if (other == expected.end()) {
      text += "\n  extra: " + name;
    } else if (other->second != bytes) {
      const bool page = name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0;
      text += "\n  differs: " + name + (page ? FirstDifference(bytes, other->second) : "");
    }
  }
  for (const auto& [name, bytes] : expected) {
    if (actual.count(name) == 0) text += "\n  missing: " + name;
  }
  return text;
}

}  // namespace pix::test
