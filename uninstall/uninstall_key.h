// The uninstall entry of the system: the record that names it, the check that
// it names this very uninstaller, and its removal, which comes last.
#pragma once

#include "install/uninstall_data.h"

// In the check: validates the record, takes the product name from it and
// compares the entry's UninstallString with this program. Otherwise deletes
// the key.
void HandleUninstallKey(const UninstallRecord& record, bool checkOnly);
