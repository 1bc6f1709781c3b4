// The dialog templates, written here as tables and encoded once into the template layout.
// Positions and sizes are dialog units: left, top, width, height.

#include "base/dialogs.h"

#include <map>
#include <string>
#include <utility>

#include "base/check.h"

namespace pix {

namespace {

// Styles shared by the controls.
constexpr std::uint32_t kControl = kWsChild | kWsVisible;
constexpr std::uint32_t kPushButton = kControl | kWsTabStop | kBsPushButton;
constexpr std::uint32_t kDefaultButton = kControl | kWsTabStop | kBsDefPushButton;
constexpr std::uint32_t kLabel = kControl | kSsLeft;
constexpr std::uint32_t kRightLabel = kControl | kSsRight;
constexpr std::uint32_t kFrame = kControl | kSsBlackFrame;
constexpr std::uint32_t kReadOnlyField = kControl | kWsBorder | kEsAutoHScroll | kEsReadOnly;
// Windows of their own: a child window and a modal dialog box with a caption.
constexpr std::uint32_t kChildWindow = kWsChild | kWsVisible;
constexpr std::uint32_t kModalDialog = kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame;

DialogItemTemplate Item(int class_ordinal, std::uint32_t style, int id, const char* title, int x,
                         int y, int cx, int cy) {
  DialogItemTemplate item;
  item.class_ordinal = class_ordinal;
  item.style = style;
  item.id = id;
  item.title = title;
  item.X = x;
  item.Y = y;
  item.CX = cx;
  item.CY = cy;
  return item;
}

DialogTemplate Dialog(std::uint32_t style, const char* title, int cx, int cy,
                       std::vector<DialogItemTemplate> items) {
  DialogTemplate dialog;
  dialog.style = style;
  dialog.title = title;
  dialog.CX = cx;
  dialog.CY = cy;
  dialog.items = std::move(items);
  return dialog;
}

// The layout window: the tree on the left, the inspector beside it, the preview and the
// buttons in a column on the right.
DialogTemplate layout_window() {
  return Dialog(
      kChildWindow, "Layout Config Window", 273, 209,
      {
          Item(kListBoxClass,
               kControl | kWsBorder | kWsVScroll | kWsHScroll | kWsTabStop | kLbsNotify |
                   kLbsOwnerDrawFixed | kLbsNoIntegralHeight,
               kObjListBoxId, "", 1, 4, 92, 203),
          Item(kStaticClass, kFrame, kInspectorFrameId, "", 98, 4, 112, 203),
          Item(kButtonClass, kPushButton, kOkButtonId, "Close", 214, 63, 54, 16),
          Item(kButtonClass, kPushButton, kCancelButtonId, "Cancel", 214, 82, 54, 16),
          Item(kButtonClass, kPushButton, kHelpButtonId, "Help", 214, 101, 54, 16),
          Item(kStaticClass, kFrame, kPreviewFrameId, "", 214, 4, 52, 52),
          Item(kButtonClass, kPushButton, kGenerateSiteButtonId, "Generate Site", 214, 120, 54, 16),
          Item(kButtonClass, kPushButton, kSelectDirButtonId, "Select Dir", 214, 139, 54, 16),
      });
}

// One row of the inspector: the variable's name in one line (as long as the box is wide,
// no horizontal scrolling), its value below in several, wrapped at the box's width so that
// a long template line is read without scrolling sideways.
DialogTemplate VarField() {
  return Dialog(
      kChildWindow, "", 91, 40,
      {
          Item(kEditClass, kControl | kWsBorder | kWsTabStop, kLabelEditBoxId, "", 1, 1, 89, 9),
          Item(kEditClass,
               kControl | kWsBorder | kWsVScroll | kWsTabStop | kEsMultiLine | kEsAutoVScroll |
                   kEsWantReturn,
               kValueEditBoxId, "", 1, 11, 89, 27),
      });
}

// The status dialog of a run. The progress bar is made at run time over frame 805.
DialogTemplate StatusDialog() {
  return Dialog(
      kModalDialog, "Status", 173, 74,
      {
          Item(kButtonClass, kPushButton, kCancelButtonId, "Cancel", 61, 58, 50, 14),
          Item(kStaticClass, kRightLabel, kUnusedControlId, "Main Task:", -1, 7, 47, 10),
          Item(kStaticClass, kRightLabel, kUnusedControlId, "Current Step:", -1, 24, 47, 10),
          Item(kStaticClass, kFrame, kProgressFrameId, "", 7, 40, 159, 14),
          Item(kEditClass, kReadOnlyField, kMainTaskFieldId, "", 50, 6, 113, 12),
          Item(kEditClass, kReadOnlyField, kCurrentStepFieldId, "", 50, 21, 113, 12),
      });
}

// The sample layout dialog: the titles across the top, the highlighted sample's
// description below them, the buttons along the bottom.
DialogTemplate SamplesDialog() {
  return Dialog(
      kModalDialog, "Sample Layout Selection", 240, 180,
      {
          Item(kListBoxClass,
               kControl | kWsBorder | kWsVScroll | kWsTabStop | kLbsNotify | kLbsNoIntegralHeight,
               kSampleListId, "", 6, 6, 228, 86),
          Item(kEditClass,
               kControl | kWsBorder | kWsVScroll | kEsMultiLine | kEsAutoVScroll | kEsReadOnly,
               kSampleDescriptionId, "", 6, 98, 228, 54),
          Item(kButtonClass, kDefaultButton, kOkButtonId, "Ok", 6, 160, 60, 14),
          Item(kButtonClass, kPushButton, kCancelButtonId, "Cancel", 90, 160, 60, 14),
          Item(kButtonClass, kPushButton, kHelpButtonId, "Help", 174, 160, 60, 14),
      });
}

// The about box. The icon static names icon resource 1001 in the "#number" form; the
// version, copyright and special-build lines are filled in when the box is set up.
DialogTemplate AboutDialog() {
  return Dialog(
      kModalDialog, "About pixamond", 240, 112,
      {
          Item(kStaticClass, kControl | kSsIcon, kUnusedControlId, "#1001", 10, 10, 20, 20),
          Item(kStaticClass, kLabel, kUnusedControlId, "Pixamond", 40, 10, 190, 10),
          Item(kStaticClass, kLabel, kVersionLineId, "Version", 40, 22, 190, 10),
          Item(kStaticClass, kLabel, kCopyrightLineId, "", 40, 34, 190, 10),
          Item(kStaticClass, kLabel, kSpecialBuildLineId, "", 40, 46, 190, 10),
          Item(kStaticClass, kLabel, kUnusedControlId, "Written by the Pixamond developers.", 10,
               62, 220, 10),
          Item(kStaticClass, kLabel, kUnusedControlId, "Questions and reports: see README.md.", 10,
               74, 220, 10),
          Item(kButtonClass, kDefaultButton, kOkButtonId, "OK", 95, 92, 50, 14),
      });
}

const std::map<int, std::vector<std::uint8_t>>& TemplateTable() {
  static const std::map<int, std::vector<std::uint8_t>> table = {
      {kSamplesDialogId, WriteDialogTemplate(SamplesDialog())},
      {kConfigWindowId, WriteDialogTemplate(layout_window())},
      {kVarFieldId, WriteDialogTemplate(VarField())},
      {kStatusDialogId, WriteDialogTemplate(StatusDialog())},
      {kAboutDialogId, WriteDialogTemplate(AboutDialog())},
  };
  return table;
}

}  // namespace

const std::vector<int>& DialogTemplateIds() {
  static const std::vector<int> ids = [] {
    std::vector<int> list;
    for (const auto& entry : TemplateTable()) list.push_back(entry.first);
    return list;
  }();
  return ids;
}

const std::vector<std::uint8_t>& DialogTemplateBytes(int id) {
  static const std::vector<std::uint8_t> none;
  const auto& table = TemplateTable();
  const auto found = table.find(id);
  return found == table.end() ? none : found->second;
}

ControlSizer LoadDialogSizer(int id) {
  const std::vector<std::uint8_t>& bytes = DialogTemplateBytes(id);
  PIX_CHECK(!bytes.empty());
  Result<ControlSizer> sizer = ControlSizer::FromBytes(bytes);
  PIX_CHECK(sizer.ok());
  return std::move(sizer).value();
}

}  // namespace pix
