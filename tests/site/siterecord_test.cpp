#include "site/siterecord.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "base/diagnostics.h"
#include "support/temp_dir.h"
#include "support/picture_builder.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPage = "<!--Produced With Pixamond Version 2.0-->\r\n<HTML></HTML>\r\n";

std::unique_ptr<SiteRecord> OpenRecord(const fs::path& site, Diagnostics& diagnostics) {
  Result<std::unique_ptr<SiteRecord>> record = SiteRecord::Open(site, diagnostics);
  EXPECT_TRUE(record.ok()) << record.status().message();
  return record.ok() ? std::move(record).value() : nullptr;
}

// Runs `work` in a child process that ends without running any destructor, as a run that is
// killed does.
void InKilledChild(const std::function<void()>& work) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    work();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

// Records `bytes` written at `name` as the run's output, as a run does.
void WriteOutput(SiteRecord& record, const fs::path& site, const std::string& name,
                 const std::string& bytes, OutputKind kind = OutputKind::kInlineImage) {
  test::WriteFile(site / name, bytes);
  RecordedOutput output;
  output.kind = kind;
  output.content = DigestOf(bytes);
  output.stamp = *StampOfFile(site / name, false);
  record.RecordOutput(name, output);
}

TEST(SiteRecordTest, OneRunAtATimeAndOnlyOnItsOwnRecord) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  {
    std::unique_ptr<SiteRecord> first = OpenRecord(site.path(), diagnostics);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->IsNew());
    const Result<std::unique_ptr<SiteRecord>> second = SiteRecord::Open(site.path(), diagnostics);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.status().code(), Status::Code::kRefused);
    EXPECT_EQ(second.status().message(), kAnotherRunText);
  }
  // Once the first run is done the next one gets in, and the record is no longer new.
  std::unique_ptr<SiteRecord> next = OpenRecord(site.path(), diagnostics);
  ASSERT_TRUE(next);
  EXPECT_FALSE(next->IsNew());
  next.reset();

  // What stands at the record's name and is not this program's record is kept as it is.
  test::TempDir other;
  test::WriteFile(other / std::string(kRecordFileName), "my own notes about the trip\n");
  Result<std::unique_ptr<SiteRecord>> foreign = SiteRecord::Open(other.path(), diagnostics);
  ASSERT_FALSE(foreign.ok());
  EXPECT_EQ(foreign.status().code(), Status::Code::kRefused);
  EXPECT_EQ(test::ReadFile(other / std::string(kRecordFileName)), "my own notes about the trip\n");
  test::TempDir linked;
  fs::create_symlink(other / "elsewhere.db", linked / std::string(kRecordFileName));
  EXPECT_FALSE(SiteRecord::Open(linked.path(), diagnostics).ok());
  EXPECT_FALSE(fs::exists(other / "elsewhere.db")) << "nothing is written through a link";
}

TEST(SiteRecordTest, ARecordOfAnotherVersionIsStartedAnewNotRefused) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  {
    std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
    WriteOutput(*record, site.path(), "a.gif", "GIF89a");
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((site / std::string(kRecordFileName)).c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  std::unique_ptr<SiteRecord> renewed = OpenRecord(site.path(), diagnostics);
  ASSERT_TRUE(renewed);
  EXPECT_TRUE(renewed->IsNew()) << "files are adopted as on a first run";
  EXPECT_FALSE(renewed->FindOutput("a.gif"));
  ASSERT_EQ(diagnostics.Details().size(), 1u);
  EXPECT_NE(diagnostics.Details()[0].find("started anew"), std::string::npos);
}

TEST(SiteRecordTest, AFilePutInPlaceJustBeforeAKillIsStillTheRuns) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  { OpenRecord(site.path(), diagnostics); }
  InKilledChild([&] {
    std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
    // Noted, put in place, recorded, but never committed.
    ASSERT_TRUE(record->NotePending("inline/a.jpg", OutputKind::kInlineImage,
                                    DigestOf("new bytes")).ok());
    test::WriteFile(site / "inline" / "a.jpg", "new bytes");
    WriteOutput(*record, site.path(), "inline/a.jpg", "new bytes");
    // Noted but killed before it was put in place.
    ASSERT_TRUE(record->NotePending("inline/b.jpg", OutputKind::kInlineImage,
                                    DigestOf("never written")).ok());
    record.release();  // As a kill leaves it.
  });
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  ASSERT_TRUE(record);
  const std::optional<RecordedOutput> a = record->FindOutput("inline/a.jpg");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->content, DigestOf("new bytes"));
  EXPECT_TRUE(a->recipe.Empty()) << "its recipe is unknown, so it is made again";
  EXPECT_EQ(record->Claim(site / "inline" / "a.jpg", a, [](const fs::path&) { return false; }).claim,
            Ownership::kOurs);
  EXPECT_FALSE(record->FindOutput("inline/b.jpg"));
}

