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
#include <QTest>
#include <QTextBrowser>

#include "app/ui/aboutdlg.h"
#include "app/ui/configwindow.h"
#include "app/ui/frame.h"
#include "app/ui/helpwindow.h"
#include "app/ui/samplesdlg.h"
#include "app/ui/statusdlg.h"
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

TEST(StatusDialogTest, ShowsTheRunAndCancelAsksTheJobToStop) {
  ui::StatusDialog dialog(nullptr);
  EXPECT_EQ(dialog.windowTitle(), "Status");
  EXPECT_FALSE(dialog.isVisible());
  dialog.SetStepCount(3);
  EXPECT_TRUE(dialog.isVisible());  // Shown by the first progress of the job.
  dialog.SetMainTask("Creating Web Site");
  dialog.SetCurrentStep("Processing Image a.jpg");
  dialog.StepBy(1);
  EXPECT_EQ(dialog.MainTaskField()->text(), "Creating Web Site");
  EXPECT_EQ(dialog.CurrentStepField()->text(), "Processing Image a.jpg");
  EXPECT_EQ(dialog.ProgressBar()->value(), 33);
  EXPECT_TRUE(dialog.MainTaskField()->isReadOnly());
  EXPECT_TRUE(dialog.CurrentStepField()->isReadOnly());

  EXPECT_FALSE(dialog.CancelRequested());
  QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
  EXPECT_TRUE(dialog.CancelRequested());
  EXPECT_FALSE(dialog.CancelButton()->isEnabled());
  // Closing the window during the job is a request to stop, not a way around it.
  dialog.close();
  EXPECT_TRUE(dialog.isVisible());
  dialog.hide();
}

TEST(StatusDialogTest, LabelsShowWholeAndTheFieldsAndBarFollowTheWidth) {
  ui::StatusDialog dialog(nullptr);
  dialog.SetStepCount(2);
  dialog.SetMainTask("Creating Web Site");
  dialog.SetCurrentStep("Processing Image img0001a.jpg");
  ExpectTextsWhole(dialog);
  QLineEdit* step = dialog.CurrentStepField();
  EXPECT_GE(step->width(), step->fontMetrics().horizontalAdvance(step->text()));
  // The labels stand right-aligned before their fields, one above the other.
  const QRect task = dialog.MainTaskField()->geometry();
  EXPECT_LT(task.bottom(), step->geometry().top());
  EXPECT_EQ(task.left(), step->geometry().left());
  EXPECT_LT(step->geometry().bottom(), dialog.ProgressBar()->geometry().top());
  EXPECT_LT(dialog.ProgressBar()->geometry().bottom(),
            dialog.CancelButton()->mapTo(&dialog, QPoint(0, 0)).y());

  const int field = step->width();
  const int bar = dialog.ProgressBar()->width();
  dialog.resize(dialog.width() + 200, dialog.height());
  QApplication::processEvents();
  EXPECT_EQ(step->width(), field + 200);
  EXPECT_EQ(dialog.ProgressBar()->width(), bar + 200);
  ExpectTextsWhole(dialog);
  EXPECT_EQ(dialog.focusWidget(), dialog.CancelButton());
  // Escape is Cancel: the job is asked to stop and the dialog stays until it has.
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.CancelRequested());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(step->text(), "Cancelling...");
  dialog.hide();
}

class SamplesDialogTest : public testing::Test {
 protected:
  SamplesDialogTest() {
    WriteFile(temp_ / "samples" / "samp0002.txt",
              "VariableFileTitle:\r\nSecond\r\n\r\nVariableFileDescription:\r\nTwo\nlines\r\n\r\n");
    WriteFile(temp_ / "samples" / "samp0001.txt", "VariableFileTitle:\nFirst\n\nPageTitle:\nA\n\n");
    WriteFile(temp_ / "samples" / "samp01.txt", "VariableFileTitle:\r\nNo\r\n\r\n");
    WriteFile(temp_ / "samples" / "sample.txt", "VariableFileTitle:\r\nNo\r\n\r\n");
    WriteFile(target_, "old");
  }
  TempDir temp_;
  fs::path target_ = temp_ / "globals.txt";
  ScriptedUserInterface ui_;
};

