#include "base/sizer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "base/dialogs.h"

namespace pix {
namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

// A template written out field by field: a child window of 100 x 50 dialog units titled
// "W", with one check box "Ck" (id 7) at (-1, 2) of 30 x 10 and one static "Ł" (id 8).
std::vector<std::uint8_t> HandMadeTemplate() {
  return Bytes({
      0x00, 0x00, 0x00, 0x50,  // style: child, visible
      0x00, 0x00, 0x00, 0x00,  // extended style
      0x02, 0x00,              // two items
      0x05, 0x00, 0x06, 0x00,  // x 5, y 6
      0x64, 0x00, 0x32, 0x00,  // cx 100, cy 50
      0x00, 0x00,              // no menu
      0x00, 0x00,              // no class
      'W', 0x00, 0x00, 0x00,   // title "W"
      // offset 26: padding to the first item at 28
      0x00, 0x00, 0x03, 0x00, 0x01, 0x50,  // style 0x50010003: auto check box
      0x00, 0x00, 0x00, 0x00,              // extended style
      0xFF, 0xFF, 0x02, 0x00,              // x -1, y 2
      0x1E, 0x00, 0x0A, 0x00,              // cx 30, cy 10
      0x07, 0x00,                          // id 7
      0xFF, 0xFF, 0x80, 0x00,              // class: ordinal 0x80, button
      'C', 0x00, 'k', 0x00, 0x00, 0x00,    // title "Ck"
      0x00, 0x00,                          // no creation data
      // offset 58: padding to the second item at 60
      0x00, 0x00, 0x00, 0x00, 0x00, 0x50,  // style: static
      0x00, 0x00, 0x00, 0x00,              // extended style
      0x00, 0x00, 0x0C, 0x00,              // x 0, y 12
      0x64, 0x00, 0x0A, 0x00,              // cx 100, cy 10
      0x08, 0x00,                          // id 8
      0xFF, 0xFF, 0x82, 0x00,              // class: ordinal 0x82, static
      0x41, 0x01, 0x00, 0x00,              // title U+0141, kept as its low byte 'A'
      0x00, 0x00,                          // no creation data
  });
}

TEST(SizerTest, ReadsATemplateWrittenFieldByField) {
  const Result<DialogTemplate> dialog = ReadDialogTemplate(HandMadeTemplate());
  ASSERT_TRUE(dialog.ok()) << dialog.status().message();
  EXPECT_EQ(dialog->style, 0x50000000u);
  EXPECT_EQ(dialog->X, 5);
  EXPECT_EQ(dialog->CX, 100);
  EXPECT_EQ(dialog->CY, 50);
  EXPECT_EQ(dialog->title, "W");
  ASSERT_EQ(dialog->items.size(), 2u);
  const DialogItemTemplate& box = dialog->items[0];
  EXPECT_EQ(box.style, 0x50010003u);
  EXPECT_EQ(box.X, -1);
  EXPECT_EQ(box.Y, 2);
  EXPECT_EQ(box.CX, 30);
  EXPECT_EQ(box.id, 7);
  EXPECT_EQ(box.class_ordinal, kButtonClass);
  EXPECT_EQ(box.title, "Ck");
  EXPECT_EQ(dialog->items[1].title, "A");
  EXPECT_EQ(dialog->items[1].Y, 12);

  // Writing it again gives the same bytes, but for the high byte of U+0141 at offset 83.
  std::vector<std::uint8_t> expected = HandMadeTemplate();
  expected[83] = 0x00;
  EXPECT_EQ(WriteDialogTemplate(*dialog), expected);
}

TEST(SizerTest, TemplatesCutShortAnywhereAreRefused) {
  const std::vector<std::uint8_t> whole = HandMadeTemplate();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const Result<DialogTemplate> dialog = ReadDialogTemplate(whole.data(), size);
    ASSERT_FALSE(dialog.ok()) << size;
    EXPECT_EQ(dialog.status().code(), Status::Code::kCorrupt);
  }
}

