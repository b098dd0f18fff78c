// Placeholders for the font registration and the shortcuts, which come with
// the closing work of an installation. They do nothing yet.
#pragma once

#include <stdint.h>

void RegisterFontPending(const char* path);
void CreateDesktopShortcutPending(const uint8_t* entry, const char* target);
