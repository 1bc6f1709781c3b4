// The layout window driven as a user drives it: rows picked in the list, text typed into
// the inspector, commands and buttons, with every box answered by a scripted interface.
#include "app/ui/configwindow.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <optional>

#include "app/ui/captionpane.h"
#include "app/ui/picturegrid.h"
#include "app/ui/runpanel.h"
#include "app/ui/samplesdlg.h"
#include "app/ui/layout_window_fixture.h"
#include "base/ui/qttext.h"
#include "base/ui/qtuserinterface.h"
#include "layout/pictureitem.h"
#include "picture/comread.h"
#include "picture/ui/imagewindow.h"
#include "support/ui/dark_palette.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;
using ui::LayoutButton;
using ui::LayoutWindow;

class ConfigWindowTest : public LayoutWindowTest {
 protected:
  ConfigWindowTest() {
    WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
    OpenWindow(800, 600);
  }

  QImage ListPicture() const { return window_->ObjListBox()->viewport()->grab().toImage(); }
  QRect RowRect(int row) const {
    return window_->ObjListBox()->visualItemRect(window_->ObjListBox()->item(row));
  }
  static bool AnyPixelOf(const QImage& image, const QRect& area, const QColor& color) {
    for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y) {
      for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x) {
        if (image.pixelColor(x, y) == color) return true;
      }
    }
    return false;
  }
  int RowMiddle(int row) const { return RowRect(row).top() + RowRect(row).height() / 2; }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : ui_.messages()) texts.push_back(shown.text);
    return texts;
  }
};

// Nothing is selected at first; a row picked fills the inspector, and picking it again
// neither takes nor overwrites an edit in it.
TEST_F(ConfigWindowTest, RowsFollowTheTreeAndSelectingARowAgainChangesNothing) {
  QListWidget* list = window_->ObjListBox();
  ASSERT_EQ(list->count(), static_cast<int>(window_->Model().ListedItems().size()));
  EXPECT_EQ(ItemAt(0)->Label(), "My Web Site");
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_EQ(window_->Model().SelectedItem(), nullptr);
  EXPECT_EQ(window_->inspector_window()->FieldCount(), InspectorModel::kFieldCount);
  for (int i = 0; i < InspectorModel::kFieldCount; ++i) {
    EXPECT_TRUE(NameBox(i)->text().isEmpty());
    EXPECT_TRUE(ValueBox(i)->toPlainText().isEmpty());
  }
  Pick("trip");
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "trip");
  EXPECT_EQ(NameBox(0)->text(), "PageTitle");
  EXPECT_EQ(ValueBox(0)->toPlainText(), "Trip");
  TypeValue(0, " again");
  Pick("trip");
  EXPECT_EQ(ValueBox(0)->toPlainText(), "Trip again");
  EXPECT_FALSE(window_->Model().SelectedItem()->ModifiedFlag());
  // Settings items show their keys, which cannot be edited.
  Pick("User");
  EXPECT_TRUE(NameBox(0)->isReadOnly());
  Pick("Default Page");
  EXPECT_FALSE(NameBox(0)->isReadOnly());
}

TEST_F(ConfigWindowTest,
       EditedItemIsModifiedAtTheNextSelectionAndCloseLeavesTheQuestionToTheFrame) {
  Pick("trip");
  ConfigItem* trip = window_->Model().SelectedItem();
  int spare = 0;
  while (!NameBox(spare)->text().isEmpty()) ++spare;
  NameBox(spare)->setFocus();
  QTest::keyClicks(NameBox(spare), "PageIntro");
  TypeValue(spare, "First line");
  QTest::keyClick(ValueBox(spare), Qt::Key_Return);
  QTest::keyClicks(ValueBox(spare), "second");
  Pick("b.jpg");
  EXPECT_TRUE(trip->ModifiedFlag());
  EXPECT_EQ(trip->GetVarValue("PageIntro"), "First line\r\nsecond");
  bool closed = false;
  QObject::connect(window_.get(), &LayoutWindow::CloseRequested, [&] { closed = true; });
  QTest::mouseClick(window_->Button(LayoutButton::kClose), Qt::LeftButton);
  EXPECT_TRUE(closed);
  // Close writes nothing by itself: the frame asks, as for the title bar's button.
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");
  EXPECT_TRUE(window_->Model().HasUnsavedEdits());
  window_->Model().SaveLayout();
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"),
            "PageTitle:\r\nTrip\r\n\r\nPageIntro:\r\nFirst line\r\nsecond\r\n\r\n");
}

TEST_F(ConfigWindowTest, UntouchedRowsLeaveItemsUnmodifiedAndCancelSavesNothing) {
  Pick("trip");
  Pick("b.jpg");
  Pick("Default Page");
  for (const ConfigItem* item : window_->Model().ListedItems()) {
    EXPECT_FALSE(item->ModifiedFlag()) << item->Label();
  }
  TypeValue(0, "changed");
  bool closed = false;
  QObject::connect(window_.get(), &LayoutWindow::CloseRequested, [&] { closed = true; });
  QTest::mouseClick(window_->Button(LayoutButton::kCancel), Qt::LeftButton);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(fs::exists(home_ / "globals.txt") &&
               ReadFile(home_ / "globals.txt").find("changed") != std::string::npos);
}

