#include "site/inlinepool.h"

#include "files/filelist.h"
#include "site/pictureentry.h"

namespace pix {

TInlineImagePool::TInlineImagePool(const TWebSite& site, std::vector<const TFileItem*> pictures,
                                   int jobs)
    : Site(site) {
  Jobs.resize(pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    Jobs[i].Picture = pictures[i];
    IndexOf.emplace(pictures[i], i);
  }
  const int workers = std::max(1, std::min<int>(jobs, static_cast<int>(Jobs.size())));
  Lookahead = static_cast<std::size_t>(workers) * 4;
  for (int i = 0; i < workers && !Jobs.empty(); ++i) Workers.emplace_back([this] { Work(); });
}

TInlineImagePool::~TInlineImagePool() {
  {
    std::lock_guard<std::mutex> lock(Mutex);
    bStopping = true;
  }
  Room.notify_all();
  for (std::thread& worker : Workers) worker.join();
}

void TInlineImagePool::Work() {
  for (;;) {
    std::size_t index;
    {
      std::unique_lock<std::mutex> lock(Mutex);
      for (;;) {
        while (NextJob < Jobs.size() && Jobs[NextJob].bClaimed) ++NextJob;
        if (bStopping || NextJob >= Jobs.size()) return;
        if (NextJob < TakenCount + Lookahead) break;
        Room.wait(lock);
      }
      index = NextJob++;
      Jobs[index].bClaimed = true;
    }
    // Each job is touched by exactly one worker until it is marked done.
    TPictureFacts facts = LearnPicture(Site, *Jobs[index].Picture);
    {
      std::lock_guard<std::mutex> lock(Mutex);
      Jobs[index].Facts = std::move(facts);
      Jobs[index].bDone = true;
    }
    Done.notify_all();
  }
}

std::optional<TPictureFacts> TInlineImagePool::Take(const TFileItem& picture) {
  const auto found = IndexOf.find(&picture);
  if (found == IndexOf.end()) return std::nullopt;
  Job& job = Jobs[found->second];
  std::unique_lock<std::mutex> lock(Mutex);
  if (job.bTaken) return std::nullopt;
  job.bTaken = true;
  ++TakenCount;
  Room.notify_all();
  if (!job.bClaimed) {
    // No worker has come to it yet: do it here rather than wait.
    job.bClaimed = true;
    lock.unlock();
    return LearnPicture(Site, *job.Picture);
  }
  Done.wait(lock, [&] { return job.bDone; });
  return std::move(job.Facts);
}

}  // namespace pix
