// The live page preview of the layout window, read back through the engine: an edit of a
// template that is not saved shows in the page within a second, the picture's caption
// typed in the Caption pane shows on its page, and a sample layout shows on the selected
// page before it is chosen. Nothing of it is written to the site.
#include "app/ui/pagepreviewpane.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/ui/captionpane.h"
#include "app/ui/configwindow.h"
#include "app/ui/layout_window_fixture.h"
#include "app/ui/samplesdlg.h"
#include "base/ui/qttext.h"
#include "support/site_files.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;
using ui::LayoutWindow;
using ui::PagePreviewPane;
using ui::PathToQt;
using ui::ToQt;

// What the engine shows of `view`'s page as text; empty when it cannot say in time.
QString PageText(QWebEngineView* view) {
  QString text;
  bool answered = false;
  view->page()->toPlainText([&](const QString& plain) {
    text = plain;
    answered = true;
  });
  WaitFor([&] { return answered; }, 5000);
  return text;
}

// The result of a script in `view`'s page, as text.
QString RunScript(QWebEngineView* view, const QString& script) {
  QString result;
  bool answered = false;
  view->page()->runJavaScript(script, [&](const QVariant& value) {
    result = value.toString();
    answered = true;
  });
  WaitFor([&] { return answered; }, 5000);
  return result;
}

class PagePreviewWindowTest : public LayoutWindowTest {
 protected:
  PagePreviewWindowTest() : LayoutWindowTest(/*seeded=*/true) { OpenWindow(1200, 760); }

  PagePreviewPane* Pane() const { return window_->page_preview(); }
  // Shows the Page tab and waits for its first page.
  void ShowPageTab() {
    QSignalSpy shown(Pane(), &PagePreviewPane::PageShown);
    window_->Command(ui::kShowPagePreview);  // Pages, Page Preview
    ASSERT_EQ(window_->PreviewTabs()->currentWidget(), Pane());
    ASSERT_TRUE(shown.wait(20000)) << "no page was shown";
    ASSERT_NE(Pane()->View(), nullptr);
  }
};