TEST_F(ConfigWindowTest, DeleteCrossesOutDrawsLinesInThePalettesColoursAndUndoTakesThemBack) {
  Pick("Default Page");
  window_->Command(ui::kDelete);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text, "It is not possible to delete this item.");
  EXPECT_EQ(ui_.messages()[0].title, "Error");

  Pick("trip");
  window_->SetFolded(RowOf("trip"), false);
  window_->Command(ui::kDelete);
  const int trip = RowOf("trip");
  const int a = RowOf("a.jpg");
  EXPECT_TRUE(ItemAt(trip)->IsCrossedOut());
  EXPECT_TRUE(ItemAt(a)->IsCrossedOut());
  // Every colour comes from the palette: a light one and a dark one.
  for (const QPalette& palette : {QApplication::palette(), DarkPalette()}) {
    window_->ObjListBox()->setPalette(palette);
    const QImage picture = ListPicture();
    const int right = picture.width() - 3;
    // The line across a crossed-out row is drawn in the row's text colour.
    EXPECT_EQ(picture.pixelColor(right, RowMiddle(a)), palette.color(QPalette::Text));
    EXPECT_EQ(picture.pixelColor(right, RowMiddle(trip)), palette.color(QPalette::HighlightedText));
    // The selected row is filled with the highlight, any other with the base colour.
    EXPECT_EQ(picture.pixelColor(right, RowMiddle(trip) - 3), palette.color(QPalette::Highlight));
    EXPECT_EQ(picture.pixelColor(right, RowMiddle(RowOf("b.jpg"))), palette.color(QPalette::Base));
    // Labels are written in the text colours.
    EXPECT_TRUE(AnyPixelOf(picture, RowRect(RowOf("b.jpg")), palette.color(QPalette::Text)));
    EXPECT_TRUE(
        AnyPixelOf(picture, RowRect(trip).adjusted(0, 0, 0, -RowRect(trip).height() / 2 - 1),
                   palette.color(QPalette::HighlightedText)));
  }

  window_->Command(ui::kUndo);
  EXPECT_FALSE(ItemAt(a)->IsCrossedOut());
  const QImage picture = ListPicture();
  EXPECT_EQ(picture.pixelColor(picture.width() - 3, RowMiddle(a)),
            DarkPalette().color(QPalette::Base));
}

TEST_F(ConfigWindowTest, APictureMovedToTheTrashLeavesTheListAndAsksNothingMore) {
  Pick("b.jpg");
  window_->Command(ui::kDelete);
  ui_.AnswerMessage(MessageAnswer::kOk);
  const std::string picture = ReadFile(site_ / "b.jpg");
  const int rows = window_->ObjListBox()->count();
  window_->Command(ui::kSave);
  EXPECT_FALSE(fs::exists(site_ / "b.jpg"));
  // In the freedesktop.org Trash, whole, with the record that takes it back.
  const fs::path trash = fs::path(std::getenv("XDG_DATA_HOME")) / "Trash";
  EXPECT_EQ(ReadFile(trash / "files" / "b.jpg"), picture);
  EXPECT_NE(ReadFile(trash / "info" / "b.jpg.trashinfo").find("Path=" + (site_ / "b.jpg").string()),
            std::string::npos);
  fs::remove_all(trash);
  // Its row is gone rather than left crossed out, and nothing is selected any more.
  EXPECT_EQ(window_->ObjListBox()->count(), rows - 1);
  EXPECT_EQ(window_->ObjListBox()->count(),
            static_cast<int>(window_->Model().ListedItems().size()));
  for (const ConfigItem* item : window_->Model().ListedItems()) {
    EXPECT_NE(item->Label(), "b.jpg");
    EXPECT_FALSE(item->IsCrossedOut()) << item->Label();
  }
  EXPECT_EQ(window_->Model().SelectedItem(), nullptr);
  EXPECT_FALSE(window_->Model().RootItem()->HasCrossedOut());
  // The next Auto Organize asks its own question only, not about deleting what is gone.
  ui_.AnswerMessage(MessageAnswer::kNo);
  const std::size_t before = ui_.messages().size();
  window_->Command(ui::kAutoOrganize);
  ASSERT_TRUE(WaitForRun(*window_));
  ASSERT_EQ(ui_.messages().size(), before + 1);
  EXPECT_EQ(ui_.messages().back().title, "Auto Layout");
}

TEST_F(ConfigWindowTest, SelectDirectoryRefusesTheLayoutHomeAndMissingFolders) {
  Pick("b.jpg");
  const RootConfigItem* before = window_->Model().RootItem();
  std::string offered;
  window_->choose_directory = [&](const std::string& start) -> std::optional<std::string> {
    offered = start;
    return Home();
  };
  QTest::mouseClick(window_->Button(LayoutButton::kSelectDir), Qt::LeftButton);
  EXPECT_EQ(offered, Site());
  ASSERT_FALSE(ui_.messages().empty());
  EXPECT_EQ(window_->Model().RootItem(), before);
  ASSERT_NE(window_->Model().SelectedItem(), nullptr);  // Not rebuilt: the selection stays.
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "b.jpg");
  EXPECT_EQ(window_->Model().SiteDir(), Site());

  window_->choose_directory = [](const std::string&) { return std::optional<std::string>(); };
  const std::size_t shown = ui_.messages().size();
  window_->Command(ui::kSelectDir);
  EXPECT_EQ(ui_.messages().size(), shown);
  EXPECT_EQ(window_->Model().RootItem(), before);
}

