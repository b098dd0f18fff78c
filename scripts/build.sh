#!/usr/bin/env bash
# Configures and builds everything, in the order the parts need each other:
# the two stubs (i686 release target, x86_64 with the Win32 tests and the test
# driver), then the host tools, which carry both stubs inside themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QUORIN_JOBS:-2}
for preset in i686 x64 host; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
done
