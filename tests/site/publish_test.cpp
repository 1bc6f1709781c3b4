// Publishing a generated site to a folder and through rsync: exactly the files the site is
// made of arrive, a second publish copies nothing, --delete follows a deleted picture, and
// originals that say where they were taken stay home unless asked for.
#include "site/publish.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include "generated_site.h"
#include "site/siterecord.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(root).string());
  }
  return files;
}

class PublishTest : public test::GeneratedSiteTest {
 protected:
  Result<PublishStats> Publish(const std::string& destination, PublishOptions options = {}) {
    listing_.str("");
    return PublishSite(site_.path(), destination, options, progress_, listing_, diagnostics_);
  }

  // The files the record lists, less folders.
  std::set<std::string> RecordedFiles() {
    std::set<std::string> files;
    const std::unique_ptr<SiteRecord> record = SiteRecord::OpenToRead(site_.path());
    EXPECT_NE(record, nullptr);
    if (!record) return files;
    for (const auto& [path, output] : record->AllOutputs()) {
      if (output.kind != OutputKind::kFolder) files.insert(path);
    }
    return files;
  }

  test::TempDir destination_;
  Progress progress_;
  std::ostringstream listing_;
};

TEST_F(PublishTest, AFolderGetsExactlyTheRecordedFilesOnceAndDeleteFollowsTheSite) {
  UseSettings(kPrivateSettings);
  WritePictures();
  ASSERT_TRUE(Generate());
  const fs::path web = destination_ / "web";

  Result<PublishStats> first = Publish(web.string());
  ASSERT_TRUE(first.ok()) << first.status().message();
  const std::set<std::string> published = FilesBelow(web);
  // The GIF's detail page shows a web-sized copy too: no original is published.
  std::set<std::string> expected = RecordedFiles();
  EXPECT_EQ(published, expected);
  EXPECT_EQ(published.count("trip/inline/detail/map.jpg"), 1u);
  for (const std::string& path : published) {
    EXPECT_EQ(path.find(".txt"), std::string::npos) << path;
    EXPECT_EQ(path.find("/."), std::string::npos) << path;
    EXPECT_NE(path.front(), '.') << path;
    EXPECT_NE(path, "beach.jpg");
    EXPECT_EQ(test::ReadFile(web / path), test::ReadFile(site_ / path)) << path;
  }
  EXPECT_EQ(published.count("trip/boat.jpg"), 0u);
  EXPECT_EQ(first->copied, static_cast<int>(published.size()));

  const Result<PublishStats> second = Publish(web.string());
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second->copied, 0);
  EXPECT_EQ(second->unchanged, first->files);

  // A server's hidden file and a stray file; then a picture goes.
  test::WriteFile(web / ".htaccess", "Options -Indexes\n");
  test::WriteFile(web / "old" / "stray.html", "x");
  fs::remove(site_ / "trip" / "boat.jpg");
  ASSERT_TRUE(Generate());
  PublishOptions dry;
  dry.dry_run = dry.delete_extra = true;
  const Result<PublishStats> preview = Publish(web.string(), dry);
  ASSERT_TRUE(preview.ok());
  EXPECT_NE(listing_.str().find("delete old/stray.html\n"), std::string::npos) << listing_.str();
  EXPECT_TRUE(fs::exists(web / "old" / "stray.html"));

  PublishOptions remove;
  remove.delete_extra = true;
  ASSERT_TRUE(Publish(web.string(), remove).ok());
  expected = RecordedFiles();
  expected.insert(".htaccess");
  EXPECT_EQ(FilesBelow(web), expected);
  EXPECT_FALSE(fs::exists(web / "old"));
  EXPECT_TRUE(diagnostics_.Problems().empty());
}

