// The desktop program's dialogs: the status dialog, the sample layout dialog, the about box
// and the frame's commands, driven as a user drives them, and laid out so that every text
// shows whole.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>

#include "app/ui/aboutdlg.h"
#include "app/ui/configwindow.h"
#include "app/ui/frame.h"
#include "app/ui/helpwindow.h"
#include "app/ui/runpanel.h"
#include "app/ui/samplesdlg.h"
#include "base/ui/qttext.h"
#include "files/settings.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

// `widget` lies whole inside `window` (a widget of it, however deep).
bool LiesInside(const QWidget* widget, const QWidget* window) {
  const QRect place(widget->mapTo(window, QPoint(0, 0)), widget->size());
  return window->rect().contains(place);
}

// Every label and button of `dialog` that is shown lies inside it and is at least as large
// as its text needs.
void ExpectTextsWhole(QWidget& dialog) {
  QApplication::processEvents();
  int seen = 0;
  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    if (!widget->isVisible()) continue;
    if (qobject_cast<QLabel*>(widget) == nullptr && qobject_cast<QPushButton*>(widget) == nullptr) {
      continue;
    }
    ++seen;
    const std::string name =
        ui::FromQt(widget->objectName()) + " " + ui::FromQt(widget->property("text").toString());
    EXPECT_TRUE(LiesInside(widget, &dialog)) << name;
    EXPECT_GE(widget->width(), widget->sizeHint().width()) << name;
    EXPECT_GE(widget->height(), widget->sizeHint().height()) << name;
  }
  EXPECT_GT(seen, 0);
}

TEST(RunPanelTest, TimeLeftIsReadLikeAPersonSaysIt) {
  EXPECT_EQ(ui::TimeLeftText(0, 10, 5000), "");   // Nothing done: no guess yet.
  EXPECT_EQ(ui::TimeLeftText(10, 10, 5000), "");  // Done.
  EXPECT_EQ(ui::TimeLeftText(5, 10, 20000), "about 20 s left");
  EXPECT_EQ(ui::TimeLeftText(1, 10, 20000), "about 3 min left");
  EXPECT_EQ(ui::TimeLeftText(1, 400, 20000), "about 2 h 13 min left");
}