// The preview shows a hint for items that are not pictures, and for a picture that has no
// inline image yet; after a run it shows the picture.
TEST_F(ConfigWindowTest, GenerateSiteShowsProgressRebuildsTheTreeAndThePreviewFollows) {
  EXPECT_EQ(window_->image_window()->Hint(), QString::fromUtf8(ui::kSelectPictureHint));
  Pick("a.jpg");
  EXPECT_TRUE(window_->image_window()->FileMissing());
  EXPECT_EQ(window_->image_window()->Hint(), QString::fromUtf8(ui::kGeneratePreviewHint));
  std::vector<int> percents;
  std::vector<std::string> steps;
  std::vector<QString> shown;
  QObject::connect(window_.get(), &LayoutWindow::RunStarted, [&](ui::RunPanel* panel) {
    QObject::connect(panel, &ui::RunPanel::Refreshed, [&, panel] {
      EXPECT_TRUE(panel->isVisible());
      percents.push_back(panel->ProgressBar()->value());
      steps.push_back(ui::FromQt(panel->StepLabel()->text()));
      shown.push_back(panel->ProgressBar()->text());
      if (!panel->MainTask().empty()) {
        EXPECT_EQ(ui::FromQt(panel->TaskLabel()->text()), "Creating Web Site");
      }
    });
  });
  QTest::mouseClick(window_->Button(LayoutButton::kGenerateSite), Qt::LeftButton);
  // The window is not held by the run: it reads while the run works.
  EXPECT_TRUE(window_->IsRunning());
  EXPECT_TRUE(window_->run_panel()->isVisible());
  EXPECT_FALSE(window_->Button(LayoutButton::kGenerateSite)->isEnabled());
  ASSERT_TRUE(WaitForRun(*window_));
  EXPECT_FALSE(window_->run_panel()->isVisible());
  EXPECT_TRUE(window_->Button(LayoutButton::kGenerateSite)->isEnabled());
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 3);  // The bar counts pictures: 3 of 3.
  EXPECT_EQ(shown.back(), "3 of 3");
  EXPECT_NE(std::find(steps.begin(), steps.end(), "Processing Image a.jpg"), steps.end());
  EXPECT_TRUE(fs::exists(site_ / "index.html"));
  EXPECT_TRUE(fs::exists(site_ / "trip" / "inline" / "a.gif"));
  EXPECT_TRUE(window_->Model().SelectedItem() == nullptr);
  EXPECT_FALSE(window_->image_window()->PictureShown());
  Pick("a.jpg");
  EXPECT_TRUE(window_->image_window()->PictureShown());
  EXPECT_EQ(window_->cursor().shape(), Qt::ArrowCursor);
  Pick("trip");
  EXPECT_EQ(window_->image_window()->Hint(), QString::fromUtf8(ui::kSelectPictureHint));
  EXPECT_FALSE(window_->image_window()->FileMissing());
}

TEST_F(ConfigWindowTest, CancelDuringARunStopsAfterThePictureClosesThePagesAndRebuilds) {
  int refreshes = 0;
  QObject::connect(window_.get(), &LayoutWindow::RunStarted, [&](ui::RunPanel* panel) {
    QObject::connect(panel, &ui::RunPanel::Refreshed, [&, panel] {
      ++refreshes;
      if (panel->Position() == 1 && !panel->CancelRequested()) {
        QTest::mouseClick(panel->CancelButton(), Qt::LeftButton);
      }
    });
  });
  // Each picture entry leaves its name on its page.
  WriteFile(home_ / "globals.txt", "FileEntryTemplate:\r\n[entry ${AnchorFileName}]\r\n\r\n");
  Pick("b.jpg");
  window_->Command(ui::kGenerateSite);
  ASSERT_TRUE(WaitForRun(*window_));
  EXPECT_GT(refreshes, 0);
  // One picture got its entry. (Inline images of the next pictures may have been made ahead
  // of the page writer; they are current copies, not part of the pages.)
  std::string pages;
  for (const fs::path& page : {site_ / "trip" / "index.html", site_ / "index.html"}) {
    if (fs::exists(page)) pages += ReadFile(page);
  }
  EXPECT_NE(pages.find("[entry a.jpg]"), std::string::npos) << pages;
  EXPECT_EQ(pages.find("[entry c.jpg]"), std::string::npos) << pages;
  EXPECT_EQ(pages.find("[entry b.jpg]"), std::string::npos) << pages;
  // Pages that were begun are finished files.
  for (const fs::path& page : {site_ / "trip" / "index.html", site_ / "index.html"}) {
    if (fs::exists(page)) {
      const QString text = ui::ToQt(ReadFile(page)).toLower();
      EXPECT_TRUE(text.trimmed().endsWith("</html>")) << page;
    }
  }
  // The tree was rebuilt: the selection is forgotten and the list shows the new rows.
  EXPECT_EQ(window_->Model().SelectedItem(), nullptr);
  EXPECT_TRUE(window_->ObjListBox()->selectedItems().isEmpty());
  EXPECT_EQ(window_->ObjListBox()->count(),
            static_cast<int>(window_->Model().ListedItems().size()));
}

TEST_F(ConfigWindowTest, MissingFileQuestionAnsweredCancelStopsTheRun) {
  // A picture that vanishes between the listing of its folder and its turn asks "Missing
  // File". The top folder is listed before the run starts its steps; "d.jpg" comes after
  // "b.jpg" in it.
  WriteJpegPicture(site_ / "d.jpg", 30, 30, "");
  QObject::connect(window_.get(), &LayoutWindow::RunStarted, [&](ui::RunPanel* panel) {
    QObject::connect(panel, &ui::RunPanel::Refreshed, [&, panel] {
      if (panel->MainTask() == "Creating Web Site" && panel->Position() == 0) {
        fs::remove(site_ / "b.jpg");
      }
    });
  });
  ui_.AnswerMessage(MessageAnswer::kCancel);
  window_->Command(ui::kGenerateSite);
  ASSERT_TRUE(WaitForRun(*window_));
  ASSERT_FALSE(ui_.messages().empty());
  EXPECT_EQ(ui_.messages()[0].title, "Missing File");
  EXPECT_EQ(ui_.messages()[0].buttons, MessageButtons::kOkCancel);
  EXPECT_EQ(ui_.messages().size(), 1u);  // Nothing more is asked once cancelled.
  EXPECT_FALSE(fs::exists(site_ / "d.html")) << "no entry after the cancel";
}

TEST_F(ConfigWindowTest, AutoOrganizeWithCancelNoAndYes) {
  Pick("b.jpg");
  ui_.AnswerMessage(MessageAnswer::kCancel);
  ui_.AnswerMessage(MessageAnswer::kOk);
  window_->Command(ui::kAutoOrganize);
  ASSERT_EQ(Texts(), (std::vector<std::string>{"Regenerate Web Sight after creating layout design.",
                                               "Auto-Organize aborted."}));
  EXPECT_EQ(ui_.messages()[0].title, "Auto Layout");
  EXPECT_EQ(ui_.messages()[0].buttons, MessageButtons::kYesNoCancel);
  ASSERT_NE(window_->Model().SelectedItem(), nullptr);
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "b.jpg");
  EXPECT_EQ(window_->ObjListBox()->currentRow(), RowOf("b.jpg"));

  ui_.AnswerMessage(MessageAnswer::kNo);
  window_->Command(ui::kAutoOrganize);
  ASSERT_TRUE(WaitForRun(*window_));
  EXPECT_EQ(window_->Model().SelectedItem(), nullptr);
  EXPECT_FALSE(fs::exists(site_ / "index.html"));

  bool ran = false;
  QObject::connect(window_.get(), &LayoutWindow::RunStarted, [&](ui::RunPanel*) { ran = true; });
  ui_.AnswerMessage(MessageAnswer::kYes);
  window_->Command(ui::kAutoOrganize);
  ASSERT_TRUE(WaitForRun(*window_));
  EXPECT_TRUE(ran);
  EXPECT_TRUE(fs::exists(site_ / "index.html"));
}

