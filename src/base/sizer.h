// The dialog control sizer: windows whose controls are laid out by a dialog template and
// keep their proportions when the window is resized.
//
// A template is held in the Windows dialog template layout without a font (little-endian):
//
//   header:  style (32 bits), extended style (32), item count (16), x, y, cx, cy (16 each,
//            signed), then the menu, the class and the title, each a NUL-terminated string
//            of 16-bit characters (or the word 0xFFFF and a 16-bit ordinal for menu and
//            class);
//   items:   each starting on a 4-byte boundary from the start of the template: style (32),
//            extended style (32), x, y, cx, cy (16 each, signed), id (16), the word 0xFFFF
//            and the class ordinal (16), the title as a NUL-terminated 16-bit string, and a
//            16-bit count of creation-data bytes, which follow it.
//
// Positions and sizes are dialog units. A window made from a template is first placed with
// the dialog base units of its font (a quarter of the average character width across, an
// eighth of the character height down); afterwards every size change maps the template's
// full width and height onto the client area, each control keeping its share.
//
// This is the toolkit-free half of the window: the GUI makes one widget per child, in
// template order, and moves them to the rectangles ControlSizer computes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"

namespace pix {

// Window styles of the templates, with the platform's values.
inline constexpr std::uint32_t kWsPopup = 0x80000000;
inline constexpr std::uint32_t kWsChild = 0x40000000;
inline constexpr std::uint32_t kWsVisible = 0x10000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsBorder = 0x00800000;
inline constexpr std::uint32_t kWsVScroll = 0x00200000;
inline constexpr std::uint32_t kWsHScroll = 0x00100000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsGroup = 0x00020000;
inline constexpr std::uint32_t kWsTabStop = 0x00010000;
// Dialog styles.
inline constexpr std::uint32_t kDsSetFont = 0x40;
inline constexpr std::uint32_t kDsModalFrame = 0x80;
// Button styles: the low bits say the kind.
inline constexpr std::uint32_t kBsPushButton = 0x0;
inline constexpr std::uint32_t kBsDefPushButton = 0x1;
inline constexpr std::uint32_t kBsCheckBox = 0x2;
inline constexpr std::uint32_t kBsAutoCheckBox = 0x3;
// Edit styles.
inline constexpr std::uint32_t kEsMultiLine = 0x4;
inline constexpr std::uint32_t kEsAutoVScroll = 0x40;
inline constexpr std::uint32_t kEsAutoHScroll = 0x80;
inline constexpr std::uint32_t kEsReadOnly = 0x800;
inline constexpr std::uint32_t kEsWantReturn = 0x1000;
// Static styles: the low bits say the kind.
inline constexpr std::uint32_t kSsLeft = 0x0;
inline constexpr std::uint32_t kSsRight = 0x2;
inline constexpr std::uint32_t kSsIcon = 0x3;
inline constexpr std::uint32_t kSsBlackFrame = 0x7;
// List box styles.
inline constexpr std::uint32_t kLbsNotify = 0x1;
inline constexpr std::uint32_t kLbsOwnerDrawFixed = 0x10;
inline constexpr std::uint32_t kLbsNoIntegralHeight = 0x100;

// Class ordinals of the predefined control classes. An ordinal names one only when it has
// the predefined-class bit set.
inline constexpr int kPredefinedControlBit = 0x80;
inline constexpr int kButtonClass = 0x80;
inline constexpr int kEditClass = 0x81;
inline constexpr int kStaticClass = 0x82;
inline constexpr int kListBoxClass = 0x83;
inline constexpr int kScrollBarClass = 0x84;
inline constexpr int kComboBoxClass = 0x85;

/// The id a template gives controls that nobody refers to (labels, icons).
inline constexpr int kUnusedControlId = 0xFFFF;

/// One control of a template, as the template gives it.
struct DialogItemTemplate {
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  int X = 0, Y = 0, CX = 0, CY = 0;
  int id = 0;
  int class_ordinal = 0;
  /// The title, one byte per 16-bit character (its low byte).
  std::string title;
  std::vector<std::uint8_t> creation_data;
};

/// A whole dialog template.
struct DialogTemplate {
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  int X = 0, Y = 0, CX = 0, CY = 0;
  std::string menu;
  std::string class_name;
  std::string title;
  std::vector<DialogItemTemplate> items;
};

/// Reads a template in the layout described above. Fails (Corrupt) when the bytes are cut
/// short, when the template carries a font (kDsSetFont), or when a control's class is
/// given by name or by an ordinal without the predefined-class bit or of 0.
Result<DialogTemplate> ReadDialogTemplate(const std::uint8_t* data, std::size_t size);
Result<DialogTemplate> ReadDialogTemplate(const std::vector<std::uint8_t>& bytes);

/// Writes a template in the layout described above; ReadDialogTemplate gives it back.
/// Titles are written one 16-bit character per byte.
std::vector<std::uint8_t> WriteDialogTemplate(const DialogTemplate& dialog);

/// The kinds of control a template item makes.
enum class ControlKind { kCheckBox, kPushButton, kEdit, Static, kListBox, kComboBox };

/// The kind of control an item of class `ChildType` and style `Style` makes: a button
/// whose style has bit 0x2 is a check box, any other button a push button (never the
/// default one). Nothing for ordinals that make no control (the scroll bar among them).
std::optional<ControlKind> ControlKindOf(int child_type, std::uint32_t style);

/// The most characters the control takes: 256 for a static, 16384 for a combo box, and 0
/// (no limit of its own) for the others.
int TextLimitOf(ControlKind kind);

/// The dialog base units of a font: Horizontal (bx) is the average character width,
/// Vertical (by) the character height, both in pixels.
struct DialogBaseUnits {
  int horizontal = 8;
  int vertical = 16;
};

/// A rectangle in pixels.
struct DialogPixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const DialogPixelRect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

/// A rectangle in dialog units converted to pixels: left = x × bx / 4, top = y × by / 8,
/// width = cx × bx / 4, height = cy × by / 8, each division truncating toward zero.
DialogPixelRect DialogUnitsToPixels(int x, int y, int cx, int cy, DialogBaseUnits units);

/// One control of a window laid out by a template.
struct ChildSizeObject {
  int id = 0;
  int child_type = 0;  ///< The class ordinal, 0x80 to 0x85.
  ControlKind kind = ControlKind::Static;
  int X = 0, Y = 0, CX = 0, CY = 0;  ///< The template rectangle, dialog units.
  std::uint32_t style = 0;  ///< The control's window style, exactly as the template gives it.
  std::string title;
};

/// The layout of a window built from a template: its controls in template order and the
/// arithmetic that places them.
class ControlSizer {
 public:
  /// Takes the controls of a template. Fails (InvalidArgument) when an item's class makes
  /// no control, or when the template's width or height is not positive, so that nothing
  /// can be laid out in proportion to it.
  static Result<ControlSizer> FromTemplate(const DialogTemplate& dialog);
  /// Reads the bytes (ReadDialogTemplate) and takes the controls.
  static Result<ControlSizer> FromBytes(const std::vector<std::uint8_t>& bytes);

