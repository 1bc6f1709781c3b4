#include "app/ui/pagepreviewpane.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLabel>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <cstdlib>
#include <memory>

#include "base/diagnostics.h"
#include "base/ui/qttext.h"
#include "layout/livepreview.h"

namespace pix::ui {

void PrepareWebEngine() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Chromium's sandbox refuses to start as root; a root session is a container or a test
  // machine, which has no GPU to offer either.
  if (::geteuid() == 0 && std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  }
}

PagePreviewPane::PagePreviewPane(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PagePreview"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("PagePreviewMessage"));
  message_->setAlignment(Qt::AlignCenter);
  message_->setWordWrap(true);
  message_->setTextFormat(Qt::PlainText);
  layout->addWidget(message_);
  quiet_.setSingleShot(true);
  quiet_.setInterval(kQuietMs);
  connect(&quiet_, &QTimer::timeout, this, &PagePreviewPane::Refresh);
}

PagePreviewPane::~PagePreviewPane() {
  // The page being made is dropped; its thread ends first.
  if (maker_ != nullptr) {
    maker_->wait();
    delete maker_;
  }
}

void PagePreviewPane::EnsureView() {
  if (view_ != nullptr) return;
  view_ = new QWebEngineView(this);
  view_->setObjectName(QStringLiteral("PagePreviewView"));
  // The preview shows; the user reads it in the browser. It takes no keys from the tree.
  view_->setFocusPolicy(Qt::ClickFocus);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  layout()->addWidget(view_);
  connect(view_, &QWebEngineView::loadFinished, this, [this](bool) {
    if (since_request_.isValid()) {
      show_ms_ = since_request_.elapsed();
      since_request_.invalidate();
      emit PageShown();
    }
  });
}

void PagePreviewPane::Schedule() {
  stale_ = true;
  since_request_.start();
  if (isVisible()) quiet_.start();
}

void PagePreviewPane::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (stale_) {
    if (!since_request_.isValid()) since_request_.start();
    // Once the pane is on the screen; the typing's pause does not apply to a first look.
    QMetaObject::invokeMethod(this, &PagePreviewPane::Refresh, Qt::QueuedConnection);
  }
}

void PagePreviewPane::Refresh() {
  quiet_.stop();
  if (!isVisible() || !prepare_page) return;
  // One page is made at a time; the newest request follows the one being made.
  if (maker_ != nullptr) {
    stale_ = true;
    return;
  }
  stale_ = false;
  if (!since_request_.isValid()) since_request_.start();
  Result<PageRequest> request = prepare_page();
  if (!request.ok()) {
    ShowMade(request.status(), PageRequest());
    return;
  }
  struct Job {
    PageRequest request;
    Status made;
    qint64 ms = 0;
  };
  auto job = std::make_shared<Job>();
  job->request = std::move(request).value();
  maker_ = QThread::create([job] {
    QElapsedTimer making;
    making.start();
    CollectedDiagnostics diagnostics;
    job->made = PreviewFirstPage(job->request.site_directory, job->request.layout_home,
                                 job->request.pages, job->request.preview, diagnostics);
    job->ms = making.elapsed();
  });
  connect(maker_, &QThread::finished, this, [this, job] {
    maker_->deleteLater();
    maker_ = nullptr;
    make_ms_ = job->ms;
    ShowMade(job->made, job->request);
    if (stale_ && isVisible()) quiet_.start();
  });
  maker_->start();
}

void PagePreviewPane::ShowMade(const Status& made, const PageRequest& request) {
  const PagePreview& preview = request.preview;
  if (!made.ok() || !preview.html) {
    page_path_.clear();
    message_->setText(made.ok() ? QStringLiteral("No page to show.") : ToQt(made.message()));
    message_->show();
    if (view_ != nullptr) view_->hide();
    since_request_.invalidate();
    emit PageShown();
    return;
  }
  EnsureView();
  message_->hide();
  view_->show();
  page_path_ = PathToQt(preview.page_path);
  // The page's would-be place in the site: its links, images and stylesheet resolve there,
  // to what the last run made.
  view_->setHtml(ToQt(*preview.html), QUrl::fromLocalFile(page_path_));
}

}  // namespace pix::ui
