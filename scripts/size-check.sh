#!/usr/bin/env bash
# Prints the size of the stripped i686 stub, the release target, and fails when
# it grows past its budget.
set -euo pipefail
cd "$(dirname "$0")/.."
budget=77824
stub=build/i686/src/quorin-stub.exe
[ -f "$stub" ] || { echo "size check: $stub not built (run scripts/build.sh)"; exit 1; }
size=$(stat -c %s "$stub")
echo "size check: i686 stub is $size bytes of a budget of $budget ($((budget - size)) left)"
[ "$size" -le "$budget" ] || { echo "size check: the stub is over its budget"; exit 1; }
