// The live page preview: the page that shows the selected item, as a browser shows it,
// made in memory from the layout as the window holds it (site/pagepreview.h) and drawn by
// Qt WebEngine. An edit asks for a new page (Schedule); the page is made once the typing
// pauses, so that a burst of keys makes one page. What the page is made from is gathered on
// the window's thread; the page is made on a thread of its own, so that a large site never
// stops the window, and an edit made meanwhile asks for the next page once it is done.
//
// The engine starts only when the pane is first shown: a window whose user never looks at
// a page starts no browser processes.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "site/pagepreview.h"

class QLabel;
class QTemporaryDir;
class QThread;
class QWebEngineView;

namespace pix::ui {

/// Prepares the process for Qt WebEngine before the QApplication is made: contexts shared
/// with the engine, and, for a program run as root (where Chromium's sandbox cannot start),
/// the engine's sandbox and GPU use turned off unless QTWEBENGINE_CHROMIUM_FLAGS says
/// otherwise.
void PrepareWebEngine();

/// What one page of the preview is made from: the first of `pages` that a run makes of the
/// site with the texts in memory of `preview`.
struct PageRequest {
  std::string site_directory;
  std::string layout_home;
  std::vector<std::string> pages;
  PagePreview preview;
};

class PagePreviewPane : public QWidget {
  Q_OBJECT

 public:
  /// How long the typing must pause before the page is made again.
  static constexpr int kQuietMs = 250;
  /// The largest page handed to the engine as it is (setHtml, whose data: URL holds 2 MB
  /// once percent-encoded, up to three bytes for one); a larger one goes through a file.
  static constexpr std::size_t kLargestInlinePage = 256 * 1024;

  explicit PagePreviewPane(QWidget* parent);
  ~PagePreviewPane() override;

  /// Gathers what the page is made from, on the window's thread: the window's layout and
  /// selection decide which page and with what. Set by the owner.
  std::function<Result<PageRequest>()> prepare_page;

  /// Asks for the page again after the typing pauses (kQuietMs). Nothing is made while the
  /// pane is hidden; it catches up when shown.
  void Schedule();
  /// Starts making the page now (when the pane is shown); it shows once made.
  void Refresh();

  /// The engine's view; null until the pane was first shown.
  QWebEngineView* View() const { return view_; }
  /// The page file shown, as a run would write it; empty when none.
  const QString& PagePath() const { return page_path_; }
  /// Milliseconds the last page took to make in memory, and from the last request (the
  /// last edit) to the end of its loading into the engine; -1 until known.
  qint64 LastMakeMs() const { return make_ms_; }
  qint64 LastShowMs() const { return show_ms_; }
  /// True while a page was asked for and is not shown yet.
  bool IsBusy() const {
    return quiet_.isActive() || since_request_.isValid() || maker_ != nullptr;
  }

 signals:
  /// A page made after an edit has been loaded into the engine.
  void PageShown();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void EnsureView();
  // Shows what the maker made of `request`: the page, or why there is none.
  void ShowMade(const Status& made, const PageRequest& request);

  QTimer quiet_;
  QElapsedTimer since_request_;
  QWebEngineView* view_ = nullptr;
  QLabel* message_ = nullptr;  // What stands in for a page that cannot be made.
  QThread* maker_ = nullptr;   // Makes the page asked for last; null when none works.
  std::unique_ptr<QTemporaryDir> scratch_;  // Holds a page too large for setHtml.
  QString page_path_;
  bool stale_ = true;
  qint64 make_ms_ = -1;
  qint64 show_ms_ = -1;
};

}  // namespace pix::ui
