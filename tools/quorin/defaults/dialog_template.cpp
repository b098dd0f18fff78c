#include "dialog_template.h"

namespace {

constexpr uint32_t kDsSetFont = 0x40;

// Walks the template with bounds checks; the first failure sticks, so a
// caller can read a run of fields and test once.
class Cursor {
 public:
  Cursor(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  bool ok() const { return ok_; }
  size_t at() const { return at_; }
  size_t failedAt() const { return failedAt_; }

  uint16_t Word() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }

  uint32_t Dword() {
    uint32_t low = Word();
    return low | (static_cast<uint32_t>(Word()) << 16);
  }

  int16_t Short() { return static_cast<int16_t>(Word()); }

  void Skip(size_t n) {
    if (Need(n)) at_ += n;
  }

  // Controls start on 4-byte boundaries of the template.
  void Align4() { Skip(((at_ + 3) & ~static_cast<size_t>(3)) - at_); }

  std::string String() {
    std::string s;
    while (ok_) {
      uint16_t c = Word();
      if (c == 0) break;
      s += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return s;
  }

  // A field that holds nothing (0), a number (0xFFFF, number) or a string.
  std::string StringOrNumber(uint16_t* number) {
    *number = 0;
    if (!Need(2)) return std::string();
    uint16_t first = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    if (first == 0xFFFF) {
      Word();
      *number = Word();
      return "#" + std::to_string(*number);
    }
    return String();
  }

 private:
  bool Need(size_t n) {
    if (ok_ && n <= size_ - at_) return true;
    if (ok_) failedAt_ = at_;
    ok_ = false;
    return false;
  }

  const uint8_t* bytes_;
  size_t size_;
  size_t at_ = 0;
  size_t failedAt_ = 0;
  bool ok_ = true;
};

}  // namespace

bool ParseDialogTemplate(const uint8_t* bytes, size_t size, DialogTemplate* dialog, std::string* error) {
  *dialog = DialogTemplate();
  Cursor c(bytes, size);
  uint16_t itemCount = 0;
  if (size >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF) {
    dialog->extended = true;
    c.Skip(4);
    c.Dword();  // help id
    dialog->exStyle = c.Dword();
    dialog->style = c.Dword();
  } else {
    dialog->style = c.Dword();
    dialog->exStyle = c.Dword();
  }
  itemCount = c.Word();
  dialog->x = c.Short();
  dialog->y = c.Short();
  dialog->cx = c.Short();
  dialog->cy = c.Short();
  uint16_t number;
  c.StringOrNumber(&number);  // menu
  c.StringOrNumber(&number);  // window class
  dialog->caption = c.String();
  if (dialog->style & kDsSetFont) {
    dialog->pointSize = c.Word();
    if (dialog->extended) c.Skip(4);  // weight, italic, character set
    dialog->fontFace = c.String();
  }
  if (!c.ok()) {
    *error = "dialog header runs past the end of the template at offset " + std::to_string(c.failedAt());
    return false;
  }
  for (int i = 0; i < itemCount; ++i) {
    DialogControl control;
    c.Align4();
    if (dialog->extended) {
      c.Dword();  // help id
      control.exStyle = c.Dword();
      control.style = c.Dword();
    } else {
      control.style = c.Dword();
      control.exStyle = c.Dword();
    }
    control.x = c.Short();
    control.y = c.Short();
    control.cx = c.Short();
    control.cy = c.Short();
    control.id = dialog->extended ? c.Dword() : c.Word();
    control.className = c.StringOrNumber(&control.classAtom);
    if (control.classAtom) control.className.clear();
    control.text = c.StringOrNumber(&number);
    // The dialog manager skips the count word and that many bytes after it.
    uint16_t extra = c.Word();
    c.Skip(extra);
    if (!c.ok()) {
      *error = "control " + std::to_string(i + 1) + " of " + std::to_string(itemCount) +
               " runs past the end of the template at offset " + std::to_string(c.failedAt());
      return false;
    }
    dialog->controls.push_back(control);
  }
  dialog->size = c.at();
  return true;
}

const DialogControl* FindControl(const DialogTemplate& dialog, uint32_t id) {
  for (const DialogControl& control : dialog.controls)
    if (control.id == id) return &control;
  return nullptr;
}
