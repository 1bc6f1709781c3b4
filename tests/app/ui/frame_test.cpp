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
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QUndoStack>
#include <QUrl>

#include "app/ui/captionpane.h"
#include "app/ui/configwindow.h"
#include "app/ui/runpanel.h"
#include "app/ui/layout_window_fixture.h"
#include "app/windowplacement.h"
#include "base/ui/qttext.h"
#include "layout/inspector.h"
#include "layout/ui/inspectorwindow.h"
#include "picture/comread.h"
#include "picture/ui/imagewindow.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

class FrameWindowTest : public LayoutWindowTest {
 protected:
  FrameWindowTest() {
    WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
    frame_ = std::make_unique<ui::MainWindow>(ui_, home_);
    frame_->show();
    QApplication::setActiveWindow(frame_.get());
  }

  ui::LayoutWindow& Window() const override { return *frame_->layout_window(); }
  QListWidget* List() const { return Window().ObjListBox(); }
  // Selects the row in the tree and gives the tree the focus, as a click does.
  void Pick(const std::string& label) {
    List()->setFocus();
    Window().RevealRow(RowOf(label));  // Sub-folders start folded.
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
  QObject::connect(&Window(), &ui::LayoutWindow::RunStarted, [&](ui::RunPanel*) { ++runs; });
  Press(Qt::Key_F5);
  ASSERT_TRUE(WaitForRun(Window()));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(frame_->StatusLine().startsWith("Site generated at ")) << ui::FromQt(frame_->StatusLine());
  List()->setFocus();
  Press(Qt::Key_G, Qt::ControlModifier);
  ASSERT_TRUE(WaitForRun(Window()));
  EXPECT_EQ(runs, 2);

  int chosen = 0;
  Window().choose_directory = [&](const std::string&) {
    ++chosen;
    return std::optional<std::string>();
  };
  List()->setFocus();
  Press(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(chosen, 1);

  // File, Open Picture starts the picture editor; one that cannot start says so at once.
  WriteSetting("Files", "PictureEditor", "/no/such/editor %s");
  QAction* open = frame_->Action(ui::kOpen);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->text(), "&Open Picture");
  Pick("a.jpg");
  open->trigger();
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text.rfind("The picture editor could not be started.", 0), 0u);

  ui_.AnswerMessage(MessageAnswer::kDiscard);  // The question before closing, if it comes.
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
  TypeValue(0, " kept");

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

