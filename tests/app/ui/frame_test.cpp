// The main frame as a user meets it: today's keys beside the design's own, the status line,
// a folder dropped on the window, and the place and size kept from one run to the next.
#include "app/ui/frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QUrl>

#include "app/ui/configwindow.h"
#include "app/ui/statusdlg.h"
#include "app/windowplacement.h"
#include "base/ui/qttext.h"
#include "layout/inspector.h"
#include "layout/layout_fixture.h"
#include "layout/ui/inspectorwindow.h"
#include "support/picture_builder.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

class FrameWindowTest : public LayoutTest {
 protected:
  FrameWindowTest() {
    WriteJpegPicture(site_ / "trip" / "a.jpg", 60, 40, "");
    WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
    WriteJpegPicture(site_ / "b.jpg", 50, 30, "");
    WriteSetting("Files", "SearchDirectory", Site());
    WriteSetting("HTMLDefaults", "PersonFullName", "Test Person");
    frame_ = std::make_unique<ui::MainWindow>(ui_, home_);
    frame_->show();
    QApplication::setActiveWindow(frame_.get());
  }

  ui::LayoutWindow& Window() const { return *frame_->layout_window(); }
  QListWidget* List() const { return Window().ObjListBox(); }
  int RowOf(const std::string& label) const {
    for (const ConfigItem* item : Window().Model().ListedItems()) {
      if (item->Label() == label) return item->list_box_id;
    }
    ADD_FAILURE() << "no row " << label;
    return -1;
  }
  ConfigItem* Item(const std::string& label) const {
    return Window().Model().ListedItems().at(static_cast<std::size_t>(RowOf(label)));
  }
  // Selects the row in the tree and gives the tree the focus, as a click does.
  void Pick(const std::string& label) {
    List()->setFocus();
    List()->setCurrentRow(RowOf(label));
  }
  // Presses a key where the focus is.
  void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
  }

  std::unique_ptr<ui::MainWindow> frame_;
};

TEST_F(FrameWindowTest, TodaysKeysWorkBesideTheOldOnes) {
  Pick("b.jpg");
  Press(Qt::Key_Delete);
  EXPECT_TRUE(Item("b.jpg")->IsCrossedOut());
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_FALSE(Item("b.jpg")->IsCrossedOut());
  Press(Qt::Key_Delete);
  Press(Qt::Key_Backspace, Qt::AltModifier);  // The design's own Undo key.
  EXPECT_FALSE(Item("b.jpg")->IsCrossedOut());

  ui_.AnswerPrompt(std::nullopt);
  Press(Qt::Key_F2);
  ASSERT_EQ(ui_.prompts().size(), 1u);
  EXPECT_EQ(ui_.prompts()[0].title, "File Rename");

  Press(Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(frame_->StatusLine().startsWith("Saved \"b.jpg\" at ")) << ui::FromQt(frame_->StatusLine());

  int runs = 0;
  QObject::connect(&Window(), &ui::LayoutWindow::RunStarted, [&](ui::StatusDialog*) { ++runs; });
  Press(Qt::Key_F5);
  QApplication::processEvents();  // The window is active again once the run's dialog is gone.
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(frame_->StatusLine().startsWith("Site generated at ")) << ui::FromQt(frame_->StatusLine());
  List()->setFocus();
  Press(Qt::Key_G, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(runs, 2);

  int chosen = 0;
  Window().choose_directory = [&](const std::string&) {
    ++chosen;
    return std::optional<std::string>();
  };
  List()->setFocus();
  Press(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(chosen, 1);

  // The edit keys of the Edit menu carry today's keys too.
  EXPECT_TRUE(frame_->Action(24322)->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_X)));
  EXPECT_TRUE(frame_->Action(24323)->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_C)));
  EXPECT_TRUE(frame_->Action(24324)->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_V)));

  Press(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(frame_->isVisible());
}

TEST_F(FrameWindowTest, InAnEditFieldTheKeysEditTheText) {
  Pick("trip");
  QLineEdit* name = Window().inspector_window()->Field(0)->LabelEditBox();
  QPlainTextEdit* value = Window().inspector_window()->Field(0)->ValueEditBox();
  name->setFocus();
  name->setCursorPosition(0);
  Press(Qt::Key_Delete);
  EXPECT_EQ(name->text(), "ageTitle");
  EXPECT_FALSE(Item("trip")->IsCrossedOut());
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(name->text(), "PageTitle");

  value->setFocus();
  value->selectAll();
  Press(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(value->toPlainText(), "");
  Press(Qt::Key_V, Qt::ControlModifier);
  Press(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(value->toPlainText(), "TripTrip");
  // The Edit menu reaches the same field.
  value->selectAll();
  frame_->Action(24323)->trigger();  // Copy
  frame_->Action(24324)->trigger();  // Paste over the selection
  EXPECT_EQ(value->toPlainText(), "TripTrip");
}

TEST_F(FrameWindowTest, OpenPictureMenuItemIsForPicturesOnly) {
  WriteSetting("Files", "PictureEditor", "/no/such/editor %s");
  QAction* open = frame_->Action(ui::kOpen);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->text(), "&Open Picture");
  Pick("a.jpg");
  open->trigger();
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text.rfind("The picture editor could not be started.", 0), 0u);
}

