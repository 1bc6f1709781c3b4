// The windows built from dialog templates: the proportional layout of ParentWindow, the
// status dialog, the sample layout dialog, the about box and the frame's commands.
#include "base/dialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
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
#include "base/ui/parentwindow.h"
#include "base/ui/qttext.h"
#include "files/settings.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

QRect Rect(const QWidget* widget) { return widget->geometry(); }

TEST(ParentWindowTest, ControlsKeepTheirShareOfTheWindow) {
  ui::ParentWindow window(nullptr, "Config Window", kConfigWindowId);
  window.resize(546, 418);
  window.show();
  EXPECT_EQ(Rect(window.FindControl(kObjListBoxId)), QRect(2, 8, 184, 406));
  window.resize(273, 209);
  EXPECT_EQ(Rect(window.FindControl(kObjListBoxId)), QRect(1, 4, 92, 203));
  // 214 × 273 / 273 = 214, 63 × 209 / 209 = 63: the Close button at its template place.
  EXPECT_EQ(Rect(window.FindControl(kOkButtonId)), QRect(214, 63, 54, 16));
  EXPECT_EQ(window.FindControl(12345), nullptr);
  EXPECT_EQ(window.windowTitle(), "Config Window");
  EXPECT_NE(window.FindControlAs<QListWidget>(kObjListBoxId), nullptr);
  EXPECT_EQ(qobject_cast<QPushButton*>(window.FindControl(kOkButtonId))->text(), "Close");
}

TEST(ParentWindowTest, ControlKindsFollowTheTemplate) {
  DialogTemplate dialog;
  dialog.CX = 100;
  dialog.CY = 50;
  auto item = [](int id, int ordinal, std::uint32_t style) {
    DialogItemTemplate t;
    t.id = id;
    t.class_ordinal = ordinal;
    t.style = style;
    t.title = "x";
    t.CX = 10;
    t.CY = 10;
    return t;
  };
  dialog.items = {item(1, kButtonClass, 0x50010002), item(2, kButtonClass, 0x50010003),
                  item(3, kButtonClass, 0x50010000), item(4, kEditClass, 0x50810000),
                  item(5, kEditClass, 0x50810004),   item(6, kListBoxClass, 0x50810000),
                  item(7, kButtonClass, 0x50010001)};
  Result<ControlSizer> sizer = ControlSizer::FromTemplate(dialog);
  ASSERT_TRUE(sizer.ok());
  ui::ParentWindow window(nullptr, "t", std::move(sizer.value()));
  EXPECT_NE(window.FindControlAs<QCheckBox>(1), nullptr);
  EXPECT_NE(window.FindControlAs<QCheckBox>(2), nullptr);
  ASSERT_NE(window.FindControlAs<QPushButton>(3), nullptr);
  EXPECT_FALSE(window.FindControlAs<QPushButton>(3)->isDefault());
  EXPECT_NE(window.FindControlAs<QLineEdit>(4), nullptr);
  EXPECT_NE(window.FindControlAs<QPlainTextEdit>(5), nullptr);
  EXPECT_NE(window.FindControlAs<QListWidget>(6), nullptr);
  // The template's default push button is the default one.
  ASSERT_NE(window.FindControlAs<QPushButton>(7), nullptr);
  EXPECT_TRUE(window.FindControlAs<QPushButton>(7)->isDefault());
  // A multi-line edit without sideways scrolling wraps its lines.
  EXPECT_EQ(window.FindControlAs<QPlainTextEdit>(5)->lineWrapMode(), QPlainTextEdit::WidgetWidth);
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
  const QWidget* frame = dialog.Body()->FindControl(kProgressFrameId);
  EXPECT_EQ(dialog.ProgressBar()->geometry(), frame->geometry());
  dialog.resize(dialog.width() * 2, dialog.height());
  EXPECT_EQ(dialog.ProgressBar()->geometry(), frame->geometry());

  EXPECT_FALSE(dialog.CancelRequested());
  QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
  EXPECT_TRUE(dialog.CancelRequested());
  EXPECT_FALSE(dialog.CancelButton()->isEnabled());
  // Closing the window during the job is a request to stop, not a way around it.
  dialog.close();
  EXPECT_TRUE(dialog.isVisible());
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
  QTest::mouseClick(dialog.Button(kOkButtonId), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(ReadFile(target_), "old");
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text,
            "Replace current layout with selection\n\nThe current globals.txt is kept as "
            "globals.txt.~1~ beside it.");

  ui_.AnswerMessage(MessageAnswer::kOk);
  QTest::mouseClick(dialog.Button(kOkButtonId), Qt::LeftButton);
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
  QTest::mouseClick(dialog.Button(kHelpButtonId), Qt::LeftButton);
  EXPECT_EQ(topics, std::vector<int>{24});
  QTest::mouseClick(dialog.Button(kOkButtonId), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(ui_.messages().empty());
  dialog.show();
  dialog.List()->setCurrentRow(1);
  QTest::mouseClick(dialog.Button(kCancelButtonId), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(ReadFile(target_), "old");
}

TEST_F(SamplesDialogTest, EnterPressesOkAndEscapeCancels) {
  ui::SamplesDialog dialog(nullptr, ui_, {temp_ / "samples"}, target_);
  EXPECT_TRUE(qobject_cast<QPushButton*>(dialog.Button(kOkButtonId))->isDefault());
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

TEST(AboutBoxTest, ShowsProductVersionAndCopyright) {
  ui::AboutDialog about(nullptr);
  EXPECT_EQ(about.windowTitle(), "About pixamond");
  EXPECT_EQ(about.Line(kVersionLineId),
            QStringLiteral("Version 2.0 / %1-bit").arg(sizeof(void*) * 8));
  EXPECT_TRUE(about.Line(kCopyrightLineId).startsWith("Copyright (C) 1996"));
  EXPECT_EQ(about.Line(kSpecialBuildLineId), "");
}

class FrameTest : public testing::Test {
 protected:
  FrameTest() : home_(temp_.path()) {
    WriteIniString("Files", "SearchDirectory", (temp_ / "site").string());
    fs::create_directories(temp_ / "site");
  }
  TempDir temp_;
  ScopedLayoutHome home_;
  ScriptedUserInterface ui_;
};

TEST_F(FrameTest, MenusCarryTheirHintsAndEditCommandsStartDisabled) {
  ui::MainWindow frame(ui_);
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
  ui::MainWindow frame(ui_);
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
  ui::MainWindow frame_{ui_};
};

TEST_F(FrameCloseTest, TitleBarAndCancelButtonAskAndCancelKeepsTheWindowOpen) {
  // The title bar's close button and the window manager's Alt+F4 send a close event.
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_FALSE(frame_.close());
  EXPECT_TRUE(frame_.isVisible());
  ui_.AnswerMessage(MessageAnswer::kCancel);
  QTest::mouseClick(
      frame_.layout_window()->FindControlAs<QPushButton>(kCancelButtonId), Qt::LeftButton);
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
  QTest::mouseClick(
      frame_.layout_window()->FindControlAs<QPushButton>(kCancelButtonId), Qt::LeftButton);
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
  ui::MainWindow frame(ui_);
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
