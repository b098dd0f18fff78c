// The one message box of the stub. Its texts and caption come from the string
// groups (package/strings.h, which also formats error messages).
#pragma once

#include "package/strings.h"

// Shows text with a MessageBoxA style word and returns the button that closed
// the box (IDOK, IDCANCEL, IDYES, IDNO). The caption is the program title.
int ShowMessage(const char* text, unsigned style);