TEST(SizerTest, TemplateErrorsAreReportedNotFatal) {
  std::vector<std::uint8_t> font = HandMadeTemplate();
  font[0] |= kDsSetFont;
  EXPECT_FALSE(ReadDialogTemplate(font).ok());

  // The first item's class given by name ("B") instead of 0xFFFF and an ordinal.
  std::vector<std::uint8_t> named = HandMadeTemplate();
  named[28 + 18] = 'B';
  named[28 + 19] = 0x00;
  EXPECT_FALSE(ReadDialogTemplate(named).ok());

  // Ordinals without the predefined-class bit, or 0.
  for (int ordinal : {0x00, 0x05, 0x7F}) {
    std::vector<std::uint8_t> bytes = HandMadeTemplate();
    bytes[28 + 20] = static_cast<std::uint8_t>(ordinal);
    EXPECT_FALSE(ReadDialogTemplate(bytes).ok()) << ordinal;
  }

  // A scroll bar, or an ordinal beyond the combo box, reads but makes no control.
  for (int ordinal : {kScrollBarClass, 0x86, 0xFF}) {
    std::vector<std::uint8_t> bytes = HandMadeTemplate();
    bytes[28 + 20] = static_cast<std::uint8_t>(ordinal);
    ASSERT_TRUE(ReadDialogTemplate(bytes).ok()) << ordinal;
    const Result<ControlSizer> sizer = ControlSizer::FromBytes(bytes);
    ASSERT_FALSE(sizer.ok()) << ordinal;
    EXPECT_EQ(sizer.status().code(), Status::Code::kInvalidArgument);
  }

  // A template without area cannot lay out anything in proportion to it.
  DialogTemplate flat = *ReadDialogTemplate(HandMadeTemplate());
  flat.CY = 0;
  EXPECT_FALSE(ControlSizer::FromTemplate(flat).ok());
}

TEST(SizerTest, DamagedTemplatesNeverReadPastTheirEnd) {
  std::mt19937 random(5);
  const std::vector<std::uint8_t> original = DialogTemplateBytes(kConfigWindowId);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> damaged = original;
    damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random() & 0xFF);
    damaged.resize(random() % (damaged.size() + 1));
    const Result<DialogTemplate> dialog = ReadDialogTemplate(damaged);
    // Each item takes at least 24 bytes, so a template that reads holds what it claims.
    if (dialog.ok()) {
      EXPECT_LE(dialog->items.size() * 24, damaged.size()) << round;
    }
  }
}

TEST(SizerTest, CreationDataAreSkipped) {
  DialogTemplate dialog = *ReadDialogTemplate(HandMadeTemplate());
  dialog.items[0].creation_data = {1, 2, 3};
  const Result<DialogTemplate> back = ReadDialogTemplate(WriteDialogTemplate(dialog));
  ASSERT_TRUE(back.ok()) << back.status().message();
  EXPECT_EQ(back->items[0].creation_data, dialog.items[0].creation_data);
  EXPECT_EQ(back->items[1].id, 8);
  EXPECT_EQ(back->items[1].title, "A");
}

TEST(SizerTest, ButtonStylesPickCheckBoxOrPushButton) {
  DialogTemplate dialog = *ReadDialogTemplate(HandMadeTemplate());
  const std::uint32_t styles[] = {0x50010002, 0x50010003, 0x50010000, 0x50010001};
  const ControlKind kinds[] = {ControlKind::kCheckBox, ControlKind::kCheckBox,
                                ControlKind::kPushButton, ControlKind::kPushButton};
  for (int i = 0; i < 4; ++i) {
    dialog.items[0].style = styles[i];
    const Result<ControlSizer> sizer = ControlSizer::FromTemplate(dialog);
    ASSERT_TRUE(sizer.ok());
    EXPECT_EQ(sizer->Child(0).kind, kinds[i]) << std::hex << styles[i];
    // The control keeps exactly the template's style.
    EXPECT_EQ(sizer->Child(0).style, styles[i]);
  }
  EXPECT_EQ(TextLimitOf(ControlKind::Static), 256);
  EXPECT_EQ(TextLimitOf(ControlKind::kComboBox), 16384);
  EXPECT_EQ(TextLimitOf(ControlKind::kEdit), 0);
}

