// The layout window on a small site (trip/a.jpg, trip/c.jpg and b.jpg), driven as a user
// drives it: rows picked in the tree, text typed into the inspector, runs waited for.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "app/ui/configwindow.h"
#include "files/layouthome.h"
#include "layout/inspector.h"
#include "layout/layout_fixture.h"
#include "layout/ui/inspectorwindow.h"
#include "support/picture_builder.h"

namespace pix::test {

/// Lets Qt handle its events until `done` answers true; false after `timeout_ms`.
inline bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QTest::qWait(10);
  }
  return true;
}

/// Lets the window handle its events until its run has ended; false after a minute.
inline bool WaitForRun(ui::LayoutWindow& window) {
  QElapsedTimer clock;
  clock.start();
  while (window.IsRunning() && clock.elapsed() < 60000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QCoreApplication::processEvents();
  return !window.IsRunning();
}

class LayoutWindowTest : public LayoutTest {
 protected:
  /// `seeded`: the layout home starts as a new home does, with the shipped files.
  explicit LayoutWindowTest(bool seeded = false) {
    if (seeded) {
      EXPECT_TRUE(PrepareLayoutHome(home_, FindShippedDataDir()).ok());
    }
    WriteJpegPicture(site_ / "trip" / "a.jpg", 60, 40, "");
    WriteJpegPicture(site_ / "trip" / "c.jpg", 30, 50, "");
    WriteJpegPicture(site_ / "b.jpg", 50, 30, "");
    WriteSetting("Files", "SearchDirectory", Site());
    WriteSetting("HTMLDefaults", "PersonFullName", "Test Person");
  }

  /// Opens a layout window of its own, shown at `width` x `height`.
  void OpenWindow(int width, int height) {
    window_ = std::make_unique<ui::LayoutWindow>(nullptr, ui_, home_);
    window_->resize(width, height);
    window_->show();
  }
  /// The window the helpers drive.
  virtual ui::LayoutWindow& Window() const { return *window_; }

  int RowOf(const std::string& label) const { return LayoutTest::RowOf(Window().Model(), label); }
  ConfigItem* ItemAt(int row) const {
    return Window().Model().ListedItems().at(static_cast<std::size_t>(row));
  }
  ConfigItem* Item(const std::string& label) const { return ItemAt(RowOf(label)); }
  /// Clicks the row of `label` in the tree, unfolding the folders above it.
  void Pick(const std::string& label) {
    const int row = RowOf(label);
    ASSERT_GE(row, 0);
    Window().RevealRow(row);
    QListWidget* list = Window().ObjListBox();
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  /// The inspector's row that shows the variable `name`; -1 when none does.
  int InspectorRow(const std::string& name) const {
    const InspectorModel& rows = Window().Model().Inspector();
    for (int row = 0; row < rows.RowCount(); ++row) {
      if (rows.Field(row).Name() == name) return row;
    }
    return -1;
  }
  QLineEdit* NameBox(int row) const {
    return Window().inspector_window()->Field(row)->LabelEditBox();
  }
  QPlainTextEdit* ValueBox(int row) const {
    return Window().inspector_window()->Field(row)->ValueEditBox();
  }
  /// Types `text` at the end of the value of inspector row `row`.
  void TypeValue(int row, const QString& text) {
    QPlainTextEdit* box = ValueBox(row);
    box->setFocus();
    box->moveCursor(QTextCursor::End);
    QTest::keyClicks(box, text);
  }

  std::unique_ptr<ui::LayoutWindow> window_;
};

}  // namespace pix::test