TEST_F(ConfigWindowTest, SampleLayoutsReplaceTheLayoutAndRebuild) {
  int ran = 0;
  window_->exec_dialog = [&](QDialog& dialog) {
    ++ran;
    auto& samples = dynamic_cast<ui::SamplesDialog&>(dialog);
    EXPECT_GT(samples.List()->count(), 0);
    samples.List()->setCurrentRow(0);
    QTest::mouseClick(samples.OkButton(), Qt::LeftButton);
    return dialog.result();
  };
  ui_.AnswerMessage(MessageAnswer::kOk);
  Pick("b.jpg");
  window_->Command(ui::kSampleLayouts);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(ui_.messages().size(), 1u);  // The confirmation; its words are the dialog's test's.
  EXPECT_EQ(ReadFile(home_ / "globals.txt"),
            WithCrLfLineEnds(ReadFile(ListSampleLayouts(SampleDirectories(home_)).front().file_name)));
  EXPECT_EQ(window_->Model().SelectedItem(), nullptr);
}

TEST_F(ConfigWindowTest, HelpButtonOpensTheLayoutWindowTopic) {
  std::vector<int> topics;
  window_->open_help = [&](int topic) { topics.push_back(topic); };
  QTest::mouseClick(window_->Button(LayoutButton::kHelp), Qt::LeftButton);
  window_->Command(ui::kShowHelpContents);
  EXPECT_EQ(topics, (std::vector<int>{27, 0}));
}

// ---- Sizes, keys, the tab order and Open ----------------------------------------------------

TEST_F(ConfigWindowTest, RowsAreAsWideAsTheirLabelsAndLongValuesWrap) {
  const std::string long_name =
      "A folder whose name is much longer than the tree is wide, as names of holidays are";
  WriteJpegPicture(site_ / long_name / "x.jpg", 20, 20, "");
  OpenWindow(800, 600);
  QListWidget* list = window_->ObjListBox();
  const QModelIndex long_row = list->model()->index(RowOf(long_name), 0);
  const QModelIndex short_row = list->model()->index(RowOf("b.jpg"), 0);
  const int label_width = QFontMetrics(list->font()).horizontalAdvance(ui::ToQt(long_name));
  EXPECT_GT(list->sizeHintForIndex(long_row).width(), label_width);
  EXPECT_LT(list->sizeHintForIndex(short_row).width(), list->sizeHintForIndex(long_row).width());
  EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);
  EXPECT_GE(list->visualRect(long_row).width(), list->sizeHintForIndex(long_row).width());
  // A long value wraps in its box rather than scrolling sideways.
  Pick("trip");
  ValueBox(0)->setPlainText(QString(QStringLiteral("<td>a cell of a long template line</td> "))
                                .repeated(20));
  QApplication::processEvents();
  EXPECT_EQ(ValueBox(0)->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(ValueBox(0)->horizontalScrollBar()->maximum(), 0);
  EXPECT_GT(ValueBox(0)->document()->documentLayout()->documentSize().height(), 3);
}

