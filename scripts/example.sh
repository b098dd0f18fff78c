#!/usr/bin/env bash
# The main job on the bundled example: builds the tools, builds the example's
# setup file from its project, installs it unattended into a throwaway Wine
# prefix and shows what landed: the files, the shortcuts, the uninstall entry
# and the exit code; then removes it quietly with the uninstaller the build
# added and shows that it is gone. The stub is the i686 release target where
# this machine runs 32-bit Windows programs, else the x86_64 one.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1
scripts/build.sh >/dev/null || { echo "the build failed"; exit 1; }
source scripts/wine-bench.sh
bench_start 2>/dev/null || { echo "no Wine bench could be started"; exit 1; }
arch=$BENCH_STUB_ARCH
mkdir -p build/example
build/host/tools/quorin/quorin build examples/hello/project.toml -o build/example/setup.exe --arch "$arch" || exit 1

echo
echo "== installing build/example/setup.exe unattended ($arch stub)"
log='C:\example-setup.log'
timeout 300 wine build/x64/tests/driver/qdriver.exe --timeout 240 \
  "start $(winepath -w build/example/setup.exe) /Q /L $log" "exit" >build/example/run.log 2>&1
code=$(sed -n 's/^exit \(-\{0,1\}[0-9]*\)$/\1/p' build/example/run.log)
tr -d '\r' <"$(winepath -u "$log")" | sed 's/^/  /'

folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
programs=$(bench_unix_path "$(bench_reg_value "$folders" Programs)")
target=$(bench_unix_path "$(bench_reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion' ProgramFilesDir)\\Hello World")
echo
echo "== files in $(winepath -w "$target" 2>/dev/null)"
(cd "$target" 2>/dev/null && find . -type f | sort | sed 's|^\./|  |')
echo "== shortcuts"
find "$programs" -name '*.lnk' 2>/dev/null | sed "s|^$programs/|  Programs\\\\|; s|/|\\\\|g"
echo "== uninstall entry"
bench_reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | grep -v '^$' | sed 's/^/  /'
echo "== exit code: $code"

uninstaller=$(bench_reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Hello World 1.0 (remove only)' UninstallString)
echo
echo "== removing it again: $uninstaller /Q"
timeout 120 wine build/x64/tests/driver/qdriver.exe --timeout 90 "start \"$uninstaller\" /Q" "exit" \
  >build/example/uninstall.log 2>&1
removed=$(sed -n 's/^exit \(-\{0,1\}[0-9]*\)$/\1/p' build/example/uninstall.log)
sleep 2   # the uninstaller's temporary copy deletes the uninstaller itself
echo "  the folder is $([ -e "$target" ] && echo "still there" || echo "gone"), the shortcuts are" \
  "$(find "$programs" -name '*.lnk' 2>/dev/null | grep -q . && echo "still there" || echo "gone")," \
  "$(bench_reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | grep -q 'Hello World' &&
     echo "the uninstall entry is still there" || echo "the uninstall entry is gone")"
echo "== exit code: $removed"
bench_stop
[ "$code" = 0 ] && [ "$removed" = 0 ]