  // A folder dropped even on a text box opens its site; the old site's edits are saved
  // when the user says so.
  QMimeData folder;
  folder.setUrls({QUrl::fromLocalFile(ui::PathToQt(other))});
  ui_.AnswerMessage(MessageAnswer::kSave);
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

TEST_F(FrameWindowTest, OnALaptopScreenTheFirstWindowShowsTreeAndALargePreview) {
  // 1366x768 with a panel of 28 pixels at the top, as a desktop leaves it.
  const QRect laptop(0, 28, 1366, 740);
  frame_->PlaceOnScreen(laptop);
  QApplication::processEvents();
  EXPECT_TRUE(laptop.contains(frame_->geometry()));
  // Room above for the title bar that the window manager adds.
  EXPECT_GE(frame_->geometry().top(), laptop.top() + 24);
  EXPECT_GE(frame_->width(), 1100);
  EXPECT_GE(frame_->height(), 580);
  // The whole tree shows without scrolling, and the preview has the room that is left.
  QListWidget* list = List();
  EXPECT_EQ(list->verticalScrollBar()->maximum(), 0);
  EXPECT_GE(Window().image_window()->width(), 480);

  // A remembered place above or beside the screen comes back whole onto it.
  WindowPlacement placement;
  placement.frame = PixelRect{-300, -20, 900, 600};
  ASSERT_TRUE(WriteWindowPlacement(SettingsFile(home_), placement).ok());
  frame_->PlaceOnScreen(laptop);
  EXPECT_TRUE(laptop.contains(frame_->geometry()));
  EXPECT_GE(frame_->geometry().top(), laptop.top() + 24);
  EXPECT_EQ(frame_->size(), QSize(900, 600));
}

// The title marks unsaved edits with "*", and Save is enabled only then.
TEST_F(FrameWindowTest, ACaptionTypedInTheCaptionPaneIsSavedIntoTheJpegByCtrlS) {
  EXPECT_EQ(frame_->windowTitle(), "pixamond");
  EXPECT_FALSE(frame_->Action(ui::kSave)->isEnabled());
  Pick("b.jpg");
  ASSERT_EQ(Window().InspectorTabs()->currentWidget(), Window().caption_pane());
  QPlainTextEdit* description = Window().caption_pane()->FieldBox("ImageDescription");
  ASSERT_NE(description, nullptr);
  description->setFocus();
  QTest::keyClicks(description, "Low tide at dawn");
  // The same text stands in the full inspector's row.
  ASSERT_GE(InspectorRow("ImageDescription"), 0);
  EXPECT_EQ(ValueBox(InspectorRow("ImageDescription"))->toPlainText(), "Low tide at dawn");
  EXPECT_EQ(frame_->windowTitle(), "*pixamond");
  EXPECT_TRUE(frame_->Action(ui::kSave)->isEnabled());
  Press(Qt::Key_S, Qt::ControlModifier);
  const Result<JpegHeader> header = ReadJpegHeader((site_ / "b.jpg").string());
  ASSERT_TRUE(header.ok());
  EXPECT_EQ(header->comments, "ImageDescription:\r\nLow tide at dawn\r\n\r\n");
  EXPECT_FALSE(Window().Model().HasUnsavedEdits());
  EXPECT_EQ(frame_->windowTitle(), "pixamond");
  EXPECT_FALSE(frame_->Action(ui::kSave)->isEnabled());
  // A directory has no caption: its variables show on the All Variables page.
  Pick("trip");
  EXPECT_EQ(Window().InspectorTabs()->currentWidget(), Window().inspector_window());
  EXPECT_FALSE(Window().InspectorTabs()->isTabEnabled(0));
}

TEST_F(FrameWindowTest, UndoAndRedoTakeBackCaptionEditsRenamesAndCrossOuts) {
  Pick("b.jpg");
  Press(Qt::Key_Delete);
  ASSERT_TRUE(Item("b.jpg")->IsCrossedOut());
  Pick("a.jpg");
  ui_.AnswerPrompt(std::string("Sunset"));
  Press(Qt::Key_F2);
  ASSERT_TRUE(fs::exists(site_ / "trip" / "Sunset.jpg"));
  QPlainTextEdit* description = Window().caption_pane()->FieldBox("ImageDescription");
  description->setFocus();
  QTest::keyClicks(description, "Red sky");
  EXPECT_EQ(Window().UndoStack()->count(), 3);  // The keys typed in a row are one edit.

  List()->setFocus();
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(description->toPlainText(), "");
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(fs::exists(site_ / "trip" / "a.jpg"));
  EXPECT_FALSE(fs::exists(site_ / "trip" / "Sunset.jpg"));
  EXPECT_GE(RowOf("a.jpg"), 0);
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_FALSE(Item("b.jpg")->IsCrossedOut());

  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(Item("b.jpg")->IsCrossedOut());
  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(fs::exists(site_ / "trip" / "Sunset.jpg"));
  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(description->toPlainText(), "Red sky");
  // Saved, the caption is exactly what was typed: one caption segment, as ever.
  Pick("Sunset.jpg");
  ui_.AnswerMessage(MessageAnswer::kCancel);  // Keep b.jpg: answer Cancel if asked about it.
  Press(Qt::Key_S, Qt::ControlModifier);
  const Result<JpegHeader> header = ReadJpegHeader((site_ / "trip" / "Sunset.jpg").string());
  ASSERT_TRUE(header.ok());
  EXPECT_EQ(header->comments, "ImageDescription:\r\nRed sky\r\n\r\n");
}

TEST_F(FrameWindowTest, UndoAndRedoTakeBackInspectorEditsBeforeAndAfterTheItemTookThem) {
  Pick("trip");
  const auto value_box = [&](const std::string& name) { return ValueBox(InspectorRow(name)); };
  ASSERT_GE(InspectorRow("PageTitle"), 0);
  ASSERT_GE(InspectorRow("PageLabel"), 0);
  const int commands = Window().UndoStack()->count();
  QPlainTextEdit* title = value_box("PageTitle");
  title->setFocus();
  title->moveCursor(QTextCursor::End);
  QTest::keyClicks(title, " in May");
  QPlainTextEdit* label = value_box("PageLabel");
  label->setFocus();
  QTest::keyClicks(label, "May");
  // The keys typed in one row are one edit; each row is an edit of its own.
  EXPECT_EQ(Window().UndoStack()->count(), commands + 2);

  List()->setFocus();
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(value_box("PageLabel")->toPlainText(), "");
  EXPECT_EQ(value_box("PageTitle")->toPlainText(), "Trip in May");
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(value_box("PageTitle")->toPlainText(), "Trip");
  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(value_box("PageTitle")->toPlainText(), "Trip in May");

  // Another item selected, the folder took the edit; Undo and Redo still reach it.
  Pick("b.jpg");
  EXPECT_EQ(Item("trip")->GetVarValue("PageTitle"), "Trip in May");
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Item("trip")->GetVarValue("PageTitle"), "Trip");
  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Item("trip")->GetVarValue("PageTitle"), "Trip in May");
  EXPECT_TRUE(frame_->Action(ui::kSave)->isEnabled());
  Pick("trip");
  EXPECT_EQ(value_box("PageTitle")->toPlainText(), "Trip in May");
  Press(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt").find("PageTitle:\r\nTrip in May\r\n"), 0u)
      << ReadFile(site_ / "trip" / "index.txt");
}

