// The uninstall data is walked once to check it and then once per kind of
// work, in the order things must go: files, shortcuts and their menu folders,
// the emptied folders of the destination tree, and the uninstall entry last.
// Every walk checks each record again; only the check reports what it refuses.
#pragma once

enum UninstallPass {
  kPassCheck,      // counts what can be removed and notes what is refused
  kPassFiles,
  kPassShortcuts,
  kPassFolders,
  kPassKey,
};

void WalkUninstallData(UninstallPass pass);
