// Text and file names crossing between the core and Qt.
//
// The core keeps text as UTF-8 bytes and file names as the bytes the file system holds.
// Text crosses as UTF-8: a byte sequence that is not UTF-8 is shown as U+FFFD. File names
// cross as Qt's own file classes spell them (QFile::decodeName and QFile::encodeName, which
// are UTF-8 on Linux), so a QString handed to QFile or a file dialog names the same file.
// A name whose bytes are not UTF-8 is shown with U+FFFD in their place; PathFromQt finds
// such a name on disk again, so it is still opened, renamed and linked under its own bytes.
// (Qt's own directory listings, and so its file dialogs, leave such names out altogether.)
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace pix::ui {

/// The core's UTF-8 text as Qt text.
QString ToQt(std::string_view text);

/// Qt text as the core's UTF-8 text.
std::string FromQt(const QString& text);

/// A file name as Qt shows it and as Qt's file classes take it.
QString PathToQt(const std::filesystem::path& path);

/// A file name from Qt (shown by PathToQt, chosen in a file dialog or typed) as the bytes of
/// the file system's name. Where the text holds U+FFFD and the plainly encoded name does not
/// exist, each name of the path that holds U+FFFD is looked up in its directory: the one
/// entry Qt shows under that text is taken. When no entry or several entries match, the
/// plain encoding stands.
std::filesystem::path PathFromQt(const QString& path);

}  // namespace pix::ui