TEST(SiteRecordTest, AFileIsTheRunsOnlyWhileItHoldsWhatWasWritten) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  const auto never = [](const fs::path&) { return false; };
  const auto always = [](const fs::path&) { return true; };
  const auto claim = [&](const std::string& name) {
    return record->Claim(site / name, record->FindOutput(name), never);
  };

  EXPECT_EQ(claim("missing.jpg").claim, Ownership::kAbsent);
  WriteOutput(*record, site.path(), "a.jpg", "thumbnail");
  // Recorded stamps of files just written are not trusted: the file is read and matches.
  ClaimResult found = claim("a.jpg");
  EXPECT_EQ(found.claim, Ownership::kOurs);
  EXPECT_FALSE(found.stamp_matched);
  // The same bytes written again (a touch, a copy) are still the run's.
  test::WriteFile(site / "a.jpg", "thumbnail");
  EXPECT_EQ(claim("a.jpg").claim, Ownership::kOurs);
  // Other bytes make it the user's.
  test::WriteFile(site / "a.jpg", "the user's edit");
  found = claim("a.jpg");
  EXPECT_EQ(found.claim, Ownership::kUsers);
  EXPECT_EQ(found.why, "changed since Pixamond wrote it");

  // A page edited by hand that keeps the program's version lines is told apart.
  WriteOutput(*record, site.path(), "p.html", kPage, OutputKind::kPage);
  test::WriteFile(site / "p.html", std::string(kPage) + "<!-- my note -->");
  EXPECT_EQ(claim("p.html").claim, Ownership::kHandEdited);

  // A link or a folder is never the run's, recorded or not.
  fs::create_symlink(site / "a.jpg", site / "link.jpg");
  fs::create_directory(site / "folder.jpg");
  EXPECT_EQ(record->Claim(site / "link.jpg", std::nullopt, always).why, "a link");
  EXPECT_EQ(record->Claim(site / "folder.jpg", std::nullopt, always).why, "a folder");

  // A file the record does not know is adopted only on a site's first run with a record.
  test::WriteFile(site / "old.gif", "GIF89a");
  EXPECT_EQ(record->Claim(site / "old.gif", std::nullopt, always).claim, Ownership::kOurs);
  EXPECT_EQ(record->Claim(site / "old.gif", std::nullopt, never).why, "not written by Pixamond");
  record.reset();
  record = OpenRecord(site.path(), diagnostics);
  EXPECT_EQ(record->Claim(site / "old.gif", std::nullopt, always).claim, Ownership::kUsers);
}

