#include "base/dialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pix {
namespace {

struct TExpectedControl {
  int Id;
  TControlKind Kind;
  std::string szTitle;
};

// The controls each window reaches by id, with the kind and title it relies on.
void ExpectControls(int templateId, const std::vector<TExpectedControl>& expected) {
  const TControlSizer sizer = LoadDialogSizer(templateId);
  for (const TExpectedControl& control : expected) {
    const std::optional<int> index = sizer.FindChild(control.Id);
    ASSERT_TRUE(index.has_value()) << templateId << ": control " << control.Id;
    const TChildSizeObject& child = sizer.Child(*index);
    EXPECT_EQ(child.Kind, control.Kind) << templateId << ": control " << control.Id;
    EXPECT_EQ(child.szTitle, control.szTitle) << templateId << ": control " << control.Id;
  }
}

TEST(DialogTemplatesTest, EveryTemplateReadsAndKeepsItsControlsInsideAndApart) {
  ASSERT_EQ(DialogTemplateIds(), (std::vector<int>{501, 601, 701, 801, 22000}));
  for (int id : DialogTemplateIds()) {
    const Result<TDialogTemplate> dialog = ReadDialogTemplate(DialogTemplateBytes(id));
    ASSERT_TRUE(dialog.ok()) << id << ": " << dialog.status().message();
    EXPECT_EQ(dialog->Style & kDsSetFont, 0u);
    const TControlSizer sizer = LoadDialogSizer(id);
    for (int i = 0; i < sizer.ChildCount(); ++i) {
      const TChildSizeObject& a = sizer.Child(i);
      EXPECT_GT(a.CX, 0) << id << "/" << a.Id;
      EXPECT_GT(a.CY, 0) << id << "/" << a.Id;
      EXPECT_LE(a.X + a.CX, sizer.TemplateWidth()) << id << "/" << a.Id;
      EXPECT_LE(a.Y + a.CY, sizer.TemplateHeight()) << id << "/" << a.Id;
      EXPECT_EQ(a.Style & kWsChild, kWsChild) << id << "/" << a.Id;
      for (int j = i + 1; j < sizer.ChildCount(); ++j) {
        const TChildSizeObject& b = sizer.Child(j);
        const bool apart =
            a.X + a.CX <= b.X || b.X + b.CX <= a.X || a.Y + a.CY <= b.Y || b.Y + b.CY <= a.Y;
        EXPECT_TRUE(apart) << id << ": " << a.Id << " overlaps " << b.Id;
      }
    }
  }
  EXPECT_TRUE(DialogTemplateBytes(32514).empty());
}

TEST(DialogTemplatesTest, ConfigWindow) {
  const TControlSizer sizer = LoadDialogSizer(kConfigWindowId);
  EXPECT_EQ(sizer.TemplateTitle(), "Layout Config Window");
  EXPECT_EQ(sizer.ChildCount(), 8);
  ExpectControls(kConfigWindowId, {{602, TControlKind::ListBox, ""},
                                   {603, TControlKind::Static, ""},
                                   {604, TControlKind::Static, ""},
                                   {1, TControlKind::PushButton, "Close"},
                                   {2, TControlKind::PushButton, "Cancel"},
                                   {998, TControlKind::PushButton, "Help"},
                                   {211, TControlKind::PushButton, "Generate Site"},
                                   {206, TControlKind::PushButton, "Select Dir"}});
  const TChildSizeObject& list = sizer.Child(*sizer.FindChild(kObjListBoxId));
  EXPECT_EQ(list.Style & kLbsOwnerDrawFixed, kLbsOwnerDrawFixed);
  EXPECT_EQ(list.Style & kLbsNotify, kLbsNotify);
  EXPECT_EQ(list.Style & (kWsVScroll | kWsHScroll | kWsBorder),
            kWsVScroll | kWsHScroll | kWsBorder);
}

TEST(DialogTemplatesTest, VarFieldRow) {
  const TControlSizer sizer = LoadDialogSizer(kVarFieldId);
  EXPECT_EQ(sizer.TemplateWidth(), 91);
  EXPECT_EQ(sizer.TemplateHeight(), 40);
  ExpectControls(kVarFieldId, {{702, TControlKind::Edit, ""}, {703, TControlKind::Edit, ""}});
  const std::uint32_t name = sizer.Child(*sizer.FindChild(kLabelEditBoxId)).Style;
  const std::uint32_t value = sizer.Child(*sizer.FindChild(kValueEditBoxId)).Style;
  // A name is only as long as its box is wide; a value takes several lines and Enter.
  EXPECT_EQ(name & (kEsAutoHScroll | kEsMultiLine), 0u);
  EXPECT_EQ(value & (kEsMultiLine | kEsWantReturn | kWsVScroll),
            kEsMultiLine | kEsWantReturn | kWsVScroll);
}

TEST(DialogTemplatesTest, StatusDialog) {
  const TControlSizer sizer = LoadDialogSizer(kStatusDialogId);
  EXPECT_EQ(sizer.TemplateTitle(), "Status");
  ExpectControls(kStatusDialogId, {{2, TControlKind::PushButton, "Cancel"},
                                   {805, TControlKind::Static, ""},
                                   {806, TControlKind::Edit, ""},
                                   {807, TControlKind::Edit, ""}});
  EXPECT_EQ(sizer.Child(*sizer.FindChild(kMainTaskFieldId)).Style & kEsReadOnly, kEsReadOnly);
  std::vector<std::string> labels;
  for (const TChildSizeObject& child : sizer.GetChildren()) {
    if (child.Id == kUnusedControlId) {
      labels.push_back(child.szTitle);
      EXPECT_EQ(child.Style & 0x3, kSsRight);
      EXPECT_EQ(child.X, -1);
    }
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Main Task:", "Current Step:"}));
}

TEST(DialogTemplatesTest, SamplesDialogAndAboutBox) {
  EXPECT_EQ(LoadDialogSizer(kSamplesDialogId).TemplateTitle(), "Sample Layout Selection");
  ExpectControls(kSamplesDialogId, {{502, TControlKind::ListBox, ""},
                                    {503, TControlKind::Edit, ""},
                                    {1, TControlKind::PushButton, "Ok"},
                                    {2, TControlKind::PushButton, "Cancel"},
                                    {998, TControlKind::PushButton, "Help"}});
  // The titles list is not sorted, and the description is above the buttons, below the list.
  const TControlSizer samples = LoadDialogSizer(kSamplesDialogId);
  const TChildSizeObject& list = samples.Child(*samples.FindChild(kSampleListId));
  const TChildSizeObject& text = samples.Child(*samples.FindChild(kSampleDescriptionId));
  const TChildSizeObject& ok = samples.Child(*samples.FindChild(kOkButtonId));
  EXPECT_EQ(list.Style & 0x2, 0u);  // LBS_SORT
  EXPECT_LT(list.Y, text.Y);
  EXPECT_LT(text.Y, ok.Y);

  EXPECT_EQ(LoadDialogSizer(kAboutDialogId).TemplateTitle(), "About pixamond");
  ExpectControls(kAboutDialogId, {{22001, TControlKind::Static, "Version"},
                                  {22002, TControlKind::Static, ""},
                                  {22003, TControlKind::Static, ""},
                                  {1, TControlKind::PushButton, "OK"}});
}

}  // namespace
}  // namespace pix
