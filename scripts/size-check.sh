#!/usr/bin/env bash
# Prints the size of the stripped i686 stub and uninstaller, the release
# targets, and fails when either grows past its budget.
set -euo pipefail
cd "$(dirname "$0")/.."
budget=77824
stub=build/i686/src/quorin-stub.exe
[ -f "$stub" ] || { echo "size check: $stub not built (run scripts/build.sh)"; exit 1; }
size=$(stat -c %s "$stub")
echo "size check: i686 stub is $size bytes of a budget of $budget ($((budget - size)) left)"
[ "$size" -le "$budget" ] || { echo "size check: the stub is over its budget"; exit 1; }

uninstaller=build/i686/uninstall/quorin-uninstall.exe
uninstallerBudget=16384
[ -f "$uninstaller" ] || { echo "size check: $uninstaller not built (run scripts/build.sh)"; exit 1; }
size=$(stat -c %s "$uninstaller")
echo "size check: i686 uninstaller is $size bytes of a budget of $uninstallerBudget ($((uninstallerBudget - size)) left)"
[ "$size" -le "$uninstallerBudget" ] || { echo "size check: the uninstaller is over its budget"; exit 1; }
