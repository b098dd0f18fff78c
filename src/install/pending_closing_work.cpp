#include "install/pending_closing_work.h"

void RegisterFontPending(const char*) {}
void CreateDesktopShortcutPending(const uint8_t*, const char*) {}
