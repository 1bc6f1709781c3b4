// How long the layout window's live preview takes to make one page in memory on a site of
// 1 000 pictures (10 folders of 80 pictures and 2 sub-folders of 10 each): the
// site's index page, a folder's index page and a picture's detail page, after a run made
// the site (the record knows every picture), and on a site never generated (every picture
// of the walk is read). The window adds to this its pause after the last key (250 ms) and
// the engine's loading of the page.
//
//   build/tools/pagepreview_bench [--benchmark_repetitions=3]
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "files/layouthome.h"
#include "site/pagepreview.h"
#include "site/website.h"
#include "support/picture_builder.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A site and its layout home, made once; `generated` runs Generate Site over it.
struct BenchSite {
  explicit BenchSite(bool generated) {
    home = dir / "home";
    site = dir / "site";
    fs::create_directories(home);
    if (!pix::PrepareLayoutHome(home, pix::FindShippedDataDir()).ok()) std::abort();
    pix::test::WriteFile(home / "pixamond.ini", "[HTMLDefaults]\nPersonFullName=Ann Example\n");
    const std::string picture = pix::test::MakeJpeg(pix::test::GradientArt(64, 48));
    for (int folder = 0; folder < 10; ++folder) {
      const fs::path top = site / ("folder" + std::to_string(folder));
      for (int i = 0; i < 80; ++i) {
        pix::test::WriteFile(top / ("photo" + std::to_string(i) + ".jpg"), picture);
      }
      for (int sub = 0; sub < 2; ++sub) {
        for (int i = 0; i < 10; ++i) {
          pix::test::WriteFile(top / ("sub" + std::to_string(sub)) / ("p" + std::to_string(i) + ".jpg"),
                               picture);
        }
      }
    }
    if (!generated) return;
    pix::CollectedDiagnostics diagnostics;
    pix::Progress progress;
    pix::test::ScriptedUserInterface ui;
    pix::WebSite run(site.string(), home.string(), ui, progress, diagnostics);
    if (!run.Prepare().ok()) std::abort();
    run.Execute();
  }
  pix::test::TempDir dir;
  fs::path home;
  fs::path site;
};

const BenchSite& Site(bool generated) {
  static const BenchSite made(true);
  static const BenchSite fresh(false);
  return generated ? made : fresh;
}

void PreviewOne(benchmark::State& state, bool generated, const std::string& page) {
  const BenchSite& site = Site(generated);
  const std::string globals = (site.home / "globals.txt").string();
  pix::PagePreview preview;
  // An edit in memory, as the window hands it over.
  preview.files[globals] = pix::LoadVarFileText(globals) + "StyleSheet:\r\n<STYLE></STYLE>\r\n\r\n";
  preview.page_path = (site.site / page).string();
  for (auto _ : state) {
    pix::CollectedDiagnostics diagnostics;
    const pix::Status made =
        pix::PreviewPage(site.site.string(), site.home.string(), preview, diagnostics);
    if (!made.ok()) state.SkipWithError(made.message().c_str());
    benchmark::DoNotOptimize(preview.html);
  }
}

void BM_SiteIndexGenerated(benchmark::State& state) { PreviewOne(state, true, "index.html"); }
void BM_FolderIndexGenerated(benchmark::State& state) {
  PreviewOne(state, true, "folder5/index.html");
}
void BM_DetailPageGenerated(benchmark::State& state) {
  PreviewOne(state, true, "folder5/photo40.html");
}
void BM_SiteIndexNeverGenerated(benchmark::State& state) {
  PreviewOne(state, false, "index.html");
}
void BM_DetailPageNeverGenerated(benchmark::State& state) {
  PreviewOne(state, false, "folder5/photo40.html");
}

BENCHMARK(BM_SiteIndexGenerated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderIndexGenerated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetailPageGenerated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SiteIndexNeverGenerated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetailPageNeverGenerated)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
