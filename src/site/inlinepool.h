// Makes inline images ahead of the page writer, on a pool of worker threads.
//
// Before the pages of a run are written, the run lists its pictures in the order the page
// writer will reach them (each directory's sub-directories first, then its own pictures).
// The workers take them costliest first (the largest files, as the scan found them), so
// that no large picture is left to finish alone at the end while the other cores idle.
// Each reads its picture's header once, computes the display size, and makes the inline
// image when it is missing or stale. The page writer keeps its order: when it reaches a
// picture it takes the worker's result; a picture no worker has started it does itself,
// and while it waits for one a worker is doing, it does the cheapest pictures nobody has
// started yet. So a run of N jobs keeps N threads busy (N - 1 workers and the page writer)
// until the end, and the pages, their order, the progress and the messages are exactly
// those of a run without workers, which is also what a run with one job is.
//
// What is kept for a picture done ahead of the page writer is small (its size, comment and
// metadata). A run that is cancelled stops once the pictures being worked on are done.
#pragma once

#include <condition_variable>
#include <memory>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/status.h"
#include "picture/metadata.h"
#include "site/siterecord.h"

namespace pix {

class FileItem;
class WebSite;

/// What the workers learned of one picture.
struct PictureFacts {
  bool missing = false;   ///< The picture was not there to be read.
  bool readable = false;  ///< The header gave a usable size.
  /// Why a picture that is not readable could not even be opened; ok when it was opened
  /// (and so is corrupt when not readable).
  Status open_status;
  int width = 0;           ///< Of the picture shown upright (sides swapped when turned).
  int height = 0;
  std::string comments;  ///< The JPEG comment; empty for GIF pictures.
  /// The start of the text file beside the picture (see kPictureTextFileLimit); empty when
  /// there is none.
  std::string text_file;
  PictureMetadata metadata;  ///< Of a JPEG picture; nothing is known of a GIF picture.
  /// How the inline image was settled: made now, found current, or not made (with why).
  enum class Inline { kCurrent, kMade, kFailed, kNotTried } inline_outcome = Inline::kNotTried;
  Status inline_status;
  /// The size of the picture's detail image, when the settings ask for one and it is there
  /// (0 otherwise), and why it could not be made.
  /// Whether the inline image at 1x (PictureFiles::inline_1x_path) is there beside the one
  /// at twice the display size.
  bool has_1x = false;
  int detail_width = 0;
  int detail_height = 0;
  Status detail_status;
  /// The digest of the picture's bytes.
  Digest content;
  /// The digest of what its images are made from (PictureDigests::image), which the
  /// recipes of its images name: a new caption does not remake them.
  Digest image;
  /// What the decoder said of damaged data in the picture; empty for a sound picture.
  std::string damage;
  /// What the site's record holds of the picture's detail page, looked up here so that the
  /// page writer need not.
  std::optional<RecordedOutput> detail_page_record;
};

class InlineImagePool {
 public:
  /// Starts `jobs` - 1 workers (at least one) over `pictures` (in the order the page writer
  /// will ask for them). `site` must outlive the pool and not change its settings meanwhile.
  InlineImagePool(const WebSite& site, std::vector<const FileItem*> pictures, int jobs);
  /// Stops the workers (after their current picture) and waits for them.
  ~InlineImagePool();
  InlineImagePool(const InlineImagePool&) = delete;
  InlineImagePool& operator=(const InlineImagePool&) = delete;

  /// The facts of `picture`, once its worker is done with it; nothing for a picture the
  /// pool was not given. Each picture's facts can be taken once.
  std::optional<PictureFacts> Take(const FileItem& picture);

 private:
  struct Job {
    const FileItem* picture = nullptr;
    bool claimed = false;  // A worker or the page writer is doing it.
    bool done = false;
    bool taken = false;
    // Only while done and not yet taken: a job waiting its turn costs a few words, so that
    // a site of any size can be listed up front.
    std::unique_ptr<PictureFacts> facts;
  };

  void Work();
  // Claims the costliest job nobody has started (from the front of WorkOrder) or the
  // cheapest (from its back); none when every job is claimed. Mutex must be held.
  std::optional<std::size_t> ClaimCostliest();
  std::optional<std::size_t> ClaimCheapest();
  // Does job `index`, claimed by the caller, and records its facts. Mutex must not be held.
  void DoJob(std::size_t index);

  const WebSite& site_;  // Not owned; outlives the pool.
  std::vector<Job> jobs_;   // In page order.
  std::unordered_map<const FileItem*, std::size_t> index_of_;
  std::vector<std::size_t> work_order_;  // Indexes into Jobs, the largest pictures first.
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t front_ = 0;        // Guarded by Mutex: WorkOrder before it is claimed.
  std::size_t back_ = 0;         // Guarded by Mutex: WorkOrder from it on is claimed.
  bool stopping_ = false;       // Guarded by Mutex.
  std::vector<std::thread> workers_;
};

}  // namespace pix
