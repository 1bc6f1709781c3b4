#include "base/dialogs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace pix {
namespace {

TEST(DialogTemplatesTest, EveryTemplateReadsAndKeepsItsControlsInsideAndApart) {
  ASSERT_EQ(DialogTemplateIds(), (std::vector<int>{501, 601, 701, 801, 22000}));
  for (int id : DialogTemplateIds()) {
    const Result<DialogTemplate> dialog = ReadDialogTemplate(DialogTemplateBytes(id));
    ASSERT_TRUE(dialog.ok()) << id << ": " << dialog.status().message();
    EXPECT_EQ(dialog->style & kDsSetFont, 0u);
    const ControlSizer sizer = LoadDialogSizer(id);
    for (int i = 0; i < sizer.ChildCount(); ++i) {
      const ChildSizeObject& a = sizer.Child(i);
      EXPECT_GT(a.CX, 0) << id << "/" << a.id;
      EXPECT_GT(a.CY, 0) << id << "/" << a.id;
      EXPECT_LE(a.X + a.CX, sizer.TemplateWidth()) << id << "/" << a.id;
      EXPECT_LE(a.Y + a.CY, sizer.TemplateHeight()) << id << "/" << a.id;
      EXPECT_EQ(a.style & kWsChild, kWsChild) << id << "/" << a.id;
      for (int j = i + 1; j < sizer.ChildCount(); ++j) {
        const ChildSizeObject& b = sizer.Child(j);
        const bool apart =
            a.X + a.CX <= b.X || b.X + b.CX <= a.X || a.Y + a.CY <= b.Y || b.Y + b.CY <= a.Y;
        EXPECT_TRUE(apart) << id << ": " << a.id << " overlaps " << b.id;
      }
    }
  }
  EXPECT_TRUE(DialogTemplateBytes(32514).empty());
}

TEST(DialogTemplatesTest, ListScrollsSidewaysAndValuesTakeSeveralLines) {
  // The layout list indents its rows and shows the site directory's full path: it must
  // scroll sideways, or the window cuts those rows off.
  const ControlSizer config = LoadDialogSizer(kConfigWindowId);
  EXPECT_EQ(config.Child(*config.FindChild(kObjListBoxId)).style & kWsHScroll, kWsHScroll);
  // A value in the inspector takes several lines in a low box, which scrolls down; a name
  // takes one line.
  const ControlSizer row = LoadDialogSizer(kVarFieldId);
  const std::uint32_t value = row.Child(*row.FindChild(kValueEditBoxId)).style;
  EXPECT_EQ(value & (kEsMultiLine | kWsVScroll), kEsMultiLine | kWsVScroll);
  // It wraps long lines rather than scrolling sideways.
  EXPECT_EQ(value & kEsAutoHScroll, 0u);
  EXPECT_EQ(row.Child(*row.FindChild(kLabelEditBoxId)).style & kEsMultiLine, 0u);
}

}  // namespace
}  // namespace pix