TEST_F(ConfigWindowTest, TabGoesFromTheTreeThroughCaptionsOrValuesAndANewNameToTheButtons) {
  QListWidget* list = window_->ObjListBox();
  auto tab = [this] { QTest::keyClick(window_->focusWidget(), Qt::Key_Tab); };
  // A picture opens on its Caption page: its five labelled fields, then the buttons.
  Pick("b.jpg");
  list->setFocus();
  const std::vector<QPlainTextEdit*> fields = window_->caption_pane()->ShownBoxes();
  ASSERT_EQ(fields.size(), 5u);
  for (QPlainTextEdit* field : fields) {
    tab();
    EXPECT_EQ(window_->focusWidget(), field);
  }
  tab();
  EXPECT_EQ(window_->focusWidget(), window_->Button(LayoutButton::kClose));

  Pick("trip");
  list->setFocus();
  // The value of every named row, then the first empty row's name box, for a new variable.
  std::vector<QWidget*> expected;
  int first_empty = -1;
  for (int row = 0; row < window_->inspector_window()->FieldCount(); ++row) {
    if (!NameBox(row)->text().isEmpty()) {
      expected.push_back(ValueBox(row));
    } else if (first_empty < 0) {
      first_empty = row;
    }
  }
  ASSERT_GE(first_empty, 0);
  expected.push_back(NameBox(first_empty));
  for (QWidget* box : expected) {
    tab();
    EXPECT_EQ(window_->focusWidget(), box);
  }
  for (QPushButton* button : window_->Buttons()) {
    tab();
    EXPECT_EQ(window_->focusWidget(), button) << ui::FromQt(button->text());
  }
  // Shift+Tab from the first value goes back to the tree.
  ValueBox(0)->setFocus(Qt::TabFocusReason);
  QTest::keyClick(ValueBox(0), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(window_->focusWidget(), list);
  // A name box reached from the keyboard does not select its name: typing adds to it.
  NameBox(0)->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(NameBox(0)->hasSelectedText());
  EXPECT_EQ(NameBox(0)->cursorPosition(), NameBox(0)->text().size());
  // A row the inspector adds joins the order in its place.
  int spare = 0;
  while (!NameBox(spare)->text().isEmpty()) ++spare;
  const int before = window_->inspector_window()->FieldCount();
  for (int i = spare; i < before; ++i) {
    NameBox(i)->setFocus();
    QTest::keyClicks(NameBox(i), QStringLiteral("Name%1").arg(i));
  }
  ASSERT_GT(window_->inspector_window()->FieldCount(), before);
  ValueBox(before - 1)->setFocus();
  tab();
  EXPECT_EQ(window_->focusWidget(), NameBox(before));
  // Every box still takes the focus from a click.
  QTest::mouseClick(NameBox(0), Qt::LeftButton);
  EXPECT_EQ(window_->focusWidget(), NameBox(0));
}

TEST_F(ConfigWindowTest, OpenIsReachedByDoubleClickEnterAndTheRowsMenu) {
  // An editor that cannot start says so at once: the sign that Open was called.
  WriteSetting("Files", "PictureEditor", "/no/such/editor %s");
  QListWidget* list = window_->ObjListBox();
  std::size_t seen = 0;
  auto opened = [&] {
    const std::size_t count = ui_.messages().size() - seen;
    for (std::size_t i = seen; i < ui_.messages().size(); ++i) {
      EXPECT_EQ(ui_.messages()[i].title, "Error");
      EXPECT_EQ(ui_.messages()[i].text.rfind("The picture editor could not be started.", 0), 0u);
    }
    seen = ui_.messages().size();
    return count;
  };
  Pick("a.jpg");
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                     list->visualItemRect(list->item(RowOf("a.jpg"))).center());
  EXPECT_EQ(opened(), 1u);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(opened(), 1u);

  std::unique_ptr<QMenu> menu(window_->BuildContextMenu(nullptr));
  auto action = [&](int id) -> QAction* {
    for (QAction* a : menu->actions()) {
      if (a->data().toInt() == id) return a;
    }
    return nullptr;
  };
  ASSERT_NE(action(ui::kOpen), nullptr);
  EXPECT_TRUE(action(ui::kOpen)->isEnabled());
  EXPECT_TRUE(action(ui::kRename)->isEnabled());
  EXPECT_TRUE(action(ui::kDelete)->isEnabled());
  EXPECT_FALSE(action(ui::kUndo)->isEnabled());
  action(ui::kOpen)->trigger();
  EXPECT_EQ(opened(), 1u);

  // Items that cannot be opened are not: no warning for a double-click or Enter on them.
  Pick("trip");
  QTest::keyClick(list, Qt::Key_Return);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                     list->visualItemRect(list->item(RowOf("trip"))).center());
  EXPECT_EQ(opened(), 0u);
  Pick("Default Page");
  menu.reset(window_->BuildContextMenu(nullptr));
  EXPECT_FALSE(action(ui::kOpen)->isEnabled());
  EXPECT_FALSE(action(ui::kRename)->isEnabled());
  EXPECT_FALSE(action(ui::kDelete)->isEnabled());
  EXPECT_TRUE(action(ui::kSave)->isEnabled());
}

// Every button lies whole inside the window and shows its whole text.
void ExpectButtonsWhole(LayoutWindow& window) {
  const QRect inside = window.rect();
  for (QPushButton* button : window.Buttons()) {
    const std::string name = ui::FromQt(button->text());
    const QRect place(button->mapTo(&window, QPoint(0, 0)), button->size());
    EXPECT_TRUE(inside.contains(place))
        << name << " at " << window.width() << "x" << window.height();
    EXPECT_GE(button->width(), button->sizeHint().width()) << name;
    EXPECT_GE(button->height(), button->sizeHint().height()) << name;
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text())) << name;
  }
}

TEST_F(ConfigWindowTest, ThreePanesSideBySideFollowTheSplitterAndThePreviewGrowsWithTheWindow) {
  QSplitter* panes = window_->PaneSplitter();
  ASSERT_EQ(panes->count(), 3);
  EXPECT_EQ(panes->widget(0), window_->ObjListBox());
  EXPECT_EQ(panes->widget(1), window_->InspectorTabs());
  EXPECT_TRUE(panes->widget(1)->isAncestorOf(window_->inspector_window()));
  EXPECT_TRUE(panes->widget(1)->isAncestorOf(window_->caption_pane()));
  EXPECT_TRUE(panes->widget(2)->isAncestorOf(window_->image_window()));
  QStringList texts;
  for (QPushButton* button : window_->Buttons()) {
    EXPECT_TRUE(panes->widget(2)->isAncestorOf(button));
    texts << button->text();
  }
  EXPECT_EQ(texts, QStringList({"Close", "Cancel", "Help", "Generate Site", "Select Dir"}));
  for (int i = 0; i < 3; ++i) EXPECT_GT(panes->sizes()[i], 0) << i;
  // Left to right: tree, inspector, column; the preview on top, the buttons below it in
  // their order, all of one width.
  EXPECT_LT(window_->ObjListBox()->geometry().right(), panes->widget(1)->geometry().left());
  EXPECT_LT(panes->widget(1)->geometry().right(), panes->widget(2)->geometry().left());
  int top = window_->image_window()->geometry().bottom();
  for (QPushButton* button : window_->Buttons()) {
    EXPECT_GT(button->geometry().top(), top) << ui::FromQt(button->text());
    top = button->geometry().bottom();
    EXPECT_EQ(button->width(), window_->Buttons().front()->width());
  }
  // The panes fill the window but for a small margin.
  const QRect covered(panes->mapTo(window_.get(), QPoint(0, 0)), panes->size());
  EXPECT_LE(window_->width() - covered.width(), 20);
  EXPECT_LE(window_->height() - covered.height(), 20);
  // The panes follow the splitter; the preview grows with the window.
  QApplication::processEvents();
  QList<int> widths = panes->sizes();
  widths[0] += 40;
  widths[1] -= 40;
  panes->setSizes(widths);
  QApplication::processEvents();
  EXPECT_EQ(panes->sizes(), widths);
  EXPECT_EQ(window_->ObjListBox()->width(), widths[0]);
  EXPECT_EQ(window_->inspector_window()->width(), widths[1]);

  const QSize preview = window_->image_window()->size();
  const int inspector = window_->inspector_window()->width();
  window_->resize(window_->width() + 300, window_->height() + 200);
  QApplication::processEvents();
  // The inspector takes most of the new width; the preview takes all of the new height,
  // and some of the width.
  EXPECT_GT(window_->inspector_window()->width(), inspector + 100);
  EXPECT_EQ(window_->image_window()->height(), preview.height() + 200);
  EXPECT_GT(window_->image_window()->width(), preview.width());
  // The buttons keep their height.
  for (QPushButton* button : window_->Buttons()) {
    EXPECT_EQ(button->height(), button->sizeHint().height()) << ui::FromQt(button->text());
  }
  // Wider panes by the splitter give the preview room in both directions.
  widths = panes->sizes();
  widths[2] += 100;
  widths[1] -= 100;
  const int before = window_->image_window()->width();
  panes->setSizes(widths);
  QApplication::processEvents();
  EXPECT_GT(window_->image_window()->width(), before + 50);
}