TEST_F(PublishTest, AnOriginalIsPublishedOnlyWhenLinkedAndWithItsPositionOnlyWhenAskedFor) {
  UseSettings(kOriginalSettings);
  WritePictures();
  WriteGpsPicture(site_ / "where.jpg");
  ASSERT_TRUE(Generate());
  const fs::path web = destination_ / "web";

  const Result<PublishStats> withheld = Publish(web.string());
  ASSERT_TRUE(withheld.ok());
  EXPECT_TRUE(fs::exists(web / "beach.jpg"));  // The detail page shows the original.
  EXPECT_FALSE(fs::exists(web / "where.jpg"));
  EXPECT_FALSE(fs::exists(web / "dune.txt"));
  EXPECT_EQ(withheld->withheld, 1);
  ASSERT_EQ(diagnostics_.Problems().size(), 1u);
  EXPECT_NE(diagnostics_.Problems()[0].find("where.jpg"), std::string::npos);

  PublishOptions with;
  with.with_originals = true;
  ASSERT_TRUE(Publish(web.string(), with).ok());
  EXPECT_EQ(test::ReadFile(web / "where.jpg"), test::ReadFile(site_ / "where.jpg"));
  ASSERT_EQ(diagnostics_.Notices().size(), 1u);
  EXPECT_EQ(diagnostics_.Notices()[0], "where.jpg: published with its GPS position");
}

TEST_F(PublishTest, ADestinationInsideTheSiteOrASiteWithoutRecordIsRefused) {
  UseSettings(kPrivateSettings);
  WritePictures();
  EXPECT_EQ(Publish((destination_ / "web").string()).status().code(), Status::Code::kNotFound);
  ASSERT_TRUE(Generate());
  EXPECT_EQ(Publish((site_ / "web").string()).status().code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(Publish(site_.path().string()).status().code(), Status::Code::kInvalidArgument);
  EXPECT_FALSE(fs::exists(site_ / "web"));
}

TEST(PublishDestinationTest, RemoteDestinationsAreTheOnesRsyncTakesForRemote) {
  EXPECT_TRUE(IsRemoteDestination("host:www"));
  EXPECT_TRUE(IsRemoteDestination("ann@host:/var/www"));
  EXPECT_TRUE(IsRemoteDestination("rsync://host/module/x"));
  EXPECT_FALSE(IsRemoteDestination("/srv/www"));
  EXPECT_FALSE(IsRemoteDestination("./a:b"));
  EXPECT_FALSE(IsRemoteDestination("web"));
}

// rsync with a remote shell that is a local one: "host:path" reaches a folder of this
// machine, with no network.
class RsyncPublishTest : public PublishTest {
 protected:
  void SetUp() override {
    if (::system("command -v rsync >/dev/null 2>&1") != 0) GTEST_SKIP() << "rsync is not installed";
    const fs::path shell = home_ / "local-shell";
    // rsync calls it as: SHELL [-l USER] HOST COMMAND...; the host is dropped.
    test::WriteFile(shell,
                    "#!/bin/sh\n"
                    "while [ \"$1\" = -l ]; do shift 2; done\n"
                    "shift\n"
                    "exec sh -c \"$*\"\n");
    fs::permissions(shell, fs::perms(0755));
    const char* old = ::getenv("RSYNC_RSH");
    if (old != nullptr) old_rsh_ = old;
    had_rsh_ = old != nullptr;
    ::setenv("RSYNC_RSH", shell.c_str(), 1);
  }
  void TearDown() override {
    if (had_rsh_) {
      ::setenv("RSYNC_RSH", old_rsh_.c_str(), 1);
    } else {
      ::unsetenv("RSYNC_RSH");
    }
  }
  std::string old_rsh_;
  bool had_rsh_ = false;
};

// A free TCP port of the loopback interface, as the kernel hands one out; 0 when none.
int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) ::close(fd);
  return port;
}

bool AcceptsConnections(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return connected;
}

