// The installation engine's own run state: where the loop stands in the file
// list, and the hooks through which it shows its progress. What it leaves for
// the finish page and the end of the run is g_setup.run.
#pragma once

#include <stdint.h>

// What became of one entry, for a log of the run.
enum EntryOutcome {
  kOutcomeInstalled,      // written now
  kOutcomeIdentical,      // the file in use already had these contents
  kOutcomeKeptNewer,      // the existing file was newer or of another language
  kOutcomeAtRestart,      // waits for the next restart
  kOutcomeExternal,       // lies beside the setup file; nothing was read
  kOutcomeFailed,         // the installation stopped here (the error code says why)
};

struct InstallHooks {
  // Before an entry is installed: its destination path.
  void (*showFile)(const char* path);
  // After an entry: (index + 1) x 100 / count.
  void (*setPercentage)(unsigned percentage);
  // After an entry, or when it stopped the installation.
  void (*entryDone)(const uint8_t* entry, const char* path, EntryOutcome outcome);
  // The stages of the run: the destination when the installation begins,
  // the closing work or the error when it finishes.
  void (*note)(const char* what, const char* detail);
};

struct InstallState {
  const uint8_t* currentEntry;  // the next entry of the file list
  uint32_t index;               // of the entry last taken; starts at 0xFFFFFFFF
  InstallHooks hooks;           // each may be null
  char* uninstallerFile;        // the temporary file of an uninstaller waiting for the restart
  bool finished;                // Finish installation has run
};

extern InstallState g_install;
