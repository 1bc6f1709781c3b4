#include "app/ui/helpwindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <map>

#include "base/ui/icons.h"
#include "base/ui/qttext.h"
#include "files/layouthome.h"

namespace pix::ui {

QString HelpPageFor(int context) {
  static const std::map<int, const char*> pages = {
      {kHelpContents, "index.html"},
      {kHelpOnHelp, "helponhelp.html"},
      {kHelpLayoutWindow, "layoutwindow.html"},
      {kHelpSampleLayouts, "samplelayouts.html"},
      {24333, "cmd_save.html"},
      {206, "cmd_selectdirectory.html"},
      {215, "cmd_delete.html"},
      {219, "cmd_rename.html"},
      {210, "cmd_cancel.html"},
      {24310, "cmd_exit.html"},
      {24321, "cmd_undo.html"},
      {24327, "cmd_undo.html"},
      {24322, "cmd_cut.html"},
      {24323, "cmd_copy.html"},
      {24324, "cmd_paste.html"},
      {24326, "cmd_clearall.html"},
      {24325, "cmd_editdelete.html"},
      {302, "samplelayouts.html"},
      {211, "cmd_generatesite.html"},
      {24332, "cmd_open.html"},
      {24334, "cmd_generatesite.html"},
      {212, "cmd_autoorganize.html"},
      {401, "index.html"},
      {2001, "index.html"},
      {2009, "cmd_about.html"},
      {24353, "cmd_findnext.html"},
  };
  const auto found = pages.find(context);
  return QString::fromUtf8(found == pages.end() ? "index.html" : found->second);
}

QString HelpDirectory() { return PathToQt(FindShippedDataDir() / "help"); }

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), view_(new QTextBrowser) {
  setWindowTitle(QStringLiteral("pixamond Help"));
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowIcon(ResourceIcon(2001));
  view_->setSearchPaths({HelpDirectory()});
  view_->setOpenExternalLinks(true);
  auto* contents = new QPushButton(QStringLiteral("&Contents"));
  auto* back = new QPushButton(QStringLiteral("&Back"));
  auto* forward = new QPushButton(QStringLiteral("&Forward"));
  connect(contents, &QPushButton::clicked, this, [this] { ShowTopic(kHelpContents); });
  connect(back, &QPushButton::clicked, view_, &QTextBrowser::backward);
  connect(forward, &QPushButton::clicked, view_, &QTextBrowser::forward);
  connect(view_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(view_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
  back->setEnabled(false);
  forward->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contents);
  buttons->addWidget(back);
  buttons->addWidget(forward);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(view_);
  resize(640, 520);
  // A help window goes away with the keys of every other secondary window.
  for (const QKeySequence& key :
       {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    auto* shortcut = new QShortcut(key, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);
  }
}

void HelpWindow::ShowTopic(int context) {
  view_->setSource(QUrl::fromLocalFile(HelpDirectory() + QLatin1Char('/') + HelpPageFor(context)));
  show();
  raise();
  activateWindow();
}

QString HelpWindow::CurrentPage() const { return QFileInfo(view_->source().path()).fileName(); }

}  // namespace pix::ui
