// Dialog templates read and written in the Windows layout, and the arithmetic that places
// a template's controls.

#include "base/sizer.h"

#include <string>
#include <utility>

#include "base/progress.h"

namespace pix {

namespace {

// Little-endian reads from a template; every read is checked against the end.
class TemplateReader {
 public:
  TemplateReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Word(int* value) {
    if (size_ - pos_ < 2) return false;
    *value = data_[pos_] | (data_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
  }
  bool SignedWord(int* value) {
    int word = 0;
    if (!Word(&word)) return false;
    *value = word >= 0x8000 ? word - 0x10000 : word;
    return true;
  }
  bool DoubleWord(std::uint32_t* value) {
    int low = 0;
    int high = 0;
    if (!Word(&low) || !Word(&high)) return false;
    *value = static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16);
    return true;
  }
  // A NUL-terminated string of 16-bit characters, kept as their low bytes.
  bool String(std::string* text) {
    text->clear();
    for (;;) {
      int c = 0;
      if (!Word(&c)) return false;
      if (c == 0) return true;
      text->push_back(static_cast<char>(c & 0xFF));
    }
  }
  // A menu or class: a string, or 0xFFFF and an ordinal (kept as "#" and the number).
  bool NameOrOrdinal(std::string* text) {
    if (size_ - pos_ >= 2 && data_[pos_] == 0xFF && data_[pos_ + 1] == 0xFF) {
      int ordinal = 0;
      pos_ += 2;
      if (!Word(&ordinal)) return false;
      *text = "#" + std::to_string(ordinal);
      return true;
    }
    return String(text);
  }
  bool Bytes(std::size_t count, std::vector<std::uint8_t>* out) {
    if (size_ - pos_ < count) return false;
    out->assign(data_ + pos_, data_ + pos_ + count);
    pos_ += count;
    return true;
  }
  bool AlignToDoubleWord() {
    const std::size_t aligned = (pos_ + 3) / 4 * 4;
    if (aligned > size_) return false;
    pos_ = aligned;
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class TemplateWriter {
 public:
  void Word(int value) {
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
  }
  void DoubleWord(std::uint32_t value) {
    Word(static_cast<int>(value & 0xFFFF));
    Word(static_cast<int>(value >> 16));
  }
  void String(const std::string& text) {
    for (char c : text) Word(static_cast<unsigned char>(c));
    Word(0);
  }
  void Bytes(const std::vector<std::uint8_t>& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  void AlignToDoubleWord() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

Status CutShort(const char* where) {
  return Status::Corrupt(std::string("dialog template cut short in ") + where);
}

}  // namespace

Result<DialogTemplate> ReadDialogTemplate(const std::uint8_t* data, std::size_t size) {
  TemplateReader reader(data, size);
  DialogTemplate dialog;
  int count = 0;
  if (!reader.DoubleWord(&dialog.style) || !reader.DoubleWord(&dialog.ex_style) ||
      !reader.Word(&count) || !reader.SignedWord(&dialog.X) || !reader.SignedWord(&dialog.Y) ||
      !reader.SignedWord(&dialog.CX) || !reader.SignedWord(&dialog.CY)) {
    return CutShort("the header");
  }
  // With a font the header would go on with the font's size and name, which the sizer does
  // not use; the program's templates never carry one.
  if (dialog.style & kDsSetFont) return Status::Corrupt("dialog template carries a font");
  if (!reader.NameOrOrdinal(&dialog.menu) || !reader.NameOrOrdinal(&dialog.class_name) ||
      !reader.String(&dialog.title)) {
    return CutShort("the header's names");
  }
  for (int i = 0; i < count; ++i) {
    DialogItemTemplate item;
    int class_marker = 0;
    int creation_data_size = 0;
    if (!reader.AlignToDoubleWord() || !reader.DoubleWord(&item.style) ||
        !reader.DoubleWord(&item.ex_style) || !reader.SignedWord(&item.X) ||
        !reader.SignedWord(&item.Y) || !reader.SignedWord(&item.CX) ||
        !reader.SignedWord(&item.CY) || !reader.Word(&item.id) || !reader.Word(&class_marker)) {
      return CutShort("a control");
    }
    if (class_marker != 0xFFFF) {
      return Status::Corrupt("dialog template control " + std::to_string(item.id) +
                             " names its class instead of giving its ordinal");
    }
    if (!reader.Word(&item.class_ordinal)) return CutShort("a control");
    if (item.class_ordinal == 0 || !(item.class_ordinal & kPredefinedControlBit)) {
      return Status::Corrupt("dialog template control " + std::to_string(item.id) +
                             " has no predefined control class");
    }
    if (!reader.String(&item.title) || !reader.Word(&creation_data_size) ||
        !reader.Bytes(static_cast<std::size_t>(creation_data_size), &item.creation_data)) {
      return CutShort("a control's title");
    }
    dialog.items.push_back(std::move(item));
  }
  return dialog;
}

Result<DialogTemplate> ReadDialogTemplate(const std::vector<std::uint8_t>& bytes) {
  return ReadDialogTemplate(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> WriteDialogTemplate(const DialogTemplate& dialog) {
  TemplateWriter writer;
  writer.DoubleWord(dialog.style);
  writer.DoubleWord(dialog.ex_style);
  writer.Word(static_cast<int>(dialog.items.size()));
  writer.Word(dialog.X);
  writer.Word(dialog.Y);
  writer.Word(dialog.CX);
  writer.Word(dialog.CY);
  writer.String(dialog.menu);
  writer.String(dialog.class_name);
  writer.String(dialog.title);
  for (const DialogItemTemplate& item : dialog.items) {
    writer.AlignToDoubleWord();
    writer.DoubleWord(item.style);
    writer.DoubleWord(item.ex_style);
    writer.Word(item.X);
    writer.Word(item.Y);
    writer.Word(item.CX);
    writer.Word(item.CY);
    writer.Word(item.id);
    writer.Word(0xFFFF);
    writer.Word(item.class_ordinal);
    writer.String(item.title);
    writer.Word(static_cast<int>(item.creation_data.size()));
    writer.Bytes(item.creation_data);
  }
  return writer.Take();
}

std::optional<ControlKind> ControlKindOf(int child_type, std::uint32_t style) {
  switch (child_type) {
    case kButtonClass:
      return (style & 0x2) ? ControlKind::kCheckBox : ControlKind::kPushButton;
    case kEditClass:
      return ControlKind::kEdit;
    case kStaticClass:
      return ControlKind::Static;
    case kListBoxClass:
      return ControlKind::kListBox;
    case kComboBoxClass:
      return ControlKind::kComboBox;
    default:
      return std::nullopt;
  }
}

int TextLimitOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Static:
      return 256;
    case ControlKind::kComboBox:
      return 16384;
    default:
      return 0;
  }
}

DialogPixelRect DialogUnitsToPixels(int x, int y, int cx, int cy, DialogBaseUnits units) {
  return DialogPixelRect{x * units.horizontal / 4, y * units.vertical / 8, cx * units.horizontal / 4,
                     cy * units.vertical / 8};
}

Result<ControlSizer> ControlSizer::FromTemplate(const DialogTemplate& dialog) {
  if (dialog.CX <= 0 || dialog.CY <= 0) {
    return Status::InvalidArgument("dialog template \"" + dialog.title + "\" has no area");
  }
  ControlSizer sizer;
  sizer.style_ = dialog.style;
  sizer.template_x_ = dialog.X;
  sizer.template_y_ = dialog.Y;
  sizer.template_cx_ = dialog.CX;
  sizer.template_cy_ = dialog.CY;
  sizer.template_title_ = dialog.title;
  for (const DialogItemTemplate& item : dialog.items) {
    const std::optional<ControlKind> kind = ControlKindOf(item.class_ordinal, item.style);
    if (!kind) {
      return Status::InvalidArgument("dialog template control " + std::to_string(item.id) +
                                     " of class " + std::to_string(item.class_ordinal) +
                                     " makes no control");
    }
    ChildSizeObject child;
    child.id = item.id;
    child.child_type = item.class_ordinal;
    child.kind = *kind;
    child.X = item.X;
    child.Y = item.Y;
    child.CX = item.CX;
    child.CY = item.CY;
    child.style = item.style;
    child.title = item.title;
    sizer.children_.push_back(std::move(child));
  }
  return sizer;
}

Result<ControlSizer> ControlSizer::FromBytes(const std::vector<std::uint8_t>& bytes) {
  Result<DialogTemplate> dialog = ReadDialogTemplate(bytes);
  if (!dialog.ok()) return dialog.status();
  return FromTemplate(*dialog);
}

const ChildSizeObject& ControlSizer::Child(int index) const {
  PIX_CHECK(index >= 0 && index < ChildCount());
  return children_[static_cast<std::size_t>(index)];
}

std::optional<int> ControlSizer::FindChild(int id) const {
  for (int i = 0; i < ChildCount(); ++i) {
    if (children_[static_cast<std::size_t>(i)].id == id) return i;
  }
  return std::nullopt;
}

DialogPixelRect ControlSizer::WindowRect(DialogBaseUnits units) const {
  return DialogUnitsToPixels(template_x_, template_y_, template_cx_, template_cy_, units);
}

DialogPixelRect ControlSizer::InitialChildRect(int index, DialogBaseUnits units) const {
  const ChildSizeObject& child = Child(index);
  return DialogUnitsToPixels(child.X, child.Y, child.CX, child.CY, units);
}

DialogPixelRect ControlSizer::ChildRect(int index, int client_width, int client_height) const {
  const ChildSizeObject& child = Child(index);
  return DialogPixelRect{
      MulDiv(child.X, client_width, template_cx_), MulDiv(child.Y, client_height, template_cy_),
      MulDiv(child.CX, client_width, template_cx_), MulDiv(child.CY, client_height, template_cy_)};
}

std::vector<DialogPixelRect> ControlSizer::Layout(int client_width, int client_height) const {
  std::vector<DialogPixelRect> rects;
  rects.reserve(children_.size());
  for (int i = 0; i < ChildCount(); ++i) rects.push_back(ChildRect(i, client_width, client_height));
  return rects;
}

}  // namespace pix