TEST(SiteRecordTest, AtItsEndARunTrustsTheStampsOfWhatItWroteOnlyIfItStillHoldsIt) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  WriteOutput(*record, site.path(), "kept.jpg", "thumbnail");
  WriteOutput(*record, site.path(), "page.html", kPage, OutputKind::kPage);
  WriteOutput(*record, site.path(), "edited.jpg", "thumbnail");
  WriteOutput(*record, site.path(), "gone.jpg", "thumbnail");
  // Changed or removed after the run wrote them, before the end of the run.
  test::WriteFile(site / "edited.jpg", "the user's");
  fs::remove(site / "gone.jpg");
  EXPECT_EQ(record->SettleOutputs(), 2);
  ASSERT_TRUE(record->Commit().ok());
  record.reset();

  record = OpenRecord(site.path(), diagnostics);
  const auto claim = [&](const std::string& name) {
    return record->Claim(site / name, record->FindOutput(name),
                         [](const fs::path&) { return false; });
  };
  // The next run takes what it wrote on its stamp, without reading it...
  EXPECT_TRUE(claim("kept.jpg").stamp_matched);
  EXPECT_TRUE(claim("page.html").stamp_matched);
  EXPECT_EQ(claim("kept.jpg").claim, Ownership::kOurs);
  // ...but not what was changed before the end of the run.
  EXPECT_EQ(claim("edited.jpg").claim, Ownership::kUsers);
  EXPECT_EQ(claim("gone.jpg").claim, Ownership::kAbsent);

  // A later change shows in the stamp even where it keeps the size and the write time.
  const fs::path kept = site / "kept.jpg";
  struct stat before;
  ASSERT_EQ(::stat(kept.c_str(), &before), 0);
  test::WriteFile(kept, "thumbnaiL");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, kept.c_str(), times, 0), 0);
  const ClaimResult changed = claim("kept.jpg");
  EXPECT_FALSE(changed.stamp_matched);
  EXPECT_EQ(changed.claim, Ownership::kUsers);
  // A run that recorded nothing new reads nothing at its end.
  EXPECT_EQ(record->SettleOutputs(), 0);
}

TEST(SiteRecordTest, AReadBackStoppedHalfwayLeavesTheRestForTheNextRun) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  for (int i = 0; i < 600; ++i) {
    WriteOutput(*record, site.path(), "image" + std::to_string(1000 + i) + ".jpg", "thumbnail");
  }
  // Past the step of the file system's clock the files were written in.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::vector<int> told;
  EXPECT_EQ(record->SettleOutputs(2, [&](int read) {
              told.push_back(read);
              return false;  // The user stopped the run.
            }),
            512);
  EXPECT_EQ(told, std::vector<int>{512});
  ASSERT_TRUE(record->Commit().ok());
  record.reset();

  record = OpenRecord(site.path(), diagnostics);
  const auto trusted = [&](const std::string& name) {
    return record->Claim(site / name, record->FindOutput(name),
                         [](const fs::path&) { return false; })
        .stamp_matched;
  };
  EXPECT_TRUE(trusted("image1000.jpg"));
  EXPECT_FALSE(trusted("image1599.jpg"));
}

TEST(SiteRecordTest, APicturesImageDigestLeavesOutItsCommentsAndNothingElse) {
  test::TempDir dir;
  const auto digests = [&](const std::string& bytes) {
    test::WriteFile(dir / "p.jpg", bytes);
    return DigestOfPicture(dir / "p.jpg").value();
  };
  using namespace std::string_literals;  // The segments hold NUL bytes.
  const std::string start = "\xFF\xD8\xFF\xE0\x00\x04JF"s;
  const std::string scan = "\xFF\xDA\x00\x02scan data \xFF\xFE\x00\x03x\xFF\xD9"s;
  const std::string comment = "\xFF\xFE\x00\x07Title"s;
  const PictureDigests plain = digests(start + scan);
  const PictureDigests captioned = digests(start + comment + "\xFF" + comment + scan);
  EXPECT_NE(plain.file, captioned.file);
  EXPECT_EQ(plain.image, captioned.image);
  // A byte of another segment, or of the scan (where a COM marker is only data), counts.
  EXPECT_NE(digests(start.substr(0, 7) + "K" + scan).image, plain.image);
  EXPECT_NE(digests(start + "\xFF\xDA\x00\x02scan data \xFF\xD9"s).image, plain.image);
  // Not a JPEG stream: one digest for both.
  const PictureDigests gif = digests("GIF89a" + comment);
  EXPECT_EQ(gif.file, gif.image);
  EXPECT_EQ(gif.file, DigestOf("GIF89a" + comment));
}