  /// The template's own style, which the window takes.
  std::uint32_t WindowStyle() const { return style_; }
  /// The template's width and height in dialog units.
  int TemplateWidth() const { return template_cx_; }
  int TemplateHeight() const { return template_cy_; }
  const std::string& TemplateTitle() const { return template_title_; }

  int ChildCount() const { return static_cast<int>(children_.size()); }
  const ChildSizeObject& Child(int index) const;
  const std::vector<ChildSizeObject>& GetChildren() const { return children_; }
  /// The index of the first child with that id, or nothing.
  std::optional<int> FindChild(int id) const;

  /// Where the window first goes: the template's own rectangle in pixels.
  DialogPixelRect WindowRect(DialogBaseUnits units) const;
  /// Where a control first goes: its template rectangle in pixels.
  DialogPixelRect InitialChildRect(int index, DialogBaseUnits units) const;
  /// Where a control goes in a client area of clientWidth × clientHeight pixels:
  /// X × W / template cx, Y × H / template cy, CX × W / template cx, CY × H / template cy,
  /// each with MulDiv (64-bit product, rounded to nearest).
  DialogPixelRect ChildRect(int index, int client_width, int client_height) const;
  /// ChildRect of every control, in template order.
  std::vector<DialogPixelRect> Layout(int client_width, int client_height) const;

 private:
  ControlSizer() = default;

  std::uint32_t style_ = 0;
  int template_x_ = 0, template_y_ = 0;
  int template_cx_ = 0, template_cy_ = 0;
  std::string template_title_;
  std::vector<ChildSizeObject> children_;
};

}  // namespace pix
