// Opens a file or link with the program Windows associates with it, and, when
// the shell cannot, with the open command registered for its file type.
#pragma once

// file type: an extension with its dot (".htm"), or "." for none.
void OpenDocument(const char* target, const char* fileType);

// The closing page's link target is kept scrambled: each byte exclusive-or
// 0x55 (its plain form holds no 0x55, so the stored form holds no NUL). The
// operation is its own inverse.
void Unscramble(char* text);
char* LinkTarget();

// Rewrites a registered open command so that it opens the target: the
// placeholder ("%1" in quotes, else %1) and everything after it are replaced
// by the target, quoted when it holds a space. Without a placeholder the
// target is appended. False when the result would not fit the buffer.
bool OpenCommandFor(char* command, unsigned capacity, const char* target);