// An rsync daemon on the loopback interface, serving one writable module "www" (a folder
// of the test's), as a web host's rsync:// service would.
class RsyncDaemon {
 public:
  RsyncDaemon(const fs::path& config_dir, const fs::path& module_dir) {
    port_ = FreeLoopbackPort();
    const fs::path config = config_dir / "rsyncd.conf";
    test::WriteFile(config, "use chroot = no\nuid = " + std::to_string(::getuid()) +
                                "\ngid = " + std::to_string(::getgid()) +
                                "\n[www]\npath = " + module_dir.string() + "\nread only = no\n");
    std::string port_option = "--port=" + std::to_string(port_);
    std::string config_option = "--config=" + config.string();
    std::string address_option = "--address=127.0.0.1";
    std::vector<char*> argv = {const_cast<char*>("rsync"), const_cast<char*>("--daemon"),
                               const_cast<char*>("--no-detach"), port_option.data(),
                               config_option.data(), address_option.data(), nullptr};
    if (port_ == 0 || ::posix_spawnp(&pid_, "rsync", nullptr, nullptr, argv.data(), environ) != 0) {
      pid_ = 0;
      return;
    }
    for (int i = 0; i < 500 && !AcceptsConnections(port_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~RsyncDaemon() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  RsyncDaemon(const RsyncDaemon&) = delete;
  RsyncDaemon& operator=(const RsyncDaemon&) = delete;

  bool Serving() const { return pid_ > 0 && AcceptsConnections(port_); }
  std::string Url(const std::string& path) const {
    return "rsync://127.0.0.1:" + std::to_string(port_) + "/www/" + path;
  }

 private:
  pid_t pid_ = 0;
  int port_ = 0;
};

// The same site through a remote shell ("host:path") and to an rsync daemon ("rsync://").
TEST_F(RsyncPublishTest, RemoteDestinationsGetTheRecordedFilesOnceAndDeleteFollowsTheSite) {
  UseSettings(kPrivateSettings);
  WritePictures();
  ASSERT_TRUE(Generate());
  const fs::path web = destination_ / "web";
  PublishOptions dry;
  dry.dry_run = true;
  const Result<PublishStats> preview = Publish("localhost:" + web.string(), dry);
  ASSERT_TRUE(preview.ok()) << preview.status().message();
  EXPECT_NE(listing_.str().find("copy index.html\n"), std::string::npos) << listing_.str();
  EXPECT_FALSE(fs::exists(web / "index.html"));

  RsyncDaemon daemon(home_.path(), destination_.path());
  std::vector<std::pair<std::string, fs::path>> destinations = {{"localhost:" + web.string(), web}};
  if (daemon.Serving()) {
    destinations.emplace_back(daemon.Url("served/"), destination_ / "served");
  } else {
    std::cout << "no rsync daemon could listen on the loopback interface; rsync:// untested\n";
  }
  for (const auto& [remote, folder] : destinations) {
    SCOPED_TRACE(remote);
    const Result<PublishStats> first = Publish(remote);
    ASSERT_TRUE(first.ok()) << first.status().message();
    EXPECT_EQ(FilesBelow(folder), RecordedFiles());
    EXPECT_EQ(first->copied, first->files);
    EXPECT_EQ(test::ReadFile(folder / "index.html"), test::ReadFile(site_ / "index.html"));
    const Result<PublishStats> second = Publish(remote);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second->copied, 0);
    EXPECT_EQ(second->unchanged, first->files);

    test::WriteFile(folder / "stray.html", "x");
    test::WriteFile(folder / ".well-known" / "x", "server's own");
    PublishOptions remove;
    remove.delete_extra = true;
    const Result<PublishStats> third = Publish(remote, remove);
    ASSERT_TRUE(third.ok());
    EXPECT_EQ(third->removed, 1);
    EXPECT_FALSE(fs::exists(folder / "stray.html"));
    EXPECT_TRUE(fs::exists(folder / ".well-known" / "x"));
  }
  for (const std::string& problem : diagnostics_.Problems()) ADD_FAILURE() << problem;
}

TEST_F(RsyncPublishTest, WithoutRsyncOnThePathTheMessageSaysSo) {
  UseSettings(kPrivateSettings);
  WritePictures();
  ASSERT_TRUE(Generate());
  const std::string old_path = ::getenv("PATH") != nullptr ? ::getenv("PATH") : "";
  ::setenv("PATH", home_.path().c_str(), 1);
  const Result<PublishStats> result = Publish("host:www");
  ::setenv("PATH", old_path.c_str(), 1);
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.status().message().find("rsync was not found on the PATH"), std::string::npos);
}

}  // namespace
}  // namespace pix
