#include "site/inlinepool.h"

#include <algorithm>

#include "base/check.h"
#include "files/filelist.h"
#include "files/picturenames.h"
#include "picture/decjpeg.h"
#include "site/pictureentry.h"

namespace pix {

InlineImagePool::InlineImagePool(const WebSite& site, int jobs) : site_(site) {
  const int workers = std::max(1, jobs - 1);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

InlineImagePool::~InlineImagePool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void InlineImagePool::Add(const std::vector<const FileItem*>& pictures,
                          std::vector<PictureFiles> files) {
  PIX_CHECK(files.size() == pictures.size());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
      const FileItem* picture = pictures[i];
      const auto [job, added] = jobs_.try_emplace(picture);
      if (!added) continue;
      job->second.files = std::move(files[i]);
      // The file's size stands for the work: decoding time follows the compressed data.
      job->second.size = picture->Size();
      job->second.order = given_++;
      waiting_.insert({job->second.size, job->second.order, picture});
    }
  }
  work_.notify_all();
}

InlineImagePool::Claimed InlineImagePool::Claim(const FileItem* picture) {
  Job& job = jobs_.at(picture);
  job.claimed = true;
  return {picture, std::move(job.files)};
}

InlineImagePool::Claimed InlineImagePool::ClaimCostliest() {
  if (waiting_.empty()) return {};
  const FileItem* picture = waiting_.begin()->picture;
  waiting_.erase(waiting_.begin());
  return Claim(picture);
}

InlineImagePool::Claimed InlineImagePool::ClaimCheapest() {
  if (waiting_.empty()) return {};
  const auto last = std::prev(waiting_.end());
  const FileItem* picture = last->picture;
  waiting_.erase(last);
  return Claim(picture);
}

void InlineImagePool::DoJob(Claimed claimed) {
  // A claimed job is touched by this thread alone until it is marked done, and it is not
  // forgotten before then (Take and Release wait for it).
  const FileItem* picture = claimed.picture;
  auto facts =
      std::make_unique<PictureFacts>(LearnPicture(site_, *picture, std::move(claimed.files)));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Job& job = jobs_.at(picture);
    job.facts = std::move(facts);
    job.done = true;
  }
  done_.notify_all();
}

bool InlineImagePool::DoCheapestWaiting(std::uint64_t room) {
  // A small file may still be a large progressive picture, whose decoder would wait too:
  // the headers of the few cheapest are looked at first, outside the lock. Their items may
  // be gone by then (the page writer left their folder), so what is needed of them is
  // copied under the lock, and a job is claimed only if it is still the one looked at.
  constexpr std::size_t kLookedAt = 4;
  struct Candidate {
    Waiting waiting;
    std::string path;
    bool jpeg;
  };
  std::vector<Candidate> cheapest;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    for (auto it = waiting_.rbegin(); it != waiting_.rend() && cheapest.size() < kLookedAt; ++it) {
      cheapest.push_back({*it, it->picture->FullFileName(), IsJpegPicture(*it->picture)});
    }
  }
  for (const Candidate& candidate : cheapest) {
    if (candidate.jpeg && WholePictureMemoryOf(candidate.path) > room) continue;
    Claimed claimed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // Someone may have started it, or its folder been left, meanwhile.
      if (stopping_ || waiting_.erase(candidate.waiting) == 0) continue;
      claimed = Claim(candidate.waiting.picture);
    }
    DoJob(std::move(claimed));
    return true;
  }
  return false;
}

void InlineImagePool::Work() {
  // A large progressive picture waits for the memory another one holds: meanwhile this
  // worker does small pictures rather than idle.
  const DecodeWaitWork meanwhile([this](std::uint64_t room) { return DoCheapestWaiting(room); });
  for (;;) {
    Claimed claimed;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (stopping_) return;
      claimed = ClaimCostliest();
    }
    DoJob(std::move(claimed));
  }
}

std::unique_ptr<PictureFacts> InlineImagePool::Take(const FileItem& picture) {
  const DecodeWaitWork meanwhile([this](std::uint64_t room) { return DoCheapestWaiting(room); });
  std::unique_lock<std::mutex> lock(mutex_);
  const auto found = jobs_.find(&picture);
  if (found == jobs_.end()) return nullptr;
  Job& job = found->second;
  for (;;) {
    if (job.done) {
      std::unique_ptr<PictureFacts> facts = std::move(job.facts);
      jobs_.erase(found);
      return facts;
    }
    if (!job.claimed) {
      // No worker has come to it yet: do it here rather than wait.
      waiting_.erase({job.size, job.order, &picture});
      PictureFiles files = std::move(job.files);
      jobs_.erase(found);
      lock.unlock();
      return std::make_unique<PictureFacts>(LearnPicture(site_, picture, std::move(files)));
    }
    // A worker is at it: meanwhile the cheapest picture nobody has started is done here.
    if (Claimed other = ClaimCheapest(); other.picture != nullptr) {
      lock.unlock();
      DoJob(std::move(other));
      lock.lock();
      continue;
    }
    done_.wait(lock, [&] { return job.done; });
  }
}

void InlineImagePool::Release(const FileItem& directory) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (const FileItem* item = directory.FirstChild(); item != nullptr; item = item->NextItem()) {
    const auto found = jobs_.find(item);
    if (found == jobs_.end()) continue;
    Job& job = found->second;
    if (!job.claimed) waiting_.erase({job.size, job.order, item});
    if (job.claimed) done_.wait(lock, [&] { return job.done; });
    jobs_.erase(found);
  }
}

}  // namespace pix
