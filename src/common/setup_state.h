// The process-wide setup state of one run: the members that start-up, the
// package loader and the data volumes own. The wizard and the installation
// engine keep theirs beside their own code.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

// Package data, filled once by LoadPackage and released at the end of the run.
struct PackageData {
  uint32_t flags;
  uint8_t* sideBitmap;
  uint32_t sideBitmapSize;
  uint8_t* backgroundBitmap;
  uint32_t backgroundBitmapSize;
  char* uninstallName;
  char* backgroundTitle;
  uint8_t* titleStyle;
  uint32_t titleStyleSize;
  uint8_t* stringGroups[9];
  uint32_t stringGroupSizes[9];
  uint32_t locationRoot;
  char* locationKey;
  char* locationValue;
  char* locationIniFile;
  char* locationIniSection;
  char* locationIniKey;
  uint8_t* templates;
  uint32_t templatesSize;
  uint8_t* fileList;
  uint32_t fileListSize;
  uint32_t fileCount;
  uint8_t* firstEntry;
  uint16_t startPage;
  uint32_t pacingMs;           // 0: one entry per timer tick
  uint8_t* uninstallValues;    // record 0x1251, or null
  uint32_t uninstallValuesSize;
  uint32_t dataAreaStart;   // file offset of volume 0's size field
  uint32_t dataLength;      // size of volume 0
};

// Reading position in the data volumes.
struct VolumeState {
  FileHandle dataHandle;
  int32_t counter;
  uint32_t volumeSize;
  uint32_t remaining;
};

// What the installation leaves for the finish page and the end of the run.
// Several floors touch it: the engine sets it, the volume prompt and every
// confirmed cancel clear the three finish entries.
struct RunState {
  int errorCode;                   // 0, or an entry of string group 6
  bool restartNeeded;              // a file waits for the next restart
  bool running;                    // between Begin and Finish installation
  bool readOnlyTargets;            // the destination check met read-only files
  const uint8_t* viewEntry;        // file entries, or null
  const uint8_t* runEntry;
  const uint8_t* screenSaverEntry;
};

struct SetupState {
  void* instance;
  bool isNt;
  bool isNt4;
  bool sourceSwitch;      // /S
  bool noVerifySwitch;    // /R
  bool selfDeleteSwitch;  // /DEL
  bool quietSwitch;       // /Q: no wizard, no message boxes, exit codes for installers
  char targetFolder[260]; // /T folder: the destination of this run, when not empty
  char logPath[260];      // /L file: a plain-text log of the run, when not empty
  bool switchTooLong;     // a /T or /L path passed 259 characters and was not taken
  char* sourcePath;
  char* packagePath;
  char* destinationFolder;
  char* workPathB;
  char* workPathA;
  char* errorFileName;
  char* uninstallerPath;
  int screenWidth;
  int screenHeight;
  bool runAfterSetup;
  PackageData package;
  VolumeState volume;
  // Windows of the wizard (HWND), null until made: message boxes are owned by
  // the frame dialog, else the background window.
  void* backgroundWindow;
  void* frameDialog;
  // The running page ends when this becomes nonzero: 1 Next, 2 Cancel or
  // end, 1007 Back, any other value shows the page again.
  int pageResult;
  RunState run;
  // Set while a log is kept: every message and question of an unattended
  // run goes to it, with the answer given (0 for a message).
  void (*logMessage)(const char* text, int answer);
};

extern SetupState g_setup;

// Allocates the seven zero-filled path buffers, in their fixed order. False,
// with none left allocated, when memory runs out: the run cannot go on.
bool AllocatePathBuffers();
void ReleasePathBuffers();

// After a confirmed cancel or an error nothing is viewed, run or installed
// as screen saver at the end of the run.
void ClearFinishEntries();
