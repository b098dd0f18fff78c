// The state of one uninstall run, shared by its steps.
#pragma once

#include <stdint.h>

#include "package/format.h"

// Exit codes, the ones Windows package managers already understand.
constexpr int kExitRemoved = 0;
constexpr int kExitCancelled = 1602;
constexpr int kExitFailed = 1603;
constexpr int kExitRestartNeeded = 3010;

// The folders a setup writes to outside the destination folder.
enum KnownFolder {
  kFolderWindows,
  kFolderSystem,
  kFolderFonts,
  kFolderDesktop,
  kFolderStartMenu,
  kFolderPrograms,
  kFolderStartup,
  kKnownFolderCount,
};

struct UninstallState {
  bool quiet;                                  // /Q: no question, no message
  char ownPath[format::kPathBufferSize];
  char destination[format::kPathBufferSize];   // the folder the uninstaller lies in
  char productName[format::kPathBufferSize];
  char knownFolders[kKnownFolderCount][format::kPathBufferSize];
  uint8_t* file;                               // the uninstaller file, read whole
  uint8_t* data;                               // the uninstall data inside it
  uint32_t dataSize;
  uint32_t itemsToRemove;                      // intact records found by the check
  bool dataDamaged;                            // a record was refused
  bool keyFound;
  bool keyRemoved;
  bool notRegistered;                          // the uninstall entry names another program
  bool failed;                                 // something recorded could not be removed
  bool restartNeeded;                          // something waits for the next restart
  bool problemListFull;
  char problems[2048];                         // what was refused or left, one line each
};

extern UninstallState g_uninstall;