TEST(AboutBoxTest, FitsItsTextAndEnterCloses) {
  ui::AboutDialog about(nullptr);
  about.show();
  ExpectTextsWhole(about);
  QStringList texts;
  for (const QLabel* label : about.findChildren<QLabel*>()) {
    if (label->isVisible() && !label->text().isEmpty()) texts << label->text();
  }
  EXPECT_TRUE(texts.contains("Pixamond"));
  EXPECT_TRUE(texts.contains("Written by the Pixamond developers."));
  EXPECT_TRUE(texts.contains("Questions and reports: see README.md."));
  // The empty special-build line takes no room.
  EXPECT_EQ(texts.size(), 5);
  // The icon shows beside the text.
  const auto* icon = about.findChild<QLabel*>("Icon");
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  QTest::keyClick(&about, Qt::Key_Return);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

class FrameTest : public testing::Test {
 protected:
  FrameTest() {
    SettingsFile(temp_.path()).WriteString("Files", "SearchDirectory", (temp_ / "site").string());
    fs::create_directories(temp_ / "site");
  }
  TempDir temp_;
  ScriptedUserInterface ui_;
};

TEST_F(FrameTest, MenusCarryTheirHintsAndEditCommandsStartDisabled) {
  ui::MainWindow frame(ui_, temp_.path());
  EXPECT_FALSE(frame.Action(24333)->statusTip().isEmpty());
  for (int id : {24322, 24323, 24324, 24326, 24325}) {
    EXPECT_FALSE(frame.Action(id)->isEnabled()) << id;
  }
  // File Cancel and F3 do nothing.
  frame.Dispatch(ui::kFileCancel);
  frame.Dispatch(ui::kEditFindNext);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(FrameTest, MenusShowTodaysStandardKeysAndTheyAct) {
  ui::MainWindow frame(ui_, temp_.path());
  // A menu shows an item's first key: today's standard one. No item writes a key into its
  // text, where it could name a key that does not act.
  for (QAction* top : frame.menuBar()->actions()) {
    for (QAction* action : top->menu()->actions()) {
      EXPECT_EQ(action->text().indexOf(QLatin1Char('\t')), -1) << action->text().toStdString();
    }
  }
  const std::pair<int, QKeySequence> shown[] = {
      {24333, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {24321, QKeySequence(Qt::CTRL | Qt::Key_Z)},
      {24322, QKeySequence(Qt::CTRL | Qt::Key_X)},
      {24323, QKeySequence(Qt::CTRL | Qt::Key_C)},
      {24324, QKeySequence(Qt::CTRL | Qt::Key_V)},
      {24325, QKeySequence(Qt::Key_Delete)},
      {219, QKeySequence(Qt::Key_F2)},
      {211, QKeySequence(Qt::Key_F5)},
      {24310, QKeySequence(Qt::CTRL | Qt::Key_Q)},
  };
  for (const auto& [id, key] : shown) {
    EXPECT_EQ(frame.Action(id)->shortcut(), key) << id;
  }
  // The design's older keys still act (the others are pressed in the frame's tests).
  EXPECT_TRUE(frame.Action(24324)->shortcuts().contains(QKeySequence(Qt::SHIFT | Qt::Key_Insert)));
}

TEST_F(FrameTest, F10OpensTheMenuAndTheHelpWindowClosesOnEscapeAndCtrlW) {
  ui::MainWindow frame(ui_, temp_.path());
  frame.show();
  QApplication::setActiveWindow(&frame);
  frame.layout_window()->ObjListBox()->setFocus();
  QTest::keyClick(frame.layout_window()->ObjListBox(), Qt::Key_F10);
  QApplication::processEvents();
  auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(open, nullptr) << "F10 opened no menu";
  EXPECT_EQ(open, frame.menuBar()->actions().front()->menu());
  open->close();

  for (const QKeySequence& key :
       {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    frame.OpenHelp(ui::kHelpContents);
    ui::HelpWindow* help = frame.help_window();
    ASSERT_TRUE(help->isVisible());
    QApplication::setActiveWindow(help);
    QTest::keySequence(help->Browser(), key);
    EXPECT_FALSE(help->isVisible()) << key.toString().toStdString();
  }
}

TEST_F(FrameTest, StatusLineHasTheWholeBarForALongMessage) {
  ui::MainWindow frame(ui_, temp_.path());
  frame.resize(1000, 600);
  frame.show();
  const QString text = QStringLiteral(
      "Generate Site cancelled at 14:05:32 after 12 of 340 pictures: the other 328 have no "
      "entry or detail page yet");
  emit frame.layout_window()->StatusMessage(text);
  QApplication::processEvents();
  auto* line = frame.statusBar()->findChild<QLabel*>(QStringLiteral("StatusLine"));
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(frame.StatusLine(), text);
  // Nothing else sits in the bar beside it, and it is wide enough for the whole line.
  for (QWidget* child :
       frame.statusBar()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child != line && child->isVisible() && qobject_cast<QLabel*>(child) != nullptr) {
      ADD_FAILURE() << "another box in the status bar: " << child->objectName().toStdString();
    }
  }
  EXPECT_GE(line->width(), line->fontMetrics().horizontalAdvance(text));
}

// Opens a frame on a layout with an edit still in the inspector: a new title for the
// directory index pages.
class FrameCloseTest : public FrameTest {
 protected:
  FrameCloseTest() {
    frame_.show();
    LayoutModel& model = frame_.layout_window()->Model();
    for (const ConfigItem* item : model.ListedItems()) {
      if (item->Label() == "Directory Index Pages") model.Select(item->list_box_id);
    }
    model.Inspector().EditName(0, "PageTitle");
    model.Inspector().EditValue(0, "Albums");
  }
  bool Saved() const {
    return fs::exists(temp_ / "dglobals.txt") &&
           ReadFile(temp_ / "dglobals.txt").find("Albums") != std::string::npos;
  }
  ui::MainWindow frame_{ui_, temp_.path()};
};

// The title bar's close button (and the window manager's Alt+F4, which send a close event),
// the Cancel and Close buttons, Ctrl+Q and Ctrl+W: each asks, Cancel keeps the window and
// writes nothing, Discard closes without saving and Save closes after saving.
TEST_F(FrameCloseTest, EveryWayOfClosingAsksAndFollowsTheAnswer) {
  frame_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame_));
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_FALSE(frame_.close());
  for (const ui::LayoutButton button : {ui::LayoutButton::kCancel, ui::LayoutButton::kClose}) {
    ui_.AnswerMessage(MessageAnswer::kCancel);
    QTest::mouseClick(frame_.layout_window()->Button(button), Qt::LeftButton);
  }
  for (const QKeySequence& key :
       {QKeySequence(Qt::ALT | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_Q),
        QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    ui_.AnswerMessage(MessageAnswer::kCancel);
    QTest::keySequence(&frame_, key);
  }
  EXPECT_TRUE(frame_.isVisible());
  ASSERT_EQ(ui_.messages().size(), 6u);
  for (const auto& message : ui_.messages()) {
    EXPECT_EQ(message.text, "The layout has changes that are not saved. Save them before closing?");
    EXPECT_EQ(message.buttons, MessageButtons::kSaveDiscardCancel);
  }
  EXPECT_FALSE(Saved());
  ui_.AnswerMessage(MessageAnswer::kDiscard);
  QTest::mouseClick(frame_.layout_window()->Button(ui::LayoutButton::kCancel), Qt::LeftButton);
  EXPECT_FALSE(frame_.isVisible());
  EXPECT_FALSE(Saved());
  frame_.show();
  ui_.AnswerMessage(MessageAnswer::kSave);
  QTest::mouseClick(frame_.layout_window()->Button(ui::LayoutButton::kClose), Qt::LeftButton);
  EXPECT_FALSE(frame_.isVisible());
  EXPECT_TRUE(Saved());
}

TEST_F(FrameTest, HelpModeOpensTheCommandsTopicInsteadOfRunningIt) {
  ui::MainWindow frame(ui_, temp_.path());
  frame.show();
  QTest::keyClick(&frame, Qt::Key_F1, Qt::ShiftModifier);
  EXPECT_TRUE(frame.InHelpMode());
  bool ran = false;
  QObject::connect(frame.layout_window(), &ui::LayoutWindow::RunStarted,
                   [&](ui::RunPanel*) { ran = true; });
  frame.Action(211)->trigger();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(ui_.messages().empty());
  EXPECT_FALSE(frame.InHelpMode());
  EXPECT_EQ(frame.help_window()->CurrentPage(), "cmd_generatesite.html");
  EXPECT_FALSE(frame.HelpState());
  frame.Action(2001)->trigger();
  EXPECT_TRUE(frame.HelpState());
  EXPECT_EQ(frame.help_window()->CurrentPage(), "index.html");
  // Escape leaves help mode without opening anything.
  QTest::keyClick(&frame, Qt::Key_F1, Qt::ShiftModifier);
  QTest::keyClick(&frame, Qt::Key_Escape);
  EXPECT_FALSE(frame.InHelpMode());
}

TEST(HelpTest, EveryTopicHasAPage) {
  for (int topic : {0,     24,    27,    24333, 206, 215, 219, 210,  24310, 24321, 24322, 24323,
                    24324, 24326, 24325, 302,   211, 212, 401, 2001, 2002,  2009,  24353, 24332}) {
    const fs::path page =
        ui::PathFromQt(ui::HelpDirectory()) / ui::PathFromQt(ui::HelpPageFor(topic));
    EXPECT_TRUE(fs::is_regular_file(page)) << topic << " " << page;
  }
  EXPECT_EQ(ui::HelpPageFor(99999), "index.html");
}

}  // namespace
}  // namespace pix::test
