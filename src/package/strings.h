// Texts of the package's string groups. Every text the user sees is named by
// (group, entry); the stub itself holds no wording.
#pragma once

#include <stdint.h>

// The text of an entry, or the one static empty text when the group is absent,
// the entry is past the group's count, or the group is damaged. Never null.
const char* GetGroupString(int group, int entry);

// The message of an error code (an entry of group 6): a text holding "%s" gets
// the error file name in its place, any other text is copied unchanged. At most
// capacity - 1 characters are written, always terminated.
void FormatErrorMessage(char* destination, uint32_t capacity, int errorCode);