TEST_F(SamplesDialogTest, ListsSamplesInOrderAndShowsTheHighlightedDescription) {
  ui::SamplesDialog dialog(nullptr, ui_, {temp_ / "samples"}, target_);
  EXPECT_EQ(dialog.windowTitle(), "Sample Layout Selection");
  ASSERT_EQ(dialog.List()->count(), 2);
  EXPECT_EQ(dialog.List()->item(0)->text(), "First");
  EXPECT_EQ(dialog.List()->item(1)->text(), "Second");
  dialog.List()->setCurrentRow(1);
  EXPECT_EQ(dialog.Description()->toPlainText(), "Two\nlines");
  dialog.List()->setCurrentRow(0);
  EXPECT_EQ(dialog.Description()->toPlainText(), "");
  EXPECT_TRUE(dialog.Description()->isReadOnly());
}

TEST_F(SamplesDialogTest, OkAsksFirstAndCancelInTheQuestionKeepsTheDialogOpen) {
  ui::SamplesDialog dialog(nullptr, ui_, {temp_ / "samples"}, target_);
  dialog.show();
  dialog.List()->setCurrentRow(0);
  ui_.AnswerMessage(MessageAnswer::kCancel);
  QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(ReadFile(target_), "old");
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text,
            "Replace current layout with selection\n\nThe current globals.txt is kept as "
            "globals.txt.~1~ beside it.");

  ui_.AnswerMessage(MessageAnswer::kOk);
  QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ReadFile(target_), "VariableFileTitle:\r\nFirst\r\n\r\nPageTitle:\r\nA\r\n\r\n");
  EXPECT_EQ(ReadFile(temp_ / "globals.txt.~1~"), "old");
}

TEST_F(SamplesDialogTest, OkWithoutSelectionAndCancelChangeNothingAndHelpOpensTopic24) {
  ui::SamplesDialog dialog(nullptr, ui_, {temp_ / "samples"}, target_);
  std::vector<int> topics;
  dialog.open_help = [&](int topic) { topics.push_back(topic); };
  dialog.show();
  QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton);
  EXPECT_EQ(topics, std::vector<int>{24});
  QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(ui_.messages().empty());
  dialog.show();
  dialog.List()->setCurrentRow(1);
  QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(ReadFile(target_), "old");
}

