#include "base/ui/qttext.h"

#include <QFile>
#include <QStringList>
#include <optional>
#include <system_error>

namespace pix::ui {
namespace fs = std::filesystem;

namespace {

std::string EncodedName(const QString& name) {
  const QByteArray bytes = QFile::encodeName(name);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString DecodedName(const std::string& name) {
  return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

// The one entry of `directory` that Qt shows as `shown`, when `encoded` (its plain encoding)
// names nothing there. None when it does, or when no entry or several entries match.
std::optional<std::string> FindEntryShownAs(const std::string& directory, const QString& shown,
                                            const std::string& encoded) {
  std::error_code error;
  if (fs::symlink_status(fs::path(directory) / encoded, error).type() != fs::file_type::not_found) {
    return std::nullopt;
  }
  std::optional<std::string> found;
  for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().native();
    if (DecodedName(name) != shown) continue;
    if (found) return std::nullopt;  // Two names look alike: neither is taken on a guess.
    found = name;
  }
  return found;
}

}  // namespace

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString PathToQt(const fs::path& path) { return DecodedName(path.native()); }

fs::path PathFromQt(const QString& path) {
  const std::string plain = EncodedName(path);
  std::error_code error;
  if (!path.contains(QChar::ReplacementCharacter) ||
      fs::symlink_status(plain, error).type() != fs::file_type::not_found) {
    return plain;
  }
  // One name of the path at a time, keeping every separator as it was written.
  std::string resolved;
  const QStringList parts = path.split(QChar(u'/'));
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) resolved += '/';
    std::string part = EncodedName(parts[i]);
    if (parts[i].contains(QChar::ReplacementCharacter)) {
      const std::string directory = resolved.empty() ? std::string(".") : resolved;
      if (std::optional<std::string> found = FindEntryShownAs(directory, parts[i], part)) {
        part = std::move(*found);
      }
    }
    resolved += part;
  }
  return resolved;
}

}  // namespace pix::ui
