// Makes inline images ahead of the page writer, on a pool of worker threads.
//
// The page writer walks the site folder by folder and hands the pool each folder's
// pictures as it lists the folder (Add). The workers take them costliest first (the
// largest files, as the listing found them), so that no large picture is left to finish
// alone while the other cores idle. Each reads its picture's header once, computes the
// display size, and makes the inline image when it is missing or stale. The page writer
// keeps its order: when it reaches a picture it takes the worker's result; a picture no
// worker has started it does itself, and while it waits for one a worker is doing, it does
// the cheapest pictures nobody has started yet. So a run of N jobs keeps N threads busy
// (N - 1 workers and the page writer), and the pages, their order, the progress and the
// messages are exactly those of a run without workers, which is also what a run with one
// job is.
//
// The pool holds only the pictures of the folders the page writer has listed and not yet
// left (Release): what is kept for a picture done ahead of the page writer is small (its
// size, comment and metadata), and it is never more than those folders' pictures, however
// large the site. A run that is cancelled stops once the pictures being worked on are done.
#pragma once

#include <condition_variable>
#include <memory>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/status.h"
#include "files/picturenames.h"
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
  /// The picture's own files and links (PictureFilesOf), named once for all who need them.
  PictureFiles files;
};

class InlineImagePool {
 public:
  /// Starts `jobs` - 1 workers (at least one), which wait for pictures. `site` must outlive
  /// the pool and not change its settings meanwhile.
  InlineImagePool(const WebSite& site, int jobs);
  /// Stops the workers (after their current picture) and waits for them.
  ~InlineImagePool();
  InlineImagePool(const InlineImagePool&) = delete;
  InlineImagePool& operator=(const InlineImagePool&) = delete;

  /// Hands the workers `pictures`, which must stay as they are until released, with the
  /// names of their files (`files[i]` of `pictures[i]`). A picture already given is not
  /// given twice.
  void Add(const std::vector<const FileItem*>& pictures, std::vector<PictureFiles> files);
  /// The facts of `picture`, once its worker is done with it; nothing for a picture the
  /// pool was not given. Each picture's facts can be taken once.
  std::unique_ptr<PictureFacts> Take(const FileItem& picture);
  /// Forgets the pictures listed in `directory` that were not taken, after waiting for a
  /// worker that is doing one: called before the directory's items are destroyed.
  void Release(const FileItem& directory);

 private:
  struct Job {
    bool claimed = false;  // A worker or the page writer is doing it.
    bool done = false;
    std::uint64_t size = 0;   // The picture's size when it was given.
    std::uint64_t order = 0;  // Its place among the jobs given, for ties of size.
    // Only while done and not yet taken.
    std::unique_ptr<PictureFacts> facts;
    // Until the job is claimed.
    PictureFiles files;
  };
  // The jobs nobody has started, costliest first: by size, then in the order given.
  struct Waiting {
    std::uint64_t size;
    std::uint64_t order;
    const FileItem* picture;
    bool operator<(const Waiting& other) const {
      return size != other.size ? size > other.size : order < other.order;
    }
  };

  void Work();
  // The work of a thread whose decoder waits for memory (DecodeWaitWork): does one of the
  // few cheapest pictures nobody has started whose decoder would not wait in turn, needing
  // at most `room` bytes of whole-picture buffers; false when there is none.
  bool DoCheapestWaiting(std::uint64_t room);
  // A job claimed: its picture and the names of the picture's files.
  struct Claimed {
    const FileItem* picture = nullptr;
    PictureFiles files;
  };
  // Claims the costliest or the cheapest job nobody has started; none when there is none.
  // Mutex must be held.
  Claimed ClaimCostliest();
  Claimed ClaimCheapest();
  Claimed Claim(const FileItem* picture);
  // Does the job claimed by the caller and records its facts. Mutex must not be held.
  void DoJob(Claimed job);

  const WebSite& site_;  // Not owned; outlives the pool.
  std::mutex mutex_;
  std::condition_variable work_;  // A job was added, or the pool stops.
  std::condition_variable done_;  // A job is done.
  std::unordered_map<const FileItem*, Job> jobs_;  // Guarded by Mutex.
  std::set<Waiting> waiting_;                      // Guarded by Mutex.
  std::uint64_t given_ = 0;                        // Guarded by Mutex.
  bool stopping_ = false;                          // Guarded by Mutex.
  std::vector<std::thread> workers_;
};

}  // namespace pix