TEST_F(SamplesDialogTest, EnterPressesOkAndEscapeCancels) {
  ui::SamplesDialog dialog(nullptr, ui_, {temp_ / "samples"}, target_);
  EXPECT_TRUE(dialog.OkButton()->isDefault());
  dialog.show();
  dialog.List()->setFocus();
  dialog.List()->setCurrentRow(0);
  ui_.AnswerMessage(MessageAnswer::kOk);
  QTest::keyClick(dialog.List(), Qt::Key_Return);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text.rfind("Replace current layout with selection", 0), 0u);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  dialog.show();
  QTest::keyClick(dialog.List(), Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(SamplesDialogTest, TheListAndTheDescriptionGrowWithTheDialogAndTheButtonsShowWhole) {
  ui::SamplesDialog dialog(nullptr, ui_, {temp_ / "samples"}, target_);
  dialog.show();
  ExpectTextsWhole(dialog);
  for (QPushButton* button : {dialog.OkButton(), dialog.CancelButton(), dialog.HelpButton()}) {
    EXPECT_LT(dialog.Description()->mapTo(&dialog, QPoint(0, dialog.Description()->height())).y(),
              button->mapTo(&dialog, QPoint(0, 0)).y());
  }
  const QSize list = dialog.List()->size();
  const QSize description = dialog.Description()->size();
  dialog.resize(dialog.width() + 100, dialog.height() + 150);
  QApplication::processEvents();
  EXPECT_EQ(dialog.List()->width(), list.width() + 100);
  EXPECT_GT(dialog.List()->height(), list.height());
  EXPECT_GT(dialog.Description()->height(), description.height());
  EXPECT_EQ(dialog.List()->height() + dialog.Description()->height(),
            list.height() + description.height() + 150);
  ExpectTextsWhole(dialog);
  // Tab goes from the list through the description to the buttons.
  dialog.List()->setFocus();
  QTest::keyClick(dialog.List(), Qt::Key_Tab);
  EXPECT_EQ(dialog.focusWidget(), dialog.Description());
  QTest::keyClick(dialog.Description(), Qt::Key_Tab);
  EXPECT_TRUE(dialog.focusWidget() == dialog.OkButton() ||
              dialog.focusWidget() == dialog.CancelButton() ||
              dialog.focusWidget() == dialog.HelpButton());
  dialog.hide();
}

TEST(AboutBoxTest, ShowsProductVersionAndCopyright) {
  ui::AboutDialog about(nullptr);
  EXPECT_EQ(about.windowTitle(), "About pixamond");
  EXPECT_EQ(about.Line(ui::AboutLine::kVersion),
            QStringLiteral("Version 2.0 / %1-bit").arg(sizeof(void*) * 8));
  EXPECT_TRUE(about.Line(ui::AboutLine::kCopyright).startsWith("Copyright (C) 1996"));
  EXPECT_EQ(about.Line(ui::AboutLine::kSpecialBuild), "");
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
  EXPECT_EQ(frame.windowTitle(), "pixamond");
  EXPECT_EQ(frame.Action(24333)->statusTip(), "Saves this document");
  EXPECT_EQ(frame.Action(24310)->text(), "E&xit\tAlt+F4");
  EXPECT_EQ(frame.Action(2001)->statusTip(), "Help table of contents");
  for (int id : {24322, 24323, 24324, 24326, 24325}) {
    EXPECT_FALSE(frame.Action(id)->isEnabled()) << id;
  }
  // File Cancel and F3 do nothing.
  frame.Dispatch(ui::kFileCancel);
  frame.Dispatch(ui::kEditFindNext);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(FrameTest, MenuAcceleratorsShownAreTheOnesThatAct) {
  ui::MainWindow frame(ui_, temp_.path());
  int shown = 0;
  for (QAction* top : frame.menuBar()->actions()) {
    for (QAction* action : top->menu()->actions()) {
      const int tab = action->text().indexOf(QLatin1Char('\t'));
      if (tab < 0) continue;
      QString key = action->text().mid(tab + 1);
      key.replace(QStringLiteral("BkSp"), QStringLiteral("Backspace"));
      EXPECT_EQ(action->shortcut(), QKeySequence(key)) << action->text().toStdString();
      ++shown;
    }
  }
  EXPECT_EQ(shown, 7);
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

TEST_F(FrameCloseTest, TitleBarAndCancelButtonAskAndCancelKeepsTheWindowOpen) {
  // The title bar's close button and the window manager's Alt+F4 send a close event.
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_FALSE(frame_.close());
  EXPECT_TRUE(frame_.isVisible());
  ui_.AnswerMessage(MessageAnswer::kCancel);
  QTest::mouseClick(frame_.layout_window()->Button(ui::LayoutButton::kCancel), Qt::LeftButton);
  EXPECT_TRUE(frame_.isVisible());
  ASSERT_EQ(ui_.messages().size(), 2u);
  for (const auto& message : ui_.messages()) {
    EXPECT_EQ(message.text, "The layout has changes that are not saved. Save them before closing?");
    EXPECT_EQ(message.buttons, MessageButtons::kSaveDiscardCancel);
  }
  EXPECT_FALSE(Saved());

  ui_.AnswerMessage(MessageAnswer::kSave);
  EXPECT_TRUE(frame_.close());
  EXPECT_TRUE(Saved());
}

TEST_F(FrameCloseTest, DiscardClosesWithoutSaving) {
  ui_.AnswerMessage(MessageAnswer::kDiscard);
  QTest::mouseClick(frame_.layout_window()->Button(ui::LayoutButton::kCancel), Qt::LeftButton);
  EXPECT_FALSE(frame_.isVisible());
  EXPECT_FALSE(Saved());
}

TEST_F(FrameCloseTest, AltF4IsExitWhichSavesAndClosesWithoutAsking) {
  frame_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame_));
  QTest::keyClick(&frame_, Qt::Key_F4, Qt::AltModifier);
  EXPECT_FALSE(frame_.isVisible());
  EXPECT_TRUE(Saved());
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(FrameTest, HelpModeOpensTheCommandsTopicInsteadOfRunningIt) {
  ui::MainWindow frame(ui_, temp_.path());
  frame.show();
  QTest::keyClick(&frame, Qt::Key_F1, Qt::ShiftModifier);
  EXPECT_TRUE(frame.InHelpMode());
  bool ran = false;
  QObject::connect(frame.layout_window(), &ui::LayoutWindow::RunStarted,
                   [&](ui::StatusDialog*) { ran = true; });
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