TEST(SiteRecordTest, APicturesDigestsFromItsDecodeAreThoseOfItsFile) {
  // The decoder reads a progressive picture at a small scale only to its first scans, and
  // libjpeg stops at the end of the image: the rest is read for the digests all the same.
  test::TempDir dir;
  test::JpegOptions progressive;
  progressive.kind = test::JpegKind::kProgressive;
  progressive.comments = {"Title:\r\nOne\r\n\r\n", "another program's comment"};
  const std::string large = test::MakeJpeg(test::GradientArt(1600, 1200), progressive);
  ASSERT_GT(large.size(), 48u * 1024);  // Several of the decoder's reads.
  const std::string baseline = test::MakeJpeg(test::SampleArt());
  const std::vector<std::pair<std::string, std::string>> pictures = {
      {"progressive", large},
      {"trailing bytes", baseline + std::string(70000, 'x')},
      {"cut short", test::CutInsideScan(baseline)},
      {"not a JPEG file", "GIF89a and more"}};
  for (const auto& [name, bytes] : pictures) {
    SCOPED_TRACE(name);
    test::WriteFile(dir / "p.jpg", bytes);
    const PictureDigests read = DigestOfPicture(dir / "p.jpg").value();
    PictureDigester from_rows;
    RgbPicture decoded;
    CollectRgbRows collect(decoded);
    static_cast<void>(DecodeJpegRows(dir / "p.jpg", 40, 30, collect, nullptr, &from_rows));
    PictureDigester from_palette;
    static_cast<void>(DecodeJpegToPalette(dir / "p.jpg", 40, 30, nullptr, &from_palette));
    for (PictureDigester* digester : {&from_rows, &from_palette}) {
      const std::optional<PictureDigests> given = digester->Finish();
      ASSERT_TRUE(given.has_value());
      EXPECT_EQ(given->file, read.file);
      EXPECT_EQ(given->image, read.image);
    }
  }
  // A file that cannot be opened gives no digests, and a digester never ended gives none.
  PictureDigester missing;
  RgbPicture nothing;
  CollectRgbRows collect(nothing);
  EXPECT_FALSE(DecodeJpegRows(dir / "missing.jpg", 40, 30, collect, nullptr, &missing).ok());
  EXPECT_FALSE(missing.Finish().has_value());
  PictureDigester unfinished;
  unfinished.Bytes(reinterpret_cast<const std::uint8_t*>(baseline.data()), baseline.size());
  EXPECT_FALSE(unfinished.Finish().has_value());
  // A picture reached through a link is read as the decoder reads it.
  fs::create_symlink(dir / "p.jpg", dir / "link.jpg");
  EXPECT_EQ(DigestOfPicture(dir / "link.jpg").value().file, DigestOfPicture(dir / "p.jpg")->file);
}

