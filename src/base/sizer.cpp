// Dialog templates read and written in the Windows layout, and the arithmetic that places
// a template's controls.

#include "base/sizer.h"

#include <string>
#include <utility>

#include "base/progress.h"

namespace pix {

namespace {

// Little-endian reads from a template; every read is checked against the end.
class TTemplateReader {
 public:
  TTemplateReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

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

class TTemplateWriter {
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

Result<TDialogTemplate> ReadDialogTemplate(const std::uint8_t* data, std::size_t size) {
  TTemplateReader reader(data, size);
  TDialogTemplate dialog;
  int count = 0;
  if (!reader.DoubleWord(&dialog.Style) || !reader.DoubleWord(&dialog.ExStyle) ||
      !reader.Word(&count) || !reader.SignedWord(&dialog.X) || !reader.SignedWord(&dialog.Y) ||
      !reader.SignedWord(&dialog.CX) || !reader.SignedWord(&dialog.CY)) {
    return CutShort("the header");
  }
  // With a font the header would go on with the font's size and name, which the sizer does
  // not use; the program's templates never carry one.
  if (dialog.Style & kDsSetFont) return Status::Corrupt("dialog template carries a font");
  if (!reader.NameOrOrdinal(&dialog.szMenu) || !reader.NameOrOrdinal(&dialog.szClass) ||
      !reader.String(&dialog.szTitle)) {
    return CutShort("the header's names");
  }
  for (int i = 0; i < count; ++i) {
    TDialogItemTemplate item;
    int classMarker = 0;
    int creationDataSize = 0;
    if (!reader.AlignToDoubleWord() || !reader.DoubleWord(&item.Style) ||
        !reader.DoubleWord(&item.ExStyle) || !reader.SignedWord(&item.X) ||
        !reader.SignedWord(&item.Y) || !reader.SignedWord(&item.CX) ||
        !reader.SignedWord(&item.CY) || !reader.Word(&item.Id) || !reader.Word(&classMarker)) {
      return CutShort("a control");
    }
    if (classMarker != 0xFFFF) {
      return Status::Corrupt("dialog template control " + std::to_string(item.Id) +
                             " names its class instead of giving its ordinal");
    }
    if (!reader.Word(&item.ClassOrdinal)) return CutShort("a control");
    if (item.ClassOrdinal == 0 || !(item.ClassOrdinal & kPredefinedControlBit)) {
      return Status::Corrupt("dialog template control " + std::to_string(item.Id) +
                             " has no predefined control class");
    }
    if (!reader.String(&item.szTitle) || !reader.Word(&creationDataSize) ||
        !reader.Bytes(static_cast<std::size_t>(creationDataSize), &item.CreationData)) {
      return CutShort("a control's title");
    }
    dialog.Items.push_back(std::move(item));
  }
  return dialog;
}

Result<TDialogTemplate> ReadDialogTemplate(const std::vector<std::uint8_t>& bytes) {
  return ReadDialogTemplate(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> WriteDialogTemplate(const TDialogTemplate& dialog) {
  TTemplateWriter writer;
  writer.DoubleWord(dialog.Style);
  writer.DoubleWord(dialog.ExStyle);
  writer.Word(static_cast<int>(dialog.Items.size()));
  writer.Word(dialog.X);
  writer.Word(dialog.Y);
  writer.Word(dialog.CX);
  writer.Word(dialog.CY);
  writer.String(dialog.szMenu);
  writer.String(dialog.szClass);
  writer.String(dialog.szTitle);
  for (const TDialogItemTemplate& item : dialog.Items) {
    writer.AlignToDoubleWord();
    writer.DoubleWord(item.Style);
    writer.DoubleWord(item.ExStyle);
    writer.Word(item.X);
    writer.Word(item.Y);
    writer.Word(item.CX);
    writer.Word(item.CY);
    writer.Word(item.Id);
    writer.Word(0xFFFF);
    writer.Word(item.ClassOrdinal);
    writer.String(item.szTitle);
    writer.Word(static_cast<int>(item.CreationData.size()));
    writer.Bytes(item.CreationData);
  }
  return writer.Take();
}

std::optional<TControlKind> ControlKindOf(int ChildType, std::uint32_t Style) {
  switch (ChildType) {
    case kButtonClass:
      return (Style & 0x2) ? TControlKind::CheckBox : TControlKind::PushButton;
    case kEditClass:
      return TControlKind::Edit;
    case kStaticClass:
      return TControlKind::Static;
    case kListBoxClass:
      return TControlKind::ListBox;
    case kComboBoxClass:
      return TControlKind::ComboBox;
    default:
      return std::nullopt;
  }
}

int TextLimitOf(TControlKind kind) {
  switch (kind) {
    case TControlKind::Static:
      return 256;
    case TControlKind::ComboBox:
      return 16384;
    default:
      return 0;
  }
}

TWindowRect DialogUnitsToPixels(int x, int y, int cx, int cy, TDialogBaseUnits units) {
  return TWindowRect{x * units.Horizontal / 4, y * units.Vertical / 8, cx * units.Horizontal / 4,
                     cy * units.Vertical / 8};
}

Result<TControlSizer> TControlSizer::FromTemplate(const TDialogTemplate& dialog) {
  if (dialog.CX <= 0 || dialog.CY <= 0) {
    return Status::InvalidArgument("dialog template \"" + dialog.szTitle + "\" has no area");
  }
  TControlSizer sizer;
  sizer.Style = dialog.Style;
  sizer.TemplateX = dialog.X;
  sizer.TemplateY = dialog.Y;
  sizer.TemplateCX = dialog.CX;
  sizer.TemplateCY = dialog.CY;
  sizer.szTemplateTitle = dialog.szTitle;
  for (const TDialogItemTemplate& item : dialog.Items) {
    const std::optional<TControlKind> kind = ControlKindOf(item.ClassOrdinal, item.Style);
    if (!kind) {
      return Status::InvalidArgument("dialog template control " + std::to_string(item.Id) +
                                     " of class " + std::to_string(item.ClassOrdinal) +
                                     " makes no control");
    }
    TChildSizeObject child;
    child.Id = item.Id;
    child.ChildType = item.ClassOrdinal;
    child.Kind = *kind;
    child.X = item.X;
    child.Y = item.Y;
    child.CX = item.CX;
    child.CY = item.CY;
    child.Style = item.Style;
    child.szTitle = item.szTitle;
    sizer.Children.push_back(std::move(child));
  }
  return sizer;
}

Result<TControlSizer> TControlSizer::FromBytes(const std::vector<std::uint8_t>& bytes) {
  Result<TDialogTemplate> dialog = ReadDialogTemplate(bytes);
  if (!dialog.ok()) return dialog.status();
  return FromTemplate(*dialog);
}

const TChildSizeObject& TControlSizer::Child(int index) const {
  PIX_CHECK(index >= 0 && index < ChildCount());
  return Children[static_cast<std::size_t>(index)];
}

std::optional<int> TControlSizer::FindChild(int Id) const {
  for (int i = 0; i < ChildCount(); ++i) {
    if (Children[static_cast<std::size_t>(i)].Id == Id) return i;
  }
  return std::nullopt;
}

TWindowRect TControlSizer::WindowRect(TDialogBaseUnits units) const {
  return DialogUnitsToPixels(TemplateX, TemplateY, TemplateCX, TemplateCY, units);
}

TWindowRect TControlSizer::InitialChildRect(int index, TDialogBaseUnits units) const {
  const TChildSizeObject& child = Child(index);
  return DialogUnitsToPixels(child.X, child.Y, child.CX, child.CY, units);
}

TWindowRect TControlSizer::ChildRect(int index, int clientWidth, int clientHeight) const {
  const TChildSizeObject& child = Child(index);
  return TWindowRect{
      MulDiv(child.X, clientWidth, TemplateCX), MulDiv(child.Y, clientHeight, TemplateCY),
      MulDiv(child.CX, clientWidth, TemplateCX), MulDiv(child.CY, clientHeight, TemplateCY)};
}

std::vector<TWindowRect> TControlSizer::Layout(int clientWidth, int clientHeight) const {
  std::vector<TWindowRect> rects;
  rects.reserve(Children.size());
  for (int i = 0; i < ChildCount(); ++i) rects.push_back(ChildRect(i, clientWidth, clientHeight));
  return rects;
}

}  // namespace pix