TEST_F(ConfigWindowTest, ButtonsKeepTheirTextWholeAndInspectorRowsStackFromTheTop) {
  const QSize minimum = window_->minimumSizeHint();
  window_->resize(minimum);
  QApplication::processEvents();
  EXPECT_EQ(window_->size(), minimum);
  ExpectButtonsWhole(*window_);
  // The smallest window still shows one inspector row whole and a preview.
  EXPECT_GE(window_->inspector_window()->viewport()->height(),
            window_->inspector_window()->RowHeight());
  EXPECT_GT(window_->image_window()->height(), 0);
  // Never a giant: at a large size the buttons stay within their width and a half.
  window_->resize(1800, 1100);
  QApplication::processEvents();
  ExpectButtonsWhole(*window_);
  for (QPushButton* button : window_->Buttons()) {
    EXPECT_LE(button->height(), button->sizeHint().height() * 3 / 2);
    EXPECT_LE(button->width(), button->sizeHint().width() * 2);
  }
  EXPECT_GT(window_->image_window()->width(), 100);
  // The first size shows every row of the tree and five rows of the inspector.
  const QSize first = window_->sizeHint();
  EXPECT_GE(first.height(), window_->ObjListBox()->count() *
                                ui::ConfigRowDelegate::RowHeight(window_->ObjListBox()->font()));
  EXPECT_GE(first.height(), 5 * window_->inspector_window()->RowHeight());
  window_->resize(first);
  QApplication::processEvents();
  ExpectButtonsWhole(*window_);
  // Inspector rows stack from the top, as wide as the inspector.
  Pick("trip");
  QApplication::processEvents();
  ui::InspectorWindow* inspector = window_->inspector_window();
  const int height = inspector->RowHeight();
  ASSERT_GT(height, 0);
  for (int i = 0; i < inspector->FieldCount(); ++i) {
    ui::VarField* field = inspector->Field(i);
    EXPECT_EQ(field->y(), i * height) << i;
    EXPECT_EQ(field->height(), height) << i;
    EXPECT_EQ(field->width(), inspector->viewport()->width()) << i;
    // The name box above its value, both as wide as the row.
    EXPECT_LT(NameBox(i)->geometry().bottom(), ValueBox(i)->geometry().top());
    EXPECT_EQ(ValueBox(i)->width(), field->width());
    // A value shows three lines without scrolling.
    EXPECT_GE(ValueBox(i)->viewport()->height(), 3 * ValueBox(i)->fontMetrics().lineSpacing());
  }
  // The scroll bar moves a row at a time.
  EXPECT_EQ(inspector->verticalScrollBar()->singleStep(), height);
}

// ---- UTF-8 text and file names through the window's own dialogs --------------------------

// Types `text` character by character, as a keyboard (or an input method) delivers it;
// QTest::keyClicks passes through Latin-1 and cannot type "\u2013" or "\u20AC".
void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

const char kStormUtf8[] =
    "Storm \xC3\xBC"
    "ber Z\xC3\xBCrich \xE2\x80\x93 5 \xE2\x82\xAC";
const char16_t kStorm[] = u"Storm \u00FCber Z\u00FCrich \u2013 5 \u20AC";
const char kZurichUtf8[] =
    "Z\xC3\xBCrich S\xC3\xBC"
    "d";
const char16_t kZurich[] = u"Z\u00FCrich S\u00FCd";

TEST_F(ConfigWindowTest, InspectorEditInUtf8IsSavedIntoThePictureAndShownAgain) {
  Pick("b.jpg");
  ASSERT_EQ(NameBox(0)->text(), "DetailPageTitle");
  ValueBox(0)->setFocus();
  TypeText(ValueBox(0), QString::fromUtf16(kStorm));
  window_->Command(ui::kSave);
  const JpegHeader info = test::HeaderOf((site_ / "b.jpg"));
  EXPECT_EQ(info.comments, std::string("DetailPageTitle:\r\n") + kStormUtf8 + "\r\n\r\n");

  // A window built afresh reads the picture and shows the text as it was typed.
  window_ = std::make_unique<LayoutWindow>(nullptr, ui_, home_);
  window_->show();
  Pick("b.jpg");
  EXPECT_EQ(ValueBox(0)->toPlainText(), QString::fromUtf16(kStorm));
}

// The layout window with the program's own message boxes and prompts, answered by the test
// through the dialogs themselves.
// ---- Mended faults, each driven through the widgets --------------------------------------

TEST_F(ConfigWindowTest, TheNextItemShowsItsFirstRowWhateverTheInspectorWasScrolledTo) {
  window_->resize(800, 400);
  Pick("trip");
  QScrollBar* bar = window_->inspector_window()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0) << "the rows fit; nothing to scroll";
  bar->setValue(bar->maximum());
  for (const char* next : {"b.jpg", "Default Page", "a.jpg"}) {
    Pick(next);
    EXPECT_EQ(bar->value(), 0) << next;
    // The first row lies in the visible part of the inspector.
    QWidget* viewport = window_->inspector_window()->viewport();
    const QPoint top = NameBox(0)->mapTo(viewport, QPoint(0, 0));
    EXPECT_GE(top.y(), 0) << next;
    EXPECT_LT(top.y(), viewport->height()) << next;
    bar->setValue(bar->maximum());
  }
}

