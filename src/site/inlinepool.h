// Makes inline images ahead of the page writer, on a pool of worker threads.
//
// Before the pages of a run are written, the run lists its pictures in the order the page
// writer will reach them (each directory's sub-directories first, then its own pictures).
// The workers take the pictures in that order: each reads its picture's header once,
// computes the display size, and makes the inline image when it is missing or stale. When
// the page writer reaches a picture it takes the worker's result, waiting for it if need
// be; so the pages, their order, the progress and the messages are exactly those of a run
// without workers, which is also what a run with one job is.
//
// The workers stay at most a few pictures ahead of the page writer, so that a run that is
// cancelled stops soon after the picture it was at, and what is kept (each picture's header,
// size and comment) stays small. A picture the page writer asks for before any worker has
// started it is done by the page writer itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/status.h"

namespace pix {

class TFileItem;
class TWebSite;

/// What the workers learned of one picture.
struct TPictureFacts {
  bool bMissing = false;   ///< The picture was not there to be read.
  bool bReadable = false;  ///< The header gave a usable size.
  int Width = 0;
  int Height = 0;
  std::string szComments;  ///< The JPEG comment; empty for GIF pictures.
  /// How the inline image was settled: made now, found current, or not made (with why).
  enum class Inline { kCurrent, kMade, kFailed, kNotTried } InlineOutcome = Inline::kNotTried;
  Status InlineStatus;
};

class TInlineImagePool {
 public:
  /// Starts `jobs` workers over `pictures` (in the order the page writer will ask for
  /// them). `site` must outlive the pool and not change its settings meanwhile.
  TInlineImagePool(const TWebSite& site, std::vector<const TFileItem*> pictures, int jobs);
  /// Stops the workers (after their current picture) and waits for them.
  ~TInlineImagePool();
  TInlineImagePool(const TInlineImagePool&) = delete;
  TInlineImagePool& operator=(const TInlineImagePool&) = delete;

  /// The facts of `picture`, once its worker is done with it; nothing for a picture the
  /// pool was not given. Each picture's facts can be taken once.
  std::optional<TPictureFacts> Take(const TFileItem& picture);

 private:
  struct Job {
    const TFileItem* Picture = nullptr;
    bool bClaimed = false;  // A worker or the page writer is doing it.
    bool bDone = false;
    bool bTaken = false;
    TPictureFacts Facts;
  };

  void Work();

  const TWebSite& Site;  // Not owned; outlives the pool.
  std::vector<Job> Jobs;
  std::unordered_map<const TFileItem*, std::size_t> IndexOf;
  std::mutex Mutex;
  std::condition_variable Done;
  std::size_t NextJob = 0;     // Guarded by Mutex: the first job no worker has looked at.
  std::size_t TakenCount = 0;  // Guarded by Mutex.
  std::size_t Lookahead = 0;   // How many jobs past the taken ones the workers may start.
  std::condition_variable Room;  // Signalled when a job is taken or the pool stops.
  bool bStopping = false;      // Guarded by Mutex.
  std::vector<std::thread> Workers;
};

}  // namespace pix