TEST(SiteRecordTest, PicturesComeBackAsRecordedAndOnlyIfBelievable) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  RecordedPicture picture;
  picture.stamp = {1234, 1'000'000'000, 1'000'000'000, 77};
  picture.content = DigestOf("picture bytes");
  picture.image = DigestOf("picture bytes less comments");
  picture.reader_version = 3;
  picture.width = 640;
  picture.height = 480;
  picture.comments = "Title:\r\nÉté à Lyon\r\n\r\n";
  picture.metadata.exif.orientation = Orientation::kRotate90;
  picture.metadata.exif.date_taken = "2024-06-01T18:30:12";
  picture.metadata.exif.make = "Canon";
  picture.metadata.xmp_description = "Bridge, \"at dusk\"";
  picture.damage = "Premature end of JPEG file";
  record->RecordPicture("trip/a.jpg", picture);

  const std::optional<RecordedPicture> back = record->FindPicture("trip/a.jpg");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->stamp, picture.stamp) << "a stamp long settled is kept as it is";
  EXPECT_EQ(back->content, picture.content);
  EXPECT_EQ(back->image, picture.image);
  EXPECT_EQ(back->reader_version, 3);
  EXPECT_EQ(back->width, 640);
  EXPECT_EQ(back->comments, picture.comments);
  EXPECT_EQ(back->metadata.exif.orientation, Orientation::kRotate90);
  EXPECT_EQ(back->metadata.exif.date_taken, picture.metadata.exif.date_taken);
  EXPECT_EQ(back->metadata.xmp_description, picture.metadata.xmp_description);
  EXPECT_EQ(back->damage, picture.damage);

  // A record travels with its site: texts no reader would have handed over are not believed.
  RecordedPicture odd = picture;
  odd.metadata.exif.make = "Canon\x01";
  record->RecordPicture("trip/b.jpg", odd);
  EXPECT_FALSE(record->FindPicture("trip/b.jpg"));
  odd = picture;
  for (const char* date : {"yesterday", "2024-02-30T10:00:00", "2023-02-29T10:00:00"}) {
    odd.metadata.exif.date_taken = date;
    record->RecordPicture("trip/c.jpg", odd);
    EXPECT_FALSE(record->FindPicture("trip/c.jpg")) << date;
  }
}

TEST(SiteRecordTest, WhatARunNoLongerMakesIsListedWithWhetherItsPictureIsGone) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  {
    std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
    for (const char* name : {"a.jpg", "b.jpg"}) {
      RecordedPicture picture;
      picture.width = picture.height = 10;
      picture.image = DigestOf(name);
      record->RecordPicture(name, picture);
      RecordedOutput image;
      image.source = name;
      record->RecordOutput(std::string("inline/") + name, image);
    }
    RecordedOutput index;
    record->RecordOutput("old/index.html", index);
    // Paths a record made elsewhere could hold, which lead out of the site.
    record->RecordOutput("../outside.html", index);
    record->RecordOutput("/etc/hostname", index);
    record->RecordOutput("a/../../outside.html", index);
  }
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  record->ConfirmPicture("a.jpg");
  record->ConfirmOutput("inline/a.jpg");
  std::vector<std::string> listed;
  for (const SiteRecord::Unconfirmed& entry : record->UnconfirmedOutputs()) {
    listed.push_back(entry.path + (entry.source_gone ? " gone" : ""));
  }
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"inline/b.jpg gone", "old/index.html"}));
  record->ForgetUnconfirmedPictures();
  EXPECT_TRUE(record->Commit().ok());
  record.reset();
  record = OpenRecord(site.path(), diagnostics);
  EXPECT_TRUE(record->FindPicture("a.jpg"));
  EXPECT_FALSE(record->FindPicture("b.jpg"));
}

// A folder's outputs are those below it that the run recorded or confirmed since the mark;
// notes of folders a complete run did not see go with it.
TEST(SiteRecordTest, AFoldersOutputsAndNotesAreThoseOfThisRun) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  {
    std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
    RecordedOutput output;
    for (const char* path : {"a/old.html", "a/kept.html", "a.html", "ab/x.html", "a0/y.html"}) {
      record->RecordOutput(path, output);
    }
    record->RecordFolder("a", {DigestOf("a's key"), "notes of a"});
    record->RecordFolder("gone", {DigestOf("gone's key"), "notes"});
  }
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  record->ConfirmOutput("a/kept.html");
  const std::size_t mark = record->OutputMark();
  record->ConfirmOutput("ab/x.html");
  record->ConfirmOutput("a0/y.html");
  record->ConfirmOutput("a.html");
  RecordedOutput image;
  image.kind = OutputKind::kInlineImage;
  image.width = 7;
  record->RecordOutput("a/inline/p.gif", image);
  record->ConfirmOutput("a/kept.html");
  std::vector<std::string> below;
  for (const auto& [path, row] : record->OutputsSince("a", mark)) {
    below.push_back(path + " " + std::to_string(row.width));
  }
  EXPECT_EQ(below, (std::vector<std::string>{"a/inline/p.gif 7", "a/kept.html 0"}));
  EXPECT_TRUE(record->OutputsSince("a", record->OutputMark()).empty());

  const std::optional<RecordedFolder> noted = record->FindFolder("a");
  ASSERT_TRUE(noted);
  EXPECT_EQ(noted->key, DigestOf("a's key"));
  EXPECT_EQ(noted->summary, "notes of a");
  record->ConfirmFolder("a");
  record->ForgetUnconfirmedFolders();
  EXPECT_TRUE(record->FindFolder("a"));
  EXPECT_FALSE(record->FindFolder("gone"));
  record->ForgetFolder("a");
  EXPECT_FALSE(record->FindFolder("a"));
}