TEST_F(ConfigWindowTest, DamagedPicturesOfARunAreListedWithoutABoxAndAClickReachesThem) {
  for (int i = 1; i <= 7; ++i) {
    WriteFile(site_ / ("bad" + std::to_string(i) + ".jpg"), "\xFF\xD8\xFF\xE0 not a picture");
  }
  ASSERT_TRUE(window_->OpenSiteDirectory(Site()));
  window_->Command(ui::kGenerateSite);
  ASSERT_TRUE(WaitForRun(*window_));
  for (const auto& shown : ui_.messages()) ADD_FAILURE() << "a box: " << shown.text;
  ui::ProblemsList* problems = window_->Problems();
  ASSERT_EQ(problems->topLevelItemCount(), 7);
  EXPECT_TRUE(problems->isVisible());
  for (int row = 0; row < 7; ++row) {
    const QString file = problems->FileOfRow(row);
    EXPECT_TRUE(file.contains(QStringLiteral("/bad"))) << ui::FromQt(file);
    EXPECT_FALSE(problems->topLevelItem(row)->text(1).isEmpty());
  }
  // The tree marks them, and a click on a row of the list selects that picture.
  EXPECT_TRUE(window_->RowHasProblem(RowOf("bad3.jpg")));
  EXPECT_FALSE(window_->RowHasProblem(RowOf("b.jpg")));
  int row_of_bad3 = -1;
  for (int row = 0; row < 7; ++row) {
    if (problems->FileOfRow(row).endsWith(QStringLiteral("bad3.jpg"))) row_of_bad3 = row;
  }
  ASSERT_GE(row_of_bad3, 0);
  const QRect rect = problems->visualItemRect(problems->topLevelItem(row_of_bad3));
  QTest::mouseClick(problems->viewport(), Qt::LeftButton, {}, rect.center());
  ASSERT_NE(window_->Model().SelectedItem(), nullptr);
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "bad3.jpg");
  EXPECT_EQ(window_->ObjListBox()->currentRow(), RowOf("bad3.jpg"));
}

TEST_F(ConfigWindowTest, ADirectoryShowsItsPicturesAsThumbnailsInStepWithTheTree) {
  Pick("trip");
  ui::PictureGrid* grid = window_->picture_grid();
  ASSERT_TRUE(grid->isVisible());
  ASSERT_EQ(grid->count(), 2);
  EXPECT_EQ(grid->item(0)->text(), "a.jpg");
  EXPECT_EQ(grid->item(1)->text(), "c.jpg");
  EXPECT_EQ(grid->currentItem(), nullptr);
  // No run has made inline images: the thumbnails are decoded from the pictures, in the
  // background.
  QElapsedTimer clock;
  clock.start();
  while (grid->ThumbnailsShown() < 2 && clock.elapsed() < 10000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_EQ(grid->ThumbnailsShown(), 2);
  // Choosing a thumbnail selects the picture in the tree, the grid stays on its directory.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                    grid->visualItemRect(grid->item(1)).center());
  ASSERT_NE(window_->Model().SelectedItem(), nullptr);
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "c.jpg");
  EXPECT_EQ(window_->ObjListBox()->currentRow(), RowOf("c.jpg"));
  EXPECT_EQ(grid->count(), 2);
  // The keyboard moves along the grid; the tree follows.
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_Left);
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "a.jpg");
  // And the tree's selection shows in the grid.
  Pick("c.jpg");
  EXPECT_EQ(grid->currentRow(), 1);
  // Items that are not pictures or directories show no grid.
  Pick("Default Page");
  EXPECT_FALSE(grid->isVisible());
}

TEST_F(ConfigWindowTest, SubFoldersStartFoldedAndFoldWithTheArrowAndTheKeys) {
  QListWidget* list = window_->ObjListBox();
  const int trip = RowOf("trip");
  EXPECT_TRUE(window_->IsFoldable(trip));
  EXPECT_TRUE(window_->IsFolded(trip));
  EXPECT_TRUE(list->isRowHidden(RowOf("a.jpg")));
  EXPECT_FALSE(list->isRowHidden(RowOf("b.jpg")));  // The site folder itself is open.
  // Right unfolds, Left folds again.
  list->setFocus();
  list->setCurrentRow(trip);
  QTest::keyClick(list, Qt::Key_Right);
  EXPECT_FALSE(list->isRowHidden(RowOf("a.jpg")));
  QTest::keyClick(list, Qt::Key_Left);
  EXPECT_TRUE(list->isRowHidden(RowOf("c.jpg")));
  // A click on the arrow before the icon unfolds it.
  const QRect rect = list->visualItemRect(list->item(trip));
  const QRect arrow = ui::ConfigRowDelegate::ArrowRect(rect, ItemAt(trip)->Level(), list->font());
  ASSERT_GT(arrow.width(), 0);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, arrow.center());
  EXPECT_FALSE(list->isRowHidden(RowOf("c.jpg")));
  // Folds last while the window is open: a run builds the tree anew and keeps them.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, arrow.center());
  window_->Command(ui::kGenerateSite);
  ASSERT_TRUE(WaitForRun(*window_));
  EXPECT_TRUE(window_->IsFolded(RowOf("trip")));
  EXPECT_TRUE(list->isRowHidden(RowOf("a.jpg")));
}