TEST_F(PagePreviewWindowTest, UnsavedEditsShowInThePageOnceTheTypingPausesAndNothingIsWritten) {
  const std::map<std::string, std::string> site_before = VisibleFiles(site_);
  const std::string globals_before = ReadFile(home_ / "globals.txt");
  Pick("trip");
  ShowPageTab();
  EXPECT_EQ(Pane()->PagePath(), PathToQt(site_ / "trip" / "index.html"));
  EXPECT_TRUE(PageText(Pane()->View()).contains(QStringLiteral("trip")));
  // Its links and images resolve where the page would lie in the site.
  EXPECT_EQ(RunScript(Pane()->View(), QStringLiteral("document.baseURI")),
            QUrl::fromLocalFile(PathToQt(site_ / "trip" / "index.html")).toString());

  // The stylesheet of the default page, edited in All Variables and not saved: the page's
  // heading colour follows once the typing pauses.
  Pick("Default Page");
  const int row = InspectorRow("StyleSheet");
  ASSERT_GE(row, 0);
  window_->InspectorTabs()->setCurrentWidget(window_->inspector_window());
  QPlainTextEdit* box = ValueBox(row);
  box->setFocus();
  box->moveCursor(QTextCursor::End);
  // The page of the selection settles first: what follows is the typing's page.
  ASSERT_TRUE(WaitFor([&] { return !Pane()->IsBusy(); }, 5000));
  QSignalSpy shown(Pane(), &PagePreviewPane::PageShown);
  QTest::keyClicks(box, QStringLiteral("<style>h1 { color: rgb(1, 2, 3) }</style>"));
  ASSERT_TRUE(shown.wait(5000));
  // How long the page took to make, for the test's report (--gtest_output=xml); not checked.
  RecordProperty("PageMadeMs", static_cast<int>(Pane()->LastMakeMs()));
  EXPECT_EQ(RunScript(Pane()->View(),
                      QStringLiteral("getComputedStyle(document.querySelector('h1')).color")),
            QStringLiteral("rgb(1, 2, 3)"));
  EXPECT_EQ(Pane()->PagePath(), PathToQt(site_ / "trip" / "index.html"));

  // A caption typed in the Caption pane of a picture shows on the picture's own page.
  Pick("a.jpg");
  ASSERT_TRUE(WaitFor([&] { return Pane()->PagePath() == PathToQt(site_ / "trip" / "a.html"); },
                      5000));
  window_->InspectorTabs()->setCurrentWidget(window_->caption_pane());
  QPlainTextEdit* title = window_->caption_pane()->FieldBox("DetailPageTitle");
  ASSERT_NE(title, nullptr);
  title->setFocus();
  QTest::keyClicks(title, QStringLiteral("Harbour at dawn"));
  ASSERT_TRUE(WaitFor(
      [&] {
        return RunScript(Pane()->View(), QStringLiteral("document.title")) ==
               QStringLiteral("Harbour at dawn");
      },
      5000))
      << RunScript(Pane()->View(), QStringLiteral("document.title")).toStdString();

  // A page larger than the engine takes from memory still shows whole, its images and
  // links still resolving in the site.
  Pick("trip");
  ASSERT_TRUE(WaitFor([&] { return !Pane()->IsBusy(); }, 5000));
  const int intro = InspectorRow("PageIntro");
  ASSERT_GE(intro, 0);
  // Beyond PagePreviewPane::kLargestInlinePage.
  const QString words = QStringLiteral("many words ").repeated(27000) + QStringLiteral("THE END");
  ValueBox(intro)->setPlainText(words);
  ASSERT_TRUE(WaitFor([&] { return !Pane()->IsBusy(); }, 10000));
  EXPECT_EQ(RunScript(Pane()->View(), QStringLiteral("String(document.body.textContent"
                                                     ".includes('words THE END'))")),
            QStringLiteral("true"));
  EXPECT_EQ(RunScript(Pane()->View(), QStringLiteral("document.baseURI")),
            QUrl::fromLocalFile(PathToQt(site_ / "trip" / "index.html")).toString());

  // Nothing reached the site or the layout home.
  EXPECT_EQ(DescribeDifferences(VisibleFiles(site_), site_before), "");
  EXPECT_FALSE(fs::exists(site_ / ".pixamond-record"));
  EXPECT_EQ(ReadFile(home_ / "globals.txt"), globals_before);
}

TEST_F(PagePreviewWindowTest, TheSampleDialogShowsTheHighlightedSampleOnTheSelectedPage) {
  Pick("trip");
  const std::map<std::string, std::string> home_before = VisibleFiles(home_);
  bool checked = false;
  window_->exec_dialog = [&](QDialog& dialog) {
    auto* samples = dynamic_cast<ui::SamplesDialog*>(&dialog);
    EXPECT_NE(samples, nullptr);
    if (samples == nullptr) return 0;
    PagePreviewPane* pane = dialog.findChild<PagePreviewPane*>();
    EXPECT_NE(pane, nullptr);
    if (pane == nullptr) return 0;
    QListWidget* list = dialog.findChild<QListWidget*>();
    EXPECT_NE(list, nullptr);
    dialog.show();
    // Each sample in turn: its own title of the page's kind shows.
    QStringList texts;
    for (int row = 0; row < std::min(list->count(), 2); ++row) {
      QSignalSpy shown(pane, &PagePreviewPane::PageShown);
      list->setCurrentRow(row);
      EXPECT_TRUE(shown.wait(20000));
      EXPECT_EQ(pane->PagePath(), PathToQt(site_ / "trip" / "index.html"));
      texts << RunScript(pane->View(), QStringLiteral("document.documentElement.outerHTML"));
    }
    EXPECT_EQ(texts.size(), 2);
    if (texts.size() == 2) {
      EXPECT_NE(texts[0], texts[1]) << "the two samples look alike";
    }
    checked = true;
    return 0;  // Cancel: nothing is copied.
  };
  window_->CmSampleLayouts();
  EXPECT_TRUE(checked);
  EXPECT_EQ(DescribeDifferences(VisibleFiles(home_), home_before), "");
}

}  // namespace
}  // namespace pix::test
