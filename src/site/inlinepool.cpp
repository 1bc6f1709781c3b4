#include "site/inlinepool.h"

#include <algorithm>

#include "files/filelist.h"
#include "site/pictureentry.h"

namespace pix {

InlineImagePool::InlineImagePool(const WebSite& site, std::vector<const FileItem*> pictures,
                                   int jobs)
    : site_(site) {
  jobs_.resize(pictures.size());
  work_order_.resize(pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    jobs_[i].picture = pictures[i];
    index_of_.emplace(pictures[i], i);
    work_order_[i] = i;
  }
  // The file's size stands for the work: decoding time follows the compressed data. Ties
  // keep the page order.
  std::stable_sort(work_order_.begin(), work_order_.end(), [this](std::size_t a, std::size_t b) {
    return jobs_[a].picture->Size() > jobs_[b].picture->Size();
  });
  back_ = work_order_.size();
  const int workers = std::max(1, std::min<int>(jobs - 1, static_cast<int>(jobs_.size())));
  for (int i = 0; i < workers && !jobs_.empty(); ++i) workers_.emplace_back([this] { Work(); });
}

InlineImagePool::~InlineImagePool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  for (std::thread& worker : workers_) worker.join();
}

std::optional<std::size_t> InlineImagePool::ClaimCostliest() {
  while (front_ < back_ && jobs_[work_order_[front_]].claimed) ++front_;
  if (front_ >= back_) return std::nullopt;
  const std::size_t index = work_order_[front_++];
  jobs_[index].claimed = true;
  return index;
}

std::optional<std::size_t> InlineImagePool::ClaimCheapest() {
  while (back_ > front_ && jobs_[work_order_[back_ - 1]].claimed) --back_;
  if (back_ <= front_) return std::nullopt;
  const std::size_t index = work_order_[--back_];
  jobs_[index].claimed = true;
  return index;
}

void InlineImagePool::DoJob(std::size_t index) {
  // Each job is touched by exactly one thread until it is marked done.
  auto facts = std::make_unique<PictureFacts>(LearnPicture(site_, *jobs_[index].picture));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_[index].facts = std::move(facts);
    jobs_[index].done = true;
  }
  done_.notify_all();
}

void InlineImagePool::Work() {
  for (;;) {
    std::optional<std::size_t> index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      index = ClaimCostliest();
    }
    if (!index) return;
    DoJob(*index);
  }
}

std::optional<PictureFacts> InlineImagePool::Take(const FileItem& picture) {
  const auto found = index_of_.find(&picture);
  if (found == index_of_.end()) return std::nullopt;
  Job& job = jobs_[found->second];
  std::unique_lock<std::mutex> lock(mutex_);
  if (job.taken) return std::nullopt;
  job.taken = true;
  for (;;) {
    if (job.done) {
      std::optional<PictureFacts> facts = std::move(*job.facts);
      job.facts.reset();
      return facts;
    }
    if (!job.claimed) {
      // No worker has come to it yet: do it here rather than wait.
      job.claimed = true;
      lock.unlock();
      return LearnPicture(site_, *job.picture);
    }
    // A worker is at it: meanwhile the cheapest picture nobody has started is done here.
    if (const std::optional<std::size_t> other = ClaimCheapest()) {
      lock.unlock();
      DoJob(*other);
      lock.lock();
      continue;
    }
    done_.wait(lock, [&] { return job.done; });
  }
}

}  // namespace pix
