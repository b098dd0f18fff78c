// Reads a binary dialog template, DLGTEMPLATE or DLGTEMPLATEEX, the way the
// dialog manager walks it. The builder uses it to check the templates it puts
// into a package (a template the stub cannot create would end the wizard),
// and `quorin` to show what a package's dialogs contain.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct DialogControl {
  uint32_t id = 0;            // 0xFFFF (or 0xFFFFFFFF in an extended template) for "no id"
  uint16_t classAtom = 0;     // 0x80 button .. 0x85 combo box; 0 when named
  std::string className;      // when named; ASCII, other characters as '?'
  std::string text;           // as above; "#n" for a resource number
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
  bool extended = false;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  uint16_t pointSize = 0;     // with DS_SETFONT only
  std::string fontFace;
  std::vector<DialogControl> controls;
  size_t size = 0;            // bytes the template takes, up to the end of its last control
};

// Parses the template at bytes; false with a message naming the offset when
// a field runs past size.
bool ParseDialogTemplate(const uint8_t* bytes, size_t size, DialogTemplate* dialog, std::string* error);

// The control with that id, or null.
const DialogControl* FindControl(const DialogTemplate& dialog, uint32_t id);
