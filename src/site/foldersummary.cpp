#include "site/foldersummary.h"

#include <cstring>

namespace pix {
namespace {

// The first bytes of a summary: a summary of another layout is not read.
constexpr std::string_view kMagic = "PXFS1";

class Writer {
 public:
  void Number(std::uint64_t value) {
    char bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    out_.append(bytes, sizeof bytes);
  }
  void Text(std::string_view text) {
    Number(text.size());
    out_.append(text);
  }
  void Stamp(const FileStamp& stamp) {
    Number(stamp.size);
    Number(static_cast<std::uint64_t>(stamp.write_time_ns));
    Number(static_cast<std::uint64_t>(stamp.change_time_ns));
    Number(stamp.inode);
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Reads what Writer wrote; once anything is missing, every later read fails too.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  bool AtEnd() const { return bytes_.empty(); }
  std::uint64_t Number() {
    std::uint64_t value = 0;
    if (!ok_ || bytes_.size() < sizeof value) {
      ok_ = false;
      return 0;
    }
    std::memcpy(&value, bytes_.data(), sizeof value);
    bytes_.remove_prefix(sizeof value);
    return value;
  }
  // A count of items that each take at least `item_size` bytes: never more than are left.
  std::size_t Count(std::size_t item_size) {
    const std::uint64_t count = Number();
    if (!ok_ || count > bytes_.size() / item_size) {
      ok_ = false;
      return 0;
    }
    return static_cast<std::size_t>(count);
  }
  int Int() {
    const std::uint64_t value = Number();
    if (value > 0x7fffffff) ok_ = false;
    return ok_ ? static_cast<int>(value) : 0;
  }
  std::string Text() {
    const std::uint64_t size = Number();
    if (!ok_ || size > bytes_.size()) {
      ok_ = false;
      return std::string();
    }
    std::string text(bytes_.substr(0, static_cast<std::size_t>(size)));
    bytes_.remove_prefix(static_cast<std::size_t>(size));
    return text;
  }
  FileStamp Stamp() {
    FileStamp stamp;
    stamp.size = Number();
    stamp.write_time_ns = static_cast<std::int64_t>(Number());
    stamp.change_time_ns = static_cast<std::int64_t>(Number());
    stamp.inode = Number();
    return stamp;
  }

 private:
  std::string_view bytes_;
  bool ok_ = true;
};

}  // namespace

std::string FormatFolderSummary(const FolderSummary& summary) {
  Writer out;
  out.Text(kMagic);
  out.Number(static_cast<std::uint64_t>(summary.entry_count));
  out.Number(static_cast<std::uint64_t>(summary.file_link_count));
  out.Number(static_cast<std::uint64_t>(summary.listed_file_link_count));
  out.Number(summary.total_file_size);
  out.Number(summary.main_image_name ? 1 : 0);
  out.Text(summary.main_image_name.value_or(std::string()));
  out.Text(summary.main_image_srcset);
  out.Text(summary.album_zip_link);
  out.Text(summary.album_zip_name);
  out.Number(summary.album_zip_size);
  out.Number(summary.page_variables.size());
  for (const FolderSummary::PageVariable& variable : summary.page_variables) {
    out.Text(variable.name);
    out.Text(variable.value);
    out.Number(variable.expands_above ? 1 : 0);
  }
  out.Number(summary.outputs.size());
  for (const FolderSummary::Output& output : summary.outputs) {
    out.Text(output.path);
    out.Number(static_cast<std::uint64_t>(output.kind));
    out.Stamp(output.stamp);
  }
  out.Stamp(summary.folder_stamp);
  out.Number(static_cast<std::uint64_t>(summary.pictures));
  out.Number(static_cast<std::uint64_t>(summary.pages));
  out.Number(static_cast<std::uint64_t>(summary.inline_images));
  return out.Take();
}

std::optional<FolderSummary> ParseFolderSummary(std::string_view bytes) {
  Reader in(bytes);
  if (in.Text() != kMagic) return std::nullopt;
  FolderSummary summary;
  summary.entry_count = in.Int();
  summary.file_link_count = in.Int();
  summary.listed_file_link_count = in.Int();
  summary.total_file_size = in.Number();
  const bool has_main_image = in.Number() != 0;
  std::string main_image = in.Text();
  if (has_main_image) summary.main_image_name = std::move(main_image);
  summary.main_image_srcset = in.Text();
  summary.album_zip_link = in.Text();
  summary.album_zip_name = in.Text();
  summary.album_zip_size = in.Number();
  // Each variable takes at least its two lengths and its flag, each output 48 bytes.
  summary.page_variables.resize(in.Count(24));
  for (FolderSummary::PageVariable& variable : summary.page_variables) {
    variable.name = in.Text();
    variable.value = in.Text();
    variable.expands_above = in.Number() != 0;
  }
  summary.outputs.resize(in.Count(48));
  for (FolderSummary::Output& output : summary.outputs) {
    output.path = in.Text();
    const std::uint64_t kind = in.Number();
    if (kind < 1 || kind > static_cast<std::uint64_t>(kLastOutputKind)) return std::nullopt;
    output.kind = static_cast<OutputKind>(kind);
    output.stamp = in.Stamp();
  }
  summary.folder_stamp = in.Stamp();
  summary.pictures = in.Int();
  summary.pages = in.Int();
  summary.inline_images = in.Int();
  if (!in.ok() || !in.AtEnd()) return std::nullopt;
  return summary;
}

}  // namespace pix