// Drags `data` over `target` and drops it there, as a file manager does.
bool DragAndDrop(QWidget* target, QMimeData& data) {
  QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(4, 4), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

TEST_F(FrameWindowTest, FolderDroppedOnTheWindowBecomesTheSite) {
  const fs::path other = temp_ / "other site";
  WriteJpegPicture(other / "z.jpg", 20, 20, "");
  Pick("trip");
  Window().inspector_window()->Field(0)->ValueEditBox()->setFocus();
  Window().inspector_window()->Field(0)->ValueEditBox()->moveCursor(QTextCursor::End);
  QTest::keyClicks(Window().inspector_window()->Field(0)->ValueEditBox(), " kept");

  // A file is not a site: the drop is not taken.
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(ui::PathToQt(site_ / "b.jpg"))});
  EXPECT_FALSE(DragAndDrop(List()->viewport(), file));
  // The layout home is refused with Select Dir's own message, and nothing changes.
  QMimeData home;
  home.setUrls({QUrl::fromLocalFile(ui::PathToQt(home_))});
  EXPECT_TRUE(DragAndDrop(List()->viewport(), home));
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text, "Select a directory that does not contain program.");
  EXPECT_EQ(Window().Model().SiteDir(), Site());
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");

  // A folder dropped even on a text box opens its site; the old site's edits are saved.
  QMimeData folder;
  folder.setUrls({QUrl::fromLocalFile(ui::PathToQt(other))});
  EXPECT_TRUE(DragAndDrop(Window().inspector_window()->Field(1)->LabelEditBox(), folder));
  EXPECT_EQ(Window().Model().SiteDir(), other.string());
  EXPECT_GE(RowOf("z.jpg"), 0);
  EXPECT_EQ(List()->count(), static_cast<int>(Window().Model().ListedItems().size()));
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip kept\r\n\r\n");
  EXPECT_EQ(frame_->StatusLine(), ui::ToQt("Site directory: " + other.string()));

  // Two folders at once, or a remote one, are not one site.
  QMimeData two;
  two.setUrls({QUrl::fromLocalFile(ui::PathToQt(other)), QUrl::fromLocalFile(ui::PathToQt(site_))});
  EXPECT_FALSE(ui::MainWindow::DroppedDirectory(&two).has_value());
  QMimeData remote;
  remote.setUrls({QUrl(QStringLiteral("https://example.org/photos/"))});
  EXPECT_FALSE(ui::MainWindow::DroppedDirectory(&remote).has_value());
}

TEST_F(FrameWindowTest, OpenSiteDirectoryTakesARelativeName) {
  const fs::path other = temp_ / "relative";
  WriteJpegPicture(other / "r.jpg", 20, 20, "");
  const fs::path before = fs::current_path();
  fs::current_path(temp_.path());
  const bool opened = frame_->OpenSiteDirectory("relative/");
  fs::current_path(before);
  EXPECT_TRUE(opened);
  EXPECT_EQ(Window().Model().SiteDir(), other.string());
  EXPECT_FALSE(frame_->OpenSiteDirectory(temp_ / "missing"));
  EXPECT_EQ(Window().Model().SiteDir(), other.string());
}

TEST_F(FrameWindowTest, FirstSizeFitsTheScreenAndPlaceAndPanesAreRemembered) {
  const QRect screen = frame_->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(frame_->geometry())) << frame_->width() << "x" << frame_->height();
  EXPECT_GE(frame_->width(), frame_->minimumSizeHint().width());

  const QSize minimum = frame_->minimumSizeHint();
  const QRect place(20, 30, std::max(minimum.width(), 640), std::max(minimum.height(), 460));
  frame_->setGeometry(place);
  QApplication::processEvents();
  QList<int> panes = Window().PaneSplitter()->sizes();
  panes[0] += 30;
  panes[1] -= 30;
  Window().PaneSplitter()->setSizes(panes);
  panes = Window().PaneSplitter()->sizes();
  frame_->close();
  const std::optional<WindowPlacement> kept = ReadWindowPlacement(SettingsFile(home_));
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->frame, (PixelRect{place.x(), place.y(), place.width(), place.height()}));
  EXPECT_EQ(kept->pane_widths, std::vector<int>(panes.begin(), panes.end()));

  frame_ = std::make_unique<ui::MainWindow>(ui_, home_);
  frame_->show();
  QApplication::processEvents();
  EXPECT_EQ(frame_->geometry(), place);
  EXPECT_EQ(Window().PaneSplitter()->sizes(), panes);
}

}  // namespace
}  // namespace pix::test