TEST(SizerTest, FindChildByTemplateId) {
  const Result<ControlSizer> sizer = ControlSizer::FromBytes(HandMadeTemplate());
  ASSERT_TRUE(sizer.ok());
  EXPECT_EQ(sizer->FindChild(8), 1);
  EXPECT_EQ(sizer->FindChild(7), 0);
  EXPECT_FALSE(sizer->FindChild(9).has_value());
  EXPECT_FALSE(LoadDialogSizer(kConfigWindowId).FindChild(703).has_value());
  EXPECT_EQ(LoadDialogSizer(kVarFieldId).FindChild(kValueEditBoxId), 1);
}

TEST(SizerTest, DialogUnitsBecomePixelsThroughTheBaseUnits) {
  // A font 6 pixels wide and 13 high: a quarter and an eighth of them, truncated.
  const DialogBaseUnits units{6, 13};
  EXPECT_EQ(DialogUnitsToPixels(273, 209, 91, 40, units), (DialogPixelRect{409, 339, 136, 65}));
  // Toward zero for the labels that start one unit left of the window.
  EXPECT_EQ(DialogUnitsToPixels(-1, -1, 47, 10, units), (DialogPixelRect{-1, -1, 70, 16}));

  const ControlSizer status = LoadDialogSizer(kStatusDialogId);
  const DialogPixelRect window = status.WindowRect(DialogBaseUnits{8, 16});
  EXPECT_EQ(window.width, 173 * 2);
  EXPECT_EQ(window.height, 74 * 2);
  const int label = *status.FindChild(kUnusedControlId);
  EXPECT_EQ(status.InitialChildRect(label, DialogBaseUnits{8, 16}), (DialogPixelRect{-2, 14, 94, 20}));
}

TEST(SizerTest, ControlsFollowTheWindowInProportion) {
  const ControlSizer sizer = LoadDialogSizer(kConfigWindowId);
  // At the template's own size in pixels every control sits at its template rectangle, and
  // at half of twice that size the same: halving halves every position and size.
  const std::vector<DialogPixelRect> full = sizer.Layout(546, 418);
  const std::vector<DialogPixelRect> half = sizer.Layout(273, 209);
  ASSERT_EQ(full.size(), static_cast<std::size_t>(sizer.ChildCount()));
  for (int i = 0; i < sizer.ChildCount(); ++i) {
    const ChildSizeObject& child = sizer.Child(i);
    const DialogPixelRect& h = half[static_cast<std::size_t>(i)];
    const DialogPixelRect& f = full[static_cast<std::size_t>(i)];
    EXPECT_EQ(h, (DialogPixelRect{child.X, child.Y, child.CX, child.CY})) << child.id;
    EXPECT_EQ(f, (DialogPixelRect{2 * h.left, 2 * h.top, 2 * h.width, 2 * h.height})) << child.id;
  }
  // At 100 x 100 the "Close" button (214, 63, 54, 16) is rounded to nearest each way:
  // 78.4 -> 78, 30.1 -> 30, 19.8 -> 20, 7.7 -> 8.
  EXPECT_EQ(sizer.ChildRect(*sizer.FindChild(kOkButtonId), 100, 100), (DialogPixelRect{78, 30, 20, 8}));
  // A collapsed window puts everything at the origin with no size.
  for (const DialogPixelRect& rect : sizer.Layout(0, 0)) EXPECT_EQ(rect, DialogPixelRect{});
}

}  // namespace
}  // namespace pix