// A folder's rows are read ahead in one pass over the record, which stops and looks up one
// by one where a subfolder's rows lie among the folder's; either way the answers are the
// record's, before and after anything is recorded.
TEST(SiteRecordTest, WhatIsReadAheadOfAFolderAnswersAsTheRecordDoes) {
  test::TempDir site;
  fs::create_directories(site.path() / "trip");
  CollectedDiagnostics diagnostics;
  std::unique_ptr<SiteRecord> record = OpenRecord(site.path(), diagnostics);
  RecordedOutput page;
  page.kind = OutputKind::kPage;
  for (const char* name : {"trip/a.html", "trip/zz.html"}) {
    page.content = DigestOf(name);
    record->RecordOutput(name, page);
  }
  for (int i = 0; i < 200; ++i) record->RecordOutput("trip/sub/" + std::to_string(i), page);
  RecordedPicture picture;
  picture.width = picture.height = 10;
  picture.metadata.exif.orientation = Orientation::kNormal;
  picture.image = DigestOf("image");
  record->RecordPicture("trip/a.jpg", picture);
  RecordedPicture odd = picture;
  odd.metadata.exif.make = "Canon\x01";
  record->RecordPicture("trip/b.jpg", odd);

  const std::vector<std::string> outputs = {"trip/zz.html", "trip/a.html", "trip/m.html"};
  const std::vector<std::string> pictures = {"trip/a.jpg", "trip/b.jpg", "trip/c.jpg"};
  const auto answers = [&] {
    std::string text;
    for (const std::string& path : outputs) {
      const std::optional<RecordedOutput> found = record->FindOutput(path);
      text += path + (found ? "=" + std::to_string(found->content.low) : " none") + "\n";
    }
    for (const std::string& path : pictures) {
      text += path + (record->FindPicture(path) ? " found" : " none") + "\n";
    }
    return text;
  };
  const std::string from_record = answers();
  EXPECT_EQ(from_record.find("trip/a.html none"), std::string::npos);
  EXPECT_NE(from_record.find("trip/m.html none"), std::string::npos);
  EXPECT_NE(from_record.find("trip/a.jpg found\ntrip/b.jpg none\ntrip/c.jpg none"),
            std::string::npos);

  std::vector<std::string> full_outputs;
  std::vector<std::string> full_pictures;
  for (const std::string& path : outputs) full_outputs.push_back((site.path() / path).string());
  for (const std::string& path : pictures) full_pictures.push_back((site.path() / path).string());
  const int group = 0;
  record->ReadAhead((site.path() / "trip").string(), full_outputs, full_pictures, &group);
  EXPECT_EQ(answers(), from_record);

  // What is recorded after the read is what comes back.
  page.content = DigestOf("new");
  record->RecordOutput("trip/m.html", page);
  record->ForgetOutput("trip/a.html");
  record->RecordPicture("trip/c.jpg", picture);
  ASSERT_TRUE(record->FindOutput("trip/m.html"));
  EXPECT_EQ(record->FindOutput("trip/m.html")->content, DigestOf("new"));
  EXPECT_FALSE(record->FindOutput("trip/a.html"));
  EXPECT_TRUE(record->FindPicture("trip/c.jpg"));
  const std::string after_changes = answers();
  record->ForgetAhead(&group);
  EXPECT_EQ(answers(), after_changes);
}

}  // namespace
}  // namespace pix
