#include "files/statmany.h"

#include <fcntl.h>
#include <liburing.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>

namespace pix {
namespace {

// How many statuses one submission asks for.
constexpr unsigned kBatchSize = 256;

// One ring for each thread that reads statuses, made at its first batch and kept.
class StatusRing {
 public:
  StatusRing() {
    if (io_uring_queue_init(kBatchSize, &ring_, 0) != 0) return;
    made_ = usable_ = true;
    // Kernels before 5.6 have rings but no status reads in them.
    io_uring_probe* probe = io_uring_get_probe_ring(&ring_);
    if (probe == nullptr || !io_uring_opcode_supported(probe, IORING_OP_STATX)) Fail();
    if (probe != nullptr) io_uring_free_probe(probe);
  }
  ~StatusRing() {
    if (made_) io_uring_queue_exit(&ring_);
  }
  StatusRing(const StatusRing&) = delete;
  StatusRing& operator=(const StatusRing&) = delete;

  bool usable() const { return usable_; }

  // Reads the statuses of `names` from `first` on, at most one batch; false when the ring
  // failed, and then the caller reads them one by one.
  bool ReadBatch(int dir_fd, const std::vector<std::string>& names, std::size_t first,
                 std::vector<PathStatus>& results) {
    const unsigned count =
        static_cast<unsigned>(std::min<std::size_t>(kBatchSize, names.size() - first));
    replies_.resize(count);
    for (unsigned i = 0; i < count; ++i) {
      io_uring_sqe* entry = io_uring_get_sqe(&ring_);
      if (entry == nullptr) return Fail();
      io_uring_prep_statx(entry, dir_fd, names[first + i].c_str(), AT_SYMLINK_NOFOLLOW,
                          STATX_BASIC_STATS, &replies_[i]);
      io_uring_sqe_set_data64(entry, i);
    }
    if (io_uring_submit_and_wait(&ring_, count) != static_cast<int>(count)) return Fail();
    unsigned done = 0;
    while (done < count) {
      io_uring_cqe* completion = nullptr;
      unsigned head = 0;
      unsigned seen = 0;
      io_uring_for_each_cqe(&ring_, head, completion) {
        const std::uint64_t i = io_uring_cqe_get_data64(completion);
        PathStatus& result = results[first + i];
        if (completion->res < 0) {
          result.error = -completion->res;
        } else {
          result.error = 0;
          ToStat(replies_[i], result.info);
        }
        ++seen;
      }
      io_uring_cq_advance(&ring_, seen);
      done += seen;
      if (done < count) {
        const int waited = io_uring_wait_cqe_nr(&ring_, &completion, 1);
        if (waited < 0 && waited != -EINTR) return Fail();
      }
    }
    return true;
  }

 private:
  bool Fail() {
    // A ring in an unknown state is given up for the rest of the thread's life; entries
    // still in flight write only into replies_, which lives as long as the ring.
    usable_ = false;
    return false;
  }

  static void ToStat(const struct statx& from, struct stat& to) {
    to = {};
    to.st_mode = from.stx_mode;
    to.st_size = static_cast<off_t>(from.stx_size);
    to.st_ino = static_cast<ino_t>(from.stx_ino);
    to.st_nlink = from.stx_nlink;
    to.st_uid = from.stx_uid;
    to.st_gid = from.stx_gid;
    to.st_dev = makedev(from.stx_dev_major, from.stx_dev_minor);
    to.st_mtim = {static_cast<time_t>(from.stx_mtime.tv_sec), static_cast<long>(from.stx_mtime.tv_nsec)};
    to.st_ctim = {static_cast<time_t>(from.stx_ctime.tv_sec), static_cast<long>(from.stx_ctime.tv_nsec)};
    to.st_atim = {static_cast<time_t>(from.stx_atime.tv_sec), static_cast<long>(from.stx_atime.tv_nsec)};
  }

  io_uring ring_{};
  bool made_ = false;    // The ring exists and is closed with the thread.
  bool usable_ = false;  // Statuses may be asked of it.
  std::vector<struct statx> replies_;
};

thread_local bool batches_allowed = true;

}  // namespace

std::vector<PathStatus> LinkStatusOfMany(int dir_fd, const std::vector<std::string>& names) {
  std::vector<PathStatus> results(names.size());
  std::size_t first = 0;
  // A batch is worth its set-up only for more than a few files.
  if (batches_allowed && names.size() > 4) {
    thread_local StatusRing ring;
    while (ring.usable() && first < names.size() && ring.ReadBatch(dir_fd, names, first, results)) {
      first += std::min<std::size_t>(kBatchSize, names.size() - first);
    }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    PathStatus& result = results[i];
    // A file that is simply not there is taken from the batch; any other failure is asked
    // again the plain way, so that a batch never passes off a file as missing.
    if (i < first && (result.error == 0 || result.error == ENOENT || result.error == ENOTDIR)) {
      continue;
    }
    result.error = ::fstatat(dir_fd, names[i].c_str(), &result.info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
  }
  return results;
}

void UseStatusBatchesForTesting(bool use) { batches_allowed = use; }

}  // namespace pix
