#include "app/ui/application.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <iostream>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/desktop.h"
#include "app/ui/frame.h"
#include "app/ui/pagepreviewpane.h"
#include "base/check.h"
#include "base/diagnostics.h"
#include "base/ui/icons.h"
#include "base/ui/qtuserinterface.h"
#include "files/layouthome.h"

namespace pix::ui {

namespace {

// Sends a standard stream to `file`, emptying it. When the file cannot be made (a layout
// home on a read-only disk) the stream stays where it was: diagnostics are not worth
// refusing to start for.
void RedirectStream(std::FILE* stream, const std::filesystem::path& file) {
  std::fflush(stream);
  if (std::freopen(file.c_str(), "w", stream) == nullptr) {
    // freopen closed the stream on failure; what is written to it later goes nowhere
    // rather than into a closed stream. Should even that fail, there is nowhere left.
    if (std::freopen("/dev/null", "w", stream) == nullptr) return;
  }
}

}  // namespace

int RunDesktopApplication(int argc, char** argv) {
  PrepareWebEngine();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pixamond"));
  // Lets the desktop match the window with the installed desktop entry and its icon.
  QApplication::setDesktopFileName(QStringLiteral(PIXAMOND_APP_ID));
  SetIconDirectory(FindShippedDataDir() / "icons");
  QApplication::setWindowIcon(ResourceIcon(1001));
  QtUserInterface ui;

  // QApplication took its own options (-platform, -style...) out of argv; what is left is
  // the desktop's form, [--home DIR] [SITE_DIR].
  const Result<DesktopOptions> options =
      ParseDesktopArguments(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  if (!options.ok()) {
    ui.ShowMessage("pixamond: " + options.status().message(), "Error", MessageButtons::kOk,
                   MessageIcon::kStop);
    return 2;
  }
  std::optional<std::filesystem::path> home_option;
  if (options->home) home_option = *options->home;
  const Result<std::filesystem::path> home = OpenLayoutHome(home_option);
  if (!home.ok()) {
    ui.ShowMessage(home.status().message(), "Error", MessageButtons::kOk, MessageIcon::kStop);
    return 1;
  }
  // Probe first, so that a layout home we cannot write to keeps the streams as they are.
  const std::filesystem::path out = *home / "stdout.txt";
  const std::filesystem::path err = *home / "stderr.txt";
  if (std::FILE* probe = std::fopen(out.c_str(), "w")) {
    std::fclose(probe);
    RedirectStream(stdout, out);
  }
  if (std::FILE* probe = std::fopen(err.c_str(), "w")) {
    std::fclose(probe);
    RedirectStream(stderr, err);
  }
  SetAssertionInterface(&ui);
  // The picture libraries' detail lines are kept in stderr.txt, for a report of a problem.
  StreamDiagnostics details(std::cerr, true);
  SetDetailSink(&details);

  int result = 0;
  {
    MainWindow frame(ui, *home);
    ui.SetOwner(&frame);
    frame.show();
    // The site directory of the command line goes through the same checks as Select
    // Directory; a refused one leaves the window on the remembered site.
    if (options->site_directory) frame.OpenSiteDirectory(*options->site_directory);
    result = app.exec();
  }
  SetAssertionInterface(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  SetDetailSink(nullptr);
  return result;
}

}  // namespace pix::ui
