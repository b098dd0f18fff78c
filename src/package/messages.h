// The one message box of the stub, and the one place where the installation
// asks the user anything. Texts and caption come from the string groups
// (package/strings.h, which also formats error messages).
#pragma once

#include "package/strings.h"

// Shows text with a MessageBoxA style word and returns the button that closed
// the box (IDOK, IDCANCEL, IDYES, IDNO). The caption is the program title.
int ShowMessage(const char* text, unsigned style);

// Every question of a run, so that an unattended run can answer each one
// with its own safe answer instead of showing it.
enum Question {
  kAskCreateFolder,       // the destination folder does not exist
  kAskNotEnoughSpace,     // the destination disk looks too small
  kAskReadOnlyTargets,    // files to be replaced are read-only
  kAskReplaceNewer,       // the existing file is newer
  kAskReplaceLanguage,    // the existing file is in another language
  kAskInsertVolume,       // the next data volume is missing
  kAskGiveUpVolume,       // ... and the user pressed Cancel at its prompt
  kAskCancelWizard,       // Cancel in the wizard
  kAskCancelInstallation, // Cancel while files are installed
};

// Asks with ShowMessage and returns the button.
int AskQuestion(Question question, const char* text, unsigned style);
