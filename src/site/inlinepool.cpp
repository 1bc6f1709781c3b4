#include "site/inlinepool.h"

#include <algorithm>

#include "files/filelist.h"
#include "site/pictureentry.h"

namespace pix {

TInlineImagePool::TInlineImagePool(const TWebSite& site, std::vector<const FileItem*> pictures,
                                   int jobs)
    : Site(site) {
  Jobs.resize(pictures.size());
  WorkOrder.resize(pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    Jobs[i].Picture = pictures[i];
    IndexOf.emplace(pictures[i], i);
    WorkOrder[i] = i;
  }
  // The file's size stands for the work: decoding time follows the compressed data. Ties
  // keep the page order.
  std::stable_sort(WorkOrder.begin(), WorkOrder.end(), [this](std::size_t a, std::size_t b) {
    return Jobs[a].Picture->lSize() > Jobs[b].Picture->lSize();
  });
  Back = WorkOrder.size();
  const int workers = std::max(1, std::min<int>(jobs - 1, static_cast<int>(Jobs.size())));
  for (int i = 0; i < workers && !Jobs.empty(); ++i) Workers.emplace_back([this] { Work(); });
}

TInlineImagePool::~TInlineImagePool() {
  {
    std::lock_guard<std::mutex> lock(Mutex);
    bStopping = true;
  }
  for (std::thread& worker : Workers) worker.join();
}

std::optional<std::size_t> TInlineImagePool::ClaimCostliest() {
  while (Front < Back && Jobs[WorkOrder[Front]].bClaimed) ++Front;
  if (Front >= Back) return std::nullopt;
  const std::size_t index = WorkOrder[Front++];
  Jobs[index].bClaimed = true;
  return index;
}

std::optional<std::size_t> TInlineImagePool::ClaimCheapest() {
  while (Back > Front && Jobs[WorkOrder[Back - 1]].bClaimed) --Back;
  if (Back <= Front) return std::nullopt;
  const std::size_t index = WorkOrder[--Back];
  Jobs[index].bClaimed = true;
  return index;
}

void TInlineImagePool::DoJob(std::size_t index) {
  // Each job is touched by exactly one thread until it is marked done.
  auto facts = std::make_unique<TPictureFacts>(LearnPicture(Site, *Jobs[index].Picture));
  {
    std::lock_guard<std::mutex> lock(Mutex);
    Jobs[index].Facts = std::move(facts);
    Jobs[index].bDone = true;
  }
  Done.notify_all();
}

void TInlineImagePool::Work() {
  for (;;) {
    std::optional<std::size_t> index;
    {
      std::lock_guard<std::mutex> lock(Mutex);
      if (bStopping) return;
      index = ClaimCostliest();
    }
    if (!index) return;
    DoJob(*index);
  }
}

std::optional<TPictureFacts> TInlineImagePool::Take(const FileItem& picture) {
  const auto found = IndexOf.find(&picture);
  if (found == IndexOf.end()) return std::nullopt;
  Job& job = Jobs[found->second];
  std::unique_lock<std::mutex> lock(Mutex);
  if (job.bTaken) return std::nullopt;
  job.bTaken = true;
  for (;;) {
    if (job.bDone) {
      std::optional<TPictureFacts> facts = std::move(*job.Facts);
      job.Facts.reset();
      return facts;
    }
    if (!job.bClaimed) {
      // No worker has come to it yet: do it here rather than wait.
      job.bClaimed = true;
      lock.unlock();
      return LearnPicture(Site, *job.Picture);
    }
    // A worker is at it: meanwhile the cheapest picture nobody has started is done here.
    if (const std::optional<std::size_t> other = ClaimCheapest()) {
      lock.unlock();
      DoJob(*other);
      lock.lock();
      continue;
    }
    Done.wait(lock, [&] { return job.bDone; });
  }
}

}  // namespace pix
