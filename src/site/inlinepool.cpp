#include "site/inlinepool.h"

#include "files/filelist.h"

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
  for (int i = 0; i < workers && !Jobs.empty(); ++i) Workers.emplace_back([this] { Work(); });
}

TInlineImagePool::~TInlineImagePool() {
  {
    std::lock_guard<std::mutex> lock(Mutex);
    bStopping = true;
  }
  for (std::thread& worker : Workers) worker.join();
}

void TInlineImagePool::Work() {
  for (;;) {
    std::size_t index;
    {
      std::lock_guard<std::mutex> lock(Mutex);
      if (bStopping || NextJob >= Jobs.size()) return;
      index = NextJob++;
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
  Done.wait(lock, [&] { return job.bDone; });
  job.bTaken = true;
  return std::move(job.Facts);
}

}  // namespace pix
