#include "site/foldersummary.h"


namespace pix {
namespace {

// The first bytes of a summary: a summary of another layout is not read.
constexpr std::string_view kMagic = "PXFS3";

// Numbers are written in 7-bit groups, the low group first, so that the small ones most
// numbers are take a byte or two; signed differences are folded so that small negative
// ones are small too. A folder's outputs were written at nearly the same time, with inodes
// near each other and names sharing their starts, so each output is written as its
// difference from the one before: a summary of 100 pictures takes about 5 KB.
std::uint64_t Fold(std::int64_t value) {
  return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}
std::int64_t Unfold(std::uint64_t value) {
  return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

class Writer {
 public:
  void Number(std::uint64_t value) {
    while (value >= 0x80) {
      out_ += static_cast<char>((value & 0x7f) | 0x80);
      value >>= 7;
    }
    out_ += static_cast<char>(value);
  }
  void Signed(std::int64_t value) { Number(Fold(value)); }
  void Text(std::string_view text) {
    Number(text.size());
    out_.append(text);
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
    for (int shift = 0; ok_; shift += 7) {
      if (bytes_.empty() || shift > 63) {
        ok_ = false;
        break;
      }
      const auto byte = static_cast<unsigned char>(bytes_.front());
      bytes_.remove_prefix(1);
      value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    return 0;
  }
  std::int64_t Signed() { return Unfold(Number()); }
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

 private:
  std::string_view bytes_;
  bool ok_ = true;
};

// Differences of any two 64-bit values, which wrap around rather than overflow.
std::int64_t Difference(std::uint64_t a, std::uint64_t b) { return static_cast<std::int64_t>(a - b); }
std::uint64_t Plus(std::uint64_t a, std::int64_t difference) {
  return a + static_cast<std::uint64_t>(difference);
}

void WriteStamp(Writer& out, const FileStamp& stamp, const FileStamp& before) {
  const auto write_time = static_cast<std::uint64_t>(stamp.write_time_ns);
  out.Number(stamp.size);
  out.Signed(Difference(write_time, static_cast<std::uint64_t>(before.write_time_ns)));
  out.Signed(Difference(static_cast<std::uint64_t>(stamp.change_time_ns), write_time));
  out.Signed(Difference(stamp.inode, before.inode));
}

FileStamp ReadStamp(Reader& in, const FileStamp& before) {
  FileStamp stamp;
  stamp.size = in.Number();
  const std::uint64_t write_time = Plus(static_cast<std::uint64_t>(before.write_time_ns), in.Signed());
  stamp.write_time_ns = static_cast<std::int64_t>(write_time);
  stamp.change_time_ns = static_cast<std::int64_t>(Plus(write_time, in.Signed()));
  stamp.inode = Plus(before.inode, in.Signed());
  return stamp;
}

// How many bytes `a` and `b` start with alike.
std::size_t SharedStart(std::string_view a, std::string_view b) {
  std::size_t shared = 0;
  while (shared < a.size() && shared < b.size() && a[shared] == b[shared]) ++shared;
  return shared;
}

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
  std::string_view previous_path;
  FileStamp previous;
  for (const FolderSummary::Output& output : summary.outputs) {
    const std::size_t shared = SharedStart(previous_path, output.path);
    out.Number(shared);
    out.Text(std::string_view(output.path).substr(shared));
    out.Number(static_cast<std::uint64_t>(output.kind));
    WriteStamp(out, output.stamp, previous);
    previous_path = output.path;
    previous = output.stamp;
  }
  WriteStamp(out, summary.folder_stamp, FileStamp());
  out.Number(summary.feed.size());
  for (const FeedEntry& entry : summary.feed) {
    out.Text(entry.page_path);
    out.Text(entry.image_path);
    out.Text(entry.title_html);
    out.Signed(entry.time_ns);
    out.Number(static_cast<std::uint64_t>(entry.image_width));
    out.Number(static_cast<std::uint64_t>(entry.image_height));
  }
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
  // Each variable takes at least its two lengths and its flag.
  summary.page_variables.resize(in.Count(3));
  for (FolderSummary::PageVariable& variable : summary.page_variables) {
    variable.name = in.Text();
    variable.value = in.Text();
    variable.expands_above = in.Number() != 0;
  }
  // Each output takes at least its shared length, its name, kind and stamp: 7 bytes.
  summary.outputs.resize(in.Count(7));
  const std::string* previous_path = nullptr;
  FileStamp previous;
  for (FolderSummary::Output& output : summary.outputs) {
    const std::uint64_t shared = in.Number();
    if (shared > (previous_path != nullptr ? previous_path->size() : 0)) return std::nullopt;
    if (previous_path != nullptr) output.path = previous_path->substr(0, shared);
    output.path += in.Text();
    const std::uint64_t kind = in.Number();
    if (kind < 1 || kind > static_cast<std::uint64_t>(kLastOutputKind)) return std::nullopt;
    output.kind = static_cast<OutputKind>(kind);
    output.stamp = ReadStamp(in, previous);
    previous_path = &output.path;
    previous = output.stamp;
  }
  summary.folder_stamp = ReadStamp(in, FileStamp());
  // Each feed entry takes at least its three lengths, its time and its size.
  summary.feed.resize(in.Count(6));
  for (FeedEntry& entry : summary.feed) {
    entry.page_path = in.Text();
    entry.image_path = in.Text();
    entry.title_html = in.Text();
    entry.time_ns = in.Signed();
    entry.image_width = in.Int();
    entry.image_height = in.Int();
  }
  summary.pictures = in.Int();
  summary.pages = in.Int();
  summary.inline_images = in.Int();
  if (!in.ok() || !in.AtEnd()) return std::nullopt;
  return summary;
}

}  // namespace pix