TEST_F(FrameWindowTest, ClosingDuringARunStopsTheRunFirstThenCloses) {
  List()->setFocus();
  Press(Qt::Key_F5);
  ASSERT_TRUE(Window().IsRunning());
  // While it runs, what would change the layout waits; the window can still be read.
  EXPECT_FALSE(frame_->Action(ui::kGenerateSite)->isEnabled());
  EXPECT_FALSE(frame_->Action(ui::kSave)->isEnabled());
  Pick("b.jpg");
  EXPECT_EQ(Window().Model().SelectedItem()->Label(), "b.jpg");
  EXPECT_TRUE(Window().caption_pane()->FieldBox("ImageDescription")->isReadOnly());
  EXPECT_TRUE(Window().inspector_window()->Field(0)->ValueEditBox()->isReadOnly());
  // A folder dropped meanwhile waits too.
  EXPECT_FALSE(frame_->OpenSiteDirectory(temp_.path()));
  EXPECT_EQ(Window().Model().SiteDir(), Site());
  EXPECT_FALSE(frame_->close());  // Asked to stop; the window waits for it.
  EXPECT_TRUE(Window().run_panel()->CancelRequested());
  ASSERT_TRUE(WaitForRun(Window()));
  EXPECT_FALSE(frame_->isVisible());
  EXPECT_TRUE(frame_->StatusLine().startsWith("Generate Site cancelled at "))
      << ui::FromQt(frame_->StatusLine());
}

TEST_F(FrameWindowTest, FirstSizeFitsTheScreenAndPlaceAndPanesAreRemembered) {
  const QRect screen = frame_->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(frame_->geometry())) << frame_->width() << "x" << frame_->height();
  EXPECT_GE(frame_->width(), frame_->minimumSizeHint().width());

  const QSize minimum = frame_->minimumSizeHint();
  const QRect place(20, 40, std::max(minimum.width(), 640), std::max(minimum.height(), 460));
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
