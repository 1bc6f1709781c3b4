// Takes pictures of the desktop program on a site for the eyes of its developers: the main
// window at its first size with an item selected, with a picture previewed, with crossed-out
// items, during a run in the background (with two damaged pictures in its problems list),
// after it, and at its minimum size; the sample layout dialog, the about box and the help
// window.
//
//   screenshot_driver LAYOUT_HOME SITE_DIR OUT_DIR [--dark] [--prefix TEXT]
//
// The Fusion style draws every picture, in its own light palette or, with --dark, in a dark
// one; TEXT starts every file name. Run it on Qt's offscreen platform or under Xvfb (whose
// screen size the first window size follows), with QT_SCALE_FACTOR=2 for a 2x screen.
// Messages are answered OK without a box.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/ui/aboutdlg.h"
#include "app/ui/configwindow.h"
#include "app/ui/frame.h"
#include "app/ui/helpwindow.h"
#include "app/ui/pagepreviewpane.h"
#include "app/ui/picturegrid.h"
#include "app/ui/runpanel.h"
#include "app/ui/samplesdlg.h"
#include "base/ui/icons.h"
#include "base/ui/qttext.h"
#include "base/ui/qttrash.h"
#include "base/ui/qtuserinterface.h"
#include "base/userinterface.h"
#include "files/layouthome.h"
#include "files/names.h"
#include "files/settings.h"
#include "layout/inspector.h"
#include "layout/pictureitem.h"
#include "layout/ui/inspectorwindow.h"
#include "support/ui/dark_palette.h"  // the palette the widget tests draw with

namespace {

// Answers every box with its first button and notes what it said.
class QuietUserInterface : public pix::UserInterface {
 public:
  pix::MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                                 pix::MessageButtons buttons, pix::MessageIcon) override {
    std::cerr << "box \"" << title << "\": " << text << "\n";
    return buttons == pix::MessageButtons::kYesNo || buttons == pix::MessageButtons::kYesNoCancel
               ? pix::MessageAnswer::kYes
               : pix::MessageAnswer::kOk;
  }
  std::optional<std::string> PromptLine(const std::string&, const std::string&,
                                        const std::string& initial, int) override {
    return initial.empty() ? std::string("Example Photographer") : initial;
  }
};

void Save(QWidget& widget, const QString& file) {
  QApplication::processEvents();
  const QPixmap picture = widget.grab();
  const std::string name = pix::ui::PathFromQt(file).native();
  if (!picture.save(file)) std::cerr << "cannot write " << name << "\n";
  std::cout << name << "\n";
}

// The row of `label`, unfolded so that it shows.
int RowOf(pix::ui::LayoutWindow& window, const std::string& label) {
  const auto& rows = window.Model().ListedItems();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i]->Label() == label) {
      window.RevealRow(static_cast<int>(i));
      return static_cast<int>(i);
    }
  }
  return -1;
}

