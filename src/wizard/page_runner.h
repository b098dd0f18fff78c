// The page runner: each wizard page is a modeless dialog made from a package
// template inside the frame dialog, with its own message loop, until the page
// or the frame dialog sets the page result.
#pragma once

#include <windows.h>

// A locked movable block of 16,384 bytes holding template n and whatever
// follows it in the template record, or null.
void* LoadTemplate(int number);
void FreeTemplate(void* block);

// Shows one page until the page result is set and returns it: 1 Next, 2
// Cancel, 1007 Back, or another value to show the page again. A missing
// template passes the page over as Next; a page that cannot be made gives 2.
int RunPage(int templateNumber, DLGPROC procedure, LPARAM parameter);

// Makes page n the next page, from code.
void JumpToPage(int page);
// Presses a navigation button from code: 1 Back, 2 Next, 4 Cancel.
void PressButton(unsigned button);

// True when the package names a start page: only that page is shown.
bool SinglePageMode();

// The navigation loop over the seven pages; returns when the sequence ends.
void RunPageSequence();
