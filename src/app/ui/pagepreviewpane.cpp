#include "app/ui/pagepreviewpane.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLabel>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "base/diagnostics.h"
#include "base/ui/qttext.h"
#include "layout/livepreview.h"

namespace pix::ui {
namespace {

// `html` with a <BASE> element naming `base` first in its head (or first of all).
std::string WithBase(const std::string& html, const std::string& base) {
  std::string escaped;
  for (const char c : base) escaped += c == '"' ? std::string("%22") : std::string(1, c);
  const std::string element = "<BASE href=\"" + escaped + "\">";
  std::string lower(html.size(), '\0');
  std::transform(html.begin(), html.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::size_t head = lower.find("<head");
  while (head != std::string::npos && head + 5 < lower.size() &&
         std::isalnum(static_cast<unsigned char>(lower[head + 5]))) {
    head = lower.find("<head", head + 5);  // <header> is no head.
  }
  const std::size_t end = head == std::string::npos ? std::string::npos : html.find('>', head);
  if (end == std::string::npos) return element + html;
  return html.substr(0, end + 1) + element + html.substr(end + 1);
}

}  // namespace

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
  const QUrl base = QUrl::fromLocalFile(page_path_);
  if (preview.html->size() <= kLargestInlinePage) {
    view_->setHtml(ToQt(*preview.html), base);
    return;
  }
  // setHtml hands the engine a data: URL, which holds at most 2 MB once percent-encoded: a
  // larger page goes through a file of the pane's own, outside the site, whose <BASE>
  // names the page's place.
  if (!scratch_) scratch_ = std::make_unique<QTemporaryDir>();
  const QString file = scratch_->filePath(QStringLiteral("page.html"));
  QFile out(file);
  if (!scratch_->isValid() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      out.write(WithBase(*preview.html, base.toEncoded().toStdString()).c_str()) < 0 ||
      !out.flush()) {
    view_->hide();
    message_->setText(QStringLiteral("The page is too large to show here (%1 K).")
                          .arg(preview.html->size() / 1024));
    message_->show();
    since_request_.invalidate();
    emit PageShown();
    return;
  }
  out.close();
  view_->setUrl(QUrl::fromLocalFile(file));
}

}  // namespace pix::ui