// Lets the thumbnails of the grid be decoded (at most a few seconds) before a picture.
void WaitForThumbnails(pix::ui::LayoutWindow& window) {
  QElapsedTimer clock;
  clock.start();
  pix::ui::PictureGrid* grid = window.picture_grid();
  while (grid->isVisible() && grid->ThumbnailsShown() < grid->count() && clock.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

// Lets the page preview make and load its page (at most ten seconds), and the engine draw it.
void WaitForPage(pix::ui::PagePreviewPane& pane) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 10000 && (pane.IsBusy() || pane.View() == nullptr)) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  const qint64 loaded = clock.elapsed();
  while (clock.elapsed() < loaded + 500) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
  bool dark = false;
  QString prefix;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--dark") {
      dark = true;
    } else if (option == "--prefix" && i + 1 < argc) {
      prefix = QString::fromLocal8Bit(argv[++i]);
    } else {
      argc = 0;  // Unknown: show the usage.
    }
  }
  if (argc < 4) {
    std::cerr << "usage: screenshot_driver LAYOUT_HOME SITE_DIR OUT_DIR [--dark] [--prefix TEXT]\n";
    return 2;
  }
  pix::ui::PrepareWebEngine();
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(dark ? pix::test::DarkPalette() : QApplication::style()->standardPalette());
  pix::ui::SetIconDirectory(pix::FindShippedDataDir() / "icons");
  QApplication::setApplicationName(QStringLiteral("pixamond"));
  const std::filesystem::path home = argv[1];
  pix::SettingsFile(home).WriteString(pix::kFilesSection, pix::kSearchDirectory, argv[2]);
  const QString out = pix::ui::PathToQt(argv[3]) + QLatin1Char('/') + prefix;
  std::filesystem::create_directories(argv[3]);

  // Two damaged pictures, for the problems list of the run.
  for (const char* name : {"broken-1.jpg", "broken-2.jpg"}) {
    std::ofstream(std::filesystem::path(argv[2]) / name, std::ios::binary)
        << "\xFF\xD8\xFF not a picture";
  }

  QuietUserInterface ui;
  pix::ui::MainWindow frame(ui, home);
  frame.show();
  pix::ui::LayoutWindow& window = *frame.layout_window();
  QListWidget& list = *window.ObjListBox();
  std::cout << "first size " << frame.width() << "x" << frame.height() << ", minimum "
            << frame.minimumSizeHint().width() << "x" << frame.minimumSizeHint().height()
            << ", screen " << frame.screen()->availableGeometry().width() << "x"
            << frame.screen()->availableGeometry().height() << " at scale "
            << frame.devicePixelRatioF() << "\n";

  Save(frame, out + "main-first-size.png");
  list.setCurrentRow(RowOf(window, "Default Page"));
  Save(frame, out + "main-item-selected.png");

  int picture = RowOf(window, "img0001a.jpg");
  list.setCurrentRow(picture);
  WaitForThumbnails(window);
  Save(frame, out + "main-picture-preview.png");

  list.setCurrentRow(RowOf(window, "macro"));
  window.CmDelete();
  list.setCurrentRow(RowOf(window, "stars.jpg"));
  window.CmDelete();
  Save(frame, out + "main-crossed-out.png");
  window.CmUndo();
  list.setCurrentRow(RowOf(window, "macro"));
  window.CmUndo();

  // The window half way through a run in the background, and after it.
  bool shot = false;
  QObject::connect(&window, &pix::ui::LayoutWindow::RunStarted, [&](pix::ui::RunPanel* panel) {
    QObject::connect(panel, &pix::ui::RunPanel::Refreshed, [&, panel] {
      if (!shot && panel->Position() * 2 >= panel->StepCount() && panel->StepCount() > 0) {
        shot = true;
        Save(frame, out + "main-during-run.png");
      }
    });
  });
  QEventLoop run_ended;
  QObject::connect(&window, &pix::ui::LayoutWindow::RunFinished, &run_ended, &QEventLoop::quit);
  window.CmGenerateSite();
  if (window.IsRunning()) run_ended.exec();

  picture = RowOf(window, "dew.jpg");
  list.setCurrentRow(picture);
  WaitForThumbnails(window);
  Save(frame, out + "main-after-run.png");

  // The live page preview: the picture's page, then its folder's page with a stylesheet
  // edit not saved.
  pix::ui::PagePreviewPane& page = *window.page_preview();
  window.PreviewTabs()->setCurrentWidget(&page);
  WaitForPage(page);
  Save(frame, out + "main-page-preview.png");
  list.setCurrentRow(RowOf(window, "garden"));
  WaitForPage(page);
  list.setCurrentRow(RowOf(window, "Default Page"));
  window.InspectorTabs()->setCurrentWidget(window.inspector_window());
  const pix::InspectorModel& rows = window.Model().Inspector();
  for (int row = 0; row < rows.RowCount(); ++row) {
    if (rows.Field(row).Name() != "StyleSheet") continue;
    QPlainTextEdit* box = window.inspector_window()->Field(row)->ValueEditBox();
    box->moveCursor(QTextCursor::End);
    box->insertPlainText(QStringLiteral(
        "\n<STYLE>body { background: #fdf6e3; } h1 { color: #b58900; }</STYLE>"));
  }
  WaitForPage(page);
  std::cout << "page made in " << page.LastMakeMs() << " ms, shown " << page.LastShowMs()
            << " ms after the edit\n";
  Save(frame, out + "main-page-preview-edited.png");
  window.CmUndo();
  WaitForPage(page);
  window.PreviewTabs()->setCurrentIndex(0);

  // The smallest window: every button's text and one inspector row still whole.
  const QSize first = frame.size();
  frame.resize(frame.minimumSizeHint());
  Save(frame, out + "main-minimum-size.png");
  frame.resize(first);

  // The sample dialog as the window opens it, with the highlighted sample on the page of
  // the folder selected.
  list.setCurrentRow(RowOf(window, "garden"));
  window.exec_dialog = [&](QDialog& dialog) {
    auto& samples = static_cast<pix::ui::SamplesDialog&>(dialog);
    samples.show();
    samples.List()->setCurrentRow(1);
    if (samples.page_preview() != nullptr) WaitForPage(*samples.page_preview());
    Save(samples, out + "sample-dialog.png");
    return static_cast<int>(QDialog::Rejected);
  };
  window.CmSampleLayouts();

  pix::ui::AboutDialog about(&frame);
  about.show();
  Save(about, out + "about-box.png");
  about.hide();

  frame.OpenHelp(pix::ui::kHelpLayoutWindow);
  Save(*frame.help_window(), out + "help-window.png");

  // The desktop program's own boxes, each pictured and then answered Cancel: the question
  // before closing with an edit not saved, and the confirmation of a deletion.
  pix::ui::QtUserInterface asking(&frame);
  const auto picture_next_box = [&](const QString& file) {
    QTimer::singleShot(200, [&, file] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        Save(*box, file);
        if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->reject();
      }
    });
  };
  pix::LayoutModel asked(asking, home);
  const auto row_in = [&asked](const std::string& label) {
    for (const pix::ConfigItem* item : asked.ListedItems()) {
      if (item->Label() == label) return item->list_box_id;
    }
    return -1;
  };
  asked.Select(row_in("Directory Index Pages"));
  asked.Inspector().EditValue(0, "Albums");
  picture_next_box(out + "close-question.png");
  asked.QueryClose();
  // The trash of the desktop program, kept in the scratch folder the site lies in.
  setenv("XDG_DATA_HOME", (std::filesystem::path(argv[2]).parent_path() / "data").c_str(), 1);
  pix::ui::QtTrash trash;
  asked.SetTrash(&trash);
  asked.Select(row_in("macro"));
  asked.Delete();
  picture_next_box(out + "delete-confirmation.png");
  asked.Save();
  return 0;
}