TEST_F(ConfigWindowTest, OpenInBrowserShowsTheGeneratedPageOfTheSelection) {
  std::vector<QString> opened;
  window_->open_in_browser = [&](const QString& page) { opened.push_back(page); };
  QString said;
  QObject::connect(window_.get(), &LayoutWindow::StatusMessage,
                   [&](const QString& text) { said = text; });
  Pick("a.jpg");
  window_->Command(ui::kOpenInBrowser);
  EXPECT_TRUE(opened.empty());  // Not generated yet: the status line says so.
  EXPECT_TRUE(said.contains(QStringLiteral("generate the site first"))) << ui::FromQt(said);

  // A layout that makes detail pages.
  WriteFile(home_ / "globals.txt",
            "DetailPageTemplate:\r\n<html><body>${AnchorFileName}</body></html>\r\n\r\n");
  window_->Command(ui::kGenerateSite);
  ASSERT_TRUE(WaitForRun(*window_));
  Pick("a.jpg");
  window_->Command(ui::kOpenInBrowser);
  Pick("trip");
  window_->Command(ui::kOpenInBrowser);
  Pick("Default Page");
  window_->Command(ui::kOpenInBrowser);
  ASSERT_EQ(opened.size(), 3u) << ui::FromQt(said);
  EXPECT_EQ(opened[0], ui::PathToQt(site_ / "trip" / "a.html"));
  EXPECT_EQ(opened[1], ui::PathToQt(site_ / "trip" / "index.html"));
  EXPECT_EQ(opened[2], ui::PathToQt(site_ / "index.html"));
}

class ConfigWindowDialogTest : public ConfigWindowTest {
 protected:
  ConfigWindowDialogTest() {
    WriteJpegPicture(site_ / "Fotos-Caf\xC3\xA9" / "x.jpg", 20, 20, "");
    WriteJpegPicture(site_ / "caf\xE9.jpg", 20, 20, "");
    window_ = std::make_unique<LayoutWindow>(nullptr, qt_ui_, home_);
    qt_ui_.SetOwner(window_.get());
    window_->resize(800, 600);
    window_->show();
    // A box the test did not ask for fails the test and is closed, rather than waiting for
    // a user who never comes.
    unexpected_.setInterval(50);
    QObject::connect(&unexpected_, &QTimer::timeout, [this] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (dialog == nullptr || answer_.isActive()) return;
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ADD_FAILURE() << "unexpected dialog " << ui::FromQt(dialog->windowTitle()) << ": "
                    << (box != nullptr ? ui::FromQt(box->text()) : std::string());
      if (auto* modal = qobject_cast<QDialog*>(dialog)) modal->reject();
    });
    unexpected_.start();
  }
  ~ConfigWindowDialogTest() override {
    answer_.stop();
    unexpected_.stop();
    window_.reset();
  }

  // Calls `act` with the next modal dialog once it is on screen; `act` closes it.
  void WhenDialogShows(std::function<void(QWidget*)> act) {
    answer_.disconnect();
    answer_.setInterval(5);
    QObject::connect(&answer_, &QTimer::timeout, [this, act] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (dialog == nullptr || !dialog->isVisible()) return;
      answer_.stop();
      act(dialog);
    });
    answer_.start();
  }

  // Renames the selected item through the prompt: `typed` replaces the shown name, or the
  // shown name is accepted as it is when `typed` is none. Returns the name the prompt showed.
  QString RenameTo(const std::optional<QString>& typed) {
    QString shown;
    WhenDialogShows([&](QWidget* widget) {
      auto* dialog = qobject_cast<QInputDialog*>(widget);
      ASSERT_NE(dialog, nullptr);
      shown = dialog->textValue();
      if (typed) {
        auto* edit = dialog->findChild<QLineEdit*>();
        edit->selectAll();
        TypeText(edit, *typed);
      }
      dialog->accept();
    });
    window_->Command(ui::kRename);
    return shown;
  }

  ui::QtUserInterface qt_ui_;
  QTimer answer_;
  QTimer unexpected_;
};

TEST_F(ConfigWindowDialogTest, Utf8FolderIsShownAndRenamedToAValidUtf8Name) {
  Pick("Fotos-Caf\xC3\xA9");
  EXPECT_EQ(RenameTo(QString::fromUtf16(kZurich)), QString::fromUtf16(u"Fotos-Caf\u00E9"));
  EXPECT_TRUE(fs::is_directory(site_ / kZurichUtf8));
  EXPECT_TRUE(fs::exists(site_ / kZurichUtf8 / "x.jpg"));
  EXPECT_FALSE(fs::exists(site_ / "Fotos-Caf\xC3\xA9"));
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), kZurichUtf8);

  Pick("b.jpg");
  RenameTo(QString::fromUtf16(kZurich));
  EXPECT_TRUE(fs::exists(site_ / (std::string(kZurichUtf8) + ".jpg")));
  EXPECT_FALSE(fs::exists(site_ / "b.jpg"));
}

TEST_F(ConfigWindowDialogTest, PictureWhoseNameIsNotUtf8KeepsItsBytesUntilRenamed) {
  Pick("caf\xE9.jpg");
  // Shown with U+FFFD; accepted as shown, the name on disk stays what it was.
  EXPECT_EQ(RenameTo(std::nullopt), QString::fromUtf16(u"caf\uFFFD.jpg"));
  EXPECT_TRUE(fs::exists(site_ / "caf\xE9.jpg"));
  EXPECT_FALSE(fs::exists(site_ / "caf\xEF\xBF\xBD.jpg"));
  EXPECT_EQ(window_->Model().SelectedItem()->Label(), "caf\xE9.jpg");

  RenameTo(QString::fromUtf16(kZurich));
  EXPECT_FALSE(fs::exists(site_ / "caf\xE9.jpg"));
  EXPECT_TRUE(fs::exists(site_ / (std::string(kZurichUtf8) + ".jpg")));
}

TEST_F(ConfigWindowDialogTest, SelectDirectoryGivesBackTheChosenUtf8FolderExactly) {
  const fs::path folder = temp_ / "Fotos-Caf\xC3\xA9";
  WriteJpegPicture(folder / "z.jpg", 20, 20, "");
  QString offered;
  WhenDialogShows([&](QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    ASSERT_NE(dialog, nullptr);
    offered = dialog->directory().absolutePath();
    dialog->setDirectory(ui::PathToQt(folder));
    static_cast<QDialog*>(dialog)->accept();  // The file dialog's own accept is protected.
  });
  window_->Command(ui::kSelectDir);
  EXPECT_EQ(offered, ui::PathToQt(site_));
  EXPECT_EQ(window_->Model().SiteDir(), folder.string()) << "not its parent, not Latin-1";
  EXPECT_GE(RowOf("z.jpg"), 0);
}

}  // namespace
}  // namespace pix::test
