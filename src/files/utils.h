// Text file and path utilities shared by every subsystem: reading whole text files, pulling
// one HTML element out of an old page, the comment lines that open every page, joining
// paths and names, queries on files, and the one-character tokenizer.
//
// Text is UTF-8 and taken byte for byte (any byte is kept); paths are joined with "/".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

/// Version numbers written into the comment that opens every generated page.
inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 0;

/// The whole file as text. Fails with kNotFound when no plain file of that name exists, and
/// with a message naming the file when it exists but cannot be read or is larger than a
/// text file the program reads (64 MB).
Result<std::string> ReadTextFile(const std::filesystem::path& path);

/// The text of the first element `tag` in the file at `path`, or nothing (see ExtractTagText).
std::optional<std::string> GetHtmlTagText(const std::filesystem::path& path,
                                          std::string_view tag);

/// The text of the first element `tag` in `buffer`: from after the ">" that ends the first
/// "<tag" (matched without regard to case, as a prefix, so attributes are skipped) up to
/// the next "</tag>" or the end of the buffer. Nothing when there is no start tag or it
/// has no ">".
std::optional<std::string> ExtractTagText(std::string_view buffer, std::string_view tag);

/// Writes the two comment lines that open every generated page.
void WriteVersionComment(std::ostream& out);

/// True when `path` is a plain file (not a link) that starts with the comment every page of
/// this program starts with: a page the program wrote, which it may delete or replace.
bool IsPageOfThisProgram(const std::filesystem::path& path);

/// True when `start`, the first bytes of a file, begin with that comment.
bool StartsLikePageOfThisProgram(std::string_view start);

/// Appends `text` to `destination` joined by `separator`, never doubling it: an empty
/// destination takes the text unchanged; otherwise the separator is added unless the
/// destination already ends with it, and one leading separator of the text is dropped.
/// Returns the position in `destination` where the added text starts.
std::size_t AppendWithSep(std::string& destination, char separator, std::string_view text);

/// directory "/" name, joined with AppendWithSep.
std::string JoinPath(std::string_view directory, std::string_view name);

/// directory "/" name "." extension, joined with AppendWithSep.
std::string BuildFileName(std::string_view directory, std::string_view name,
                          std::string_view extension);

/// True when `text` begins with `prefix`, ASCII letters compared without regard to case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

/// True when `text` ends with `suffix`, ASCII letters compared without regard to case.
bool DoesStringEndMatch(std::string_view text, std::string_view suffix);

/// True when the two texts are equal, ASCII letters compared without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);

/// The text with the ASCII letters A to Z made lower case; other bytes stay as they are.
std::string LowerCase(std::string_view text);

/// A letter of ASCII, A to Z in either case: what names of variables and settings are made of.
inline bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// Removes every trailing copy of `c`.
void StripTrailingChar(std::string& text, char c);

/// Keeps `path` up to and including its last "/"; a path without "/" is left unchanged.
void CutAfterLastSlash(std::string& path);

/// Replaces every `from` in `text` by `to`.
void ReplaceChar(std::string& text, char from, char to);

/// True when a plain file (or a link to one) of that name exists.
bool FileExists(const std::filesystem::path& path);

/// The full path of the executable `program` in the folders of PATH (the usual folders when
/// it is not set); none when there is none.
std::optional<std::string> FindProgramOnPath(const std::string& program);

/// True when the path names an existing directory.
bool IsDirectoryPath(const std::filesystem::path& path);

/// Refuses (Status::Refused, one line naming the path and what it is) a path that names a
/// directory, a named pipe, a device or a socket, so that nothing waits on opening it or
/// reads without end; a regular file, a link to one, and a path that names nothing (the
/// open that follows says why) pass.
Status RequireRegularFile(const std::filesystem::path& path);

/// True when the path is the root of the file system, "/" (this platform's only drive root).
bool IsFileSystemRoot(std::string_view path);

/// Size in bytes of an existing plain file; nothing when it does not exist.
std::optional<std::uint64_t> GetFileSizeOf(const std::filesystem::path& path);

/// Last-write time of an existing file; nothing when it does not exist.
std::optional<std::filesystem::file_time_type> GetFileWriteTime(
    const std::filesystem::path& path);

/// Splits a text at one separator character. Runs of separators act as one; a text that
/// begins with the separator yields no token on the first call (callers stop there), just
/// as lists written by the program never begin with one.
class StringTokenList {
 public:
  StringTokenList(std::string_view text, char separator);

  /// The next token, or nothing. Tokens stay valid as long as the list.
  std::optional<std::string_view> GetNextToken();

 private:
  std::string text_;    // Owned copy; separators are overwritten with NUL as tokens are cut.
  std::size_t cursor_ = 0;
  char separator_;
};

}  // namespace pix
