// How long a full scan of a large site takes and how much memory its tree holds, beside
// `find` walking the same tree in the same run.
//
// The tree: 1 000 directories (10 top-level folders of 99 sub-folders each, plus the
// top-level folders themselves) holding 100 files each, 100 000 files in all, with sizes
// of a few kilobytes (sparse, so the tree is quick to make). It is made in a temporary
// folder and removed at the end, or kept in $PIXAMOND_SCAN_BENCH_DIR (made once and
// reused by later runs).
//
//   scan_bench                      every benchmark
//   scan_bench --benchmark_filter=Scan
//
// Counters: items (entries listed), tree_heap_MiB (heap held by one tree, measured with
// mallinfo2), peak_rss_MiB (the process's peak resident size after the scans) and
// rss_before_MiB (its peak before the first scan, once the tree was made). All times are
// wall-clock times: `find` runs in a child process, whose time the process clock misses.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "files/filelist.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTopFolders = 10;
constexpr int kSubFoldersEach = 99;
constexpr int kFilesPerFolder = 100;

double PeakRssMiB() {
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB.
}

void MakeFiles(const fs::path& folder, int folder_number) {
  fs::create_directories(folder);
  for (int i = 0; i < kFilesPerFolder; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d%s", i + 1, i % 10 == 9 ? ".gif" : ".JPG");
    const int fd = ::open((folder / name).c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0 || ::ftruncate(fd, 1000 + (folder_number * 37 + i * 101) % 9000) != 0) {
      std::cerr << "scan_bench: cannot make " << (folder / name) << "\n";
      std::exit(1);
    }
    ::close(fd);
  }
}

// The benchmark tree, made on first use.
class BenchTree {
 public:
  static const BenchTree& Get() {
    static BenchTree tree;
    return tree;
  }
  const std::string& Root() const { return root_; }
  /// The peak resident size of the process once the tree was made, before any scan.
  double PeakRssBeforeScans() const { return peak_rss_before_scans_; }

  ~BenchTree() {
    if (!keep_) {
      std::error_code error;
      fs::remove_all(root_, error);
    }
  }

 private:
  BenchTree() {
    if (const char* dir = std::getenv("PIXAMOND_SCAN_BENCH_DIR"); dir != nullptr && *dir) {
      root_ = dir;
      keep_ = true;
      if (fs::exists(fs::path(root_) / ".complete")) {
        peak_rss_before_scans_ = PeakRssMiB();
        return;
      }
    } else {
      std::string pattern = (fs::temp_directory_path() / "pixamond-scan-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) {
        std::cerr << "scan_bench: cannot make a temporary folder\n";
        std::exit(1);
      }
      root_ = pattern;
    }
    std::cerr << "scan_bench: making 100000 files in 1000 folders under " << root_ << "\n";
    int folder_number = 0;
    for (int top = 0; top < kTopFolders; ++top) {
      const fs::path top_folder = fs::path(root_) / ("Roll " + std::to_string(top + 1));
      MakeFiles(top_folder, folder_number++);
      for (int sub = 0; sub < kSubFoldersEach; ++sub) {
        MakeFiles(top_folder / ("day_" + std::to_string(sub + 1)), folder_number++);
      }
    }
    // Hidden, so the scan does not list it.
    std::FILE* marker = std::fopen((fs::path(root_) / ".complete").c_str(), "w");
    if (marker != nullptr) std::fclose(marker);
    peak_rss_before_scans_ = PeakRssMiB();
  }

  std::string root_;
  double peak_rss_before_scans_ = 0;
  bool keep_ = false;
};

void BM_ScanTree(benchmark::State& state) {
  const BenchTree& bench_tree = BenchTree::Get();
  const std::string& root = bench_tree.Root();
  for (auto _ : state) {
    auto tree = pix::FileItem::CreateRoot(root, true);
    if (!tree.ok()) {
      state.SkipWithError(tree.status().message().c_str());
      return;
    }
    benchmark::DoNotOptimize((*tree)->Size());
  }
  // One more scan, outside the timing, for what a tree holds.
  const std::size_t heap_before = ::mallinfo2().uordblks;
  auto tree = pix::FileItem::CreateRoot(root, true);
  const std::size_t heap_after = ::mallinfo2().uordblks;
  std::size_t items = 0;
  for (const pix::FileItem* item = (*tree)->FirstChild(); item; item = pix::NextInTree(*item)) {
    ++items;
  }
  state.counters["items"] = static_cast<double>(items);
  state.counters["tree_heap_MiB"] = static_cast<double>(heap_after - heap_before) / (1024.0 * 1024.0);
  state.counters["peak_rss_MiB"] = PeakRssMiB();
  state.counters["rss_before_MiB"] = bench_tree.PeakRssBeforeScans();
}
BENCHMARK(BM_ScanTree)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The walk alone, over a tree made once.
void BM_WalkTree(benchmark::State& state) {
  auto tree = pix::FileItem::CreateRoot(BenchTree::Get().Root(), true);
  if (!tree.ok()) {
    state.SkipWithError(tree.status().message().c_str());
    return;
  }
  for (auto _ : state) {
    std::size_t items = 0;
    for (const pix::FileItem* item = (*tree)->FirstChild(); item; item = pix::NextInTree(*item)) {
      ++items;
    }
    benchmark::DoNotOptimize(items);
  }
}
BENCHMARK(BM_WalkTree)->Unit(benchmark::kMillisecond)->UseRealTime();

// `find` on the same tree: listing names only, and with each entry's size (a status call
// per entry, as the scan makes).
void RunFind(benchmark::State& state, const char* printf) {
  const std::string command =
      "find '" + BenchTree::Get().Root() + "' -printf '" + printf + "' > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("find failed");
      return;
    }
  }
}
void BM_FindNames(benchmark::State& state) { RunFind(state, "%p\\n"); }
void BM_FindNamesAndSizes(benchmark::State& state) { RunFind(state, "%p %s\\n"); }
BENCHMARK(BM_FindNames)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_FindNamesAndSizes)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
