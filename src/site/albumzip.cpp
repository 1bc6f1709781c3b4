#include "site/albumzip.h"

#include <zip.h>

#include <ctime>
#include <memory>

#include "base/safefile.h"
#include "site/website.h"

namespace pix {
namespace {

// Every member carries this time (noon, 1 January 2000): the zip's bytes then depend on
// its members alone, not on when a run made them.
constexpr std::time_t kMemberTime = 946728000;

// Raises the version whenever the zip's bytes for the same members change.
constexpr int kAlbumZipVersion = 1;

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

std::string ZipOpenError(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// The recipe of an album's zip: each member's name and the digest the record holds of its
// bytes; none when a member is not in the record as written.
std::optional<Digest> RecipeOf(const WebSite& site, const std::vector<AlbumMember>& members) {
  std::string text = "album zip " + std::to_string(kAlbumZipVersion);
  for (const AlbumMember& member : members) {
    const std::optional<RecordedOutput> recorded =
        site.Record().FindOutput(site.SitePath(member.path));
    if (!recorded || recorded->content.Empty()) return std::nullopt;
    text += '\n';
    text += member.name;
    text += '\t';
    text.append(reinterpret_cast<const char*>(&recorded->content.low), 8);
    text.append(reinterpret_cast<const char*>(&recorded->content.high), 8);
  }
  return DigestOf(text);
}

}  // namespace

Status WriteStoredZip(const std::filesystem::path& target, const std::vector<ZipMember>& members) {
  int code = 0;
  ZipHandle archive(zip_open(target.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!archive) {
    return Status::IoError("Cannot write " + target.string() + ": " + ZipOpenError(code));
  }
  for (const ZipMember& member : members) {
    zip_source_t* source = zip_source_file(archive.get(), member.path.c_str(), 0, -1);
    if (source == nullptr) {
      return Status::IoError("Cannot read " + member.path.string() + ": " +
                             zip_strerror(archive.get()));
    }
    const zip_int64_t index =
        zip_file_add(archive.get(), member.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      return Status::IoError("Cannot add " + member.name + " to " + target.string() + ": " +
                             zip_strerror(archive.get()));
    }
    const auto at = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(archive.get(), at, ZIP_CM_STORE, 0) != 0 ||
        zip_file_set_mtime(archive.get(), at, kMemberTime, 0) != 0) {
      return Status::IoError("Cannot write " + target.string() + ": " +
                             zip_strerror(archive.get()));
    }
  }
  // The members are read here, one after the other, straight into the file.
  if (zip_close(archive.get()) != 0) {
    return Status::IoError("Cannot write " + target.string() + ": " +
                           zip_strerror(archive.get()));
  }
  archive.release();  // zip_close freed it.
  return Status::OK();
}

Result<std::vector<std::string>> ListZipMembers(const std::filesystem::path& path) {
  int code = 0;
  ZipHandle archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!archive) return Status::Corrupt(path.string() + ": " + ZipOpenError(code));
  std::vector<std::string> names;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
    names.emplace_back(name != nullptr ? name : "");
  }
  return names;
}

AlbumZipState SettleAlbumZip(const WebSite& site, const std::string& zip_path,
                              const std::vector<AlbumMember>& members, Status& status) {
  status = Status::OK();
  SiteRecord& record = site.Record();
  const std::string site_path = site.SitePath(zip_path);
  const std::optional<Digest> recipe = RecipeOf(site, members);
  const std::optional<RecordedOutput> recorded = record.FindOutput(site_path);
  const ClaimResult claim =
      record.Claim(zip_path, recorded, [](const std::filesystem::path&) { return false; });
  if (claim.claim == Ownership::kUsers || claim.claim == Ownership::kHandEdited) {
    if (recorded) record.ForgetOutput(site_path);
    status = Status::Refused(zip_path + " is kept as it is (" + claim.why + ")");
    return AlbumZipState::kRefused;
  }
  if (claim.claim == Ownership::kOurs && recipe && recorded->recipe == *recipe) {
    if (claim.stamp_matched) {
      record.ConfirmOutput(site_path);
    } else if (const std::optional<FileStamp> stamp = StampOfFile(zip_path, false)) {
      RecordedOutput again = *recorded;
      again.stamp = *stamp;
      record.RecordOutput(site_path, again);
    }
    return AlbumZipState::kCurrent;
  }

  Result<TempFileBeside> temp =
      TempFileBeside::Create(zip_path, TempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) {
    status = temp.status();
    return AlbumZipState::kRefused;
  }
  // libzip writes the archive by name: it replaces the (closed, empty) temporary file.
  status = temp->Close();
  std::vector<ZipMember> files;
  files.reserve(members.size());
  for (const AlbumMember& member : members) files.push_back({member.path, member.name});
  if (status.ok()) status = WriteStoredZip(temp->TempPath(), files);
  if (!status.ok()) return AlbumZipState::kRefused;
  const std::optional<Digest> content = DigestOfFile(temp->TempPath());
  if (!content) {
    status = Status::IoError("Cannot read " + temp->TempPath().string());
    return AlbumZipState::kRefused;
  }
  status = temp->Commit([&](const std::filesystem::path&) {
    return record.NotePending(site_path, OutputKind::kAlbumArchive, *content);
  });
  if (!status.ok()) return AlbumZipState::kRefused;
  RecordedOutput made;
  made.kind = OutputKind::kAlbumArchive;
  made.recipe = recipe.value_or(Digest());
  made.content = *content;
  made.stamp = StampOfFile(zip_path, false).value_or(FileStamp());
  record.RecordOutput(site_path, made);
  return AlbumZipState::kMade;
}

}  // namespace pix
