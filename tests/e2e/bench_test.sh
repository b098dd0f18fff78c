#!/usr/bin/env bash
# The Wine bench itself: the Windows version a program sees, the floppy drive,
# exit codes and time limits of bench_run, two benches side by side, and that
# stopping a bench leaves none of its processes or files behind.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/driver/qdriver_target.exe || exit 1

QDRIVER=$X64_BUILD/tests/driver/qdriver.exe
TARGET=$X64_BUILD/tests/driver/qdriver_target.exe

bench_start || exit 1
firstDisplay=$DISPLAY
firstPrefix=$WINEPREFIX
firstXvfb=$BENCH_XVFB_PID
e2e_check "the prefix exists" test -f "$WINEPREFIX/system.reg"
e2e_check "the display answers" xdpyinfo -display "$DISPLAY"

e2e_step "Windows versions"
check_version() {
  local name=$1 expected=$2
  bench_set_version "$name" 2>/dev/null
  _e2e_result $? "bench_set_version $name"
  wine "$QDRIVER" version >"$OUT/version-$name.log" 2>&1
  e2e_has_prefix "$OUT/version-$name.log" "$expected"
}
check_version win98 "version platform=1 major=4 minor=10"
check_version nt40 "version platform=2 major=4 minor=0"
check_version win7 "version platform=2 major=6 minor=1"
bench_set_version no-such-windows 2>/dev/null
e2e_check "an unknown version name is refused" test $? -eq 2

e2e_step "floppy drive"
floppy=$OUT/floppy
mkdir -p "$floppy"
cp "$TARGET" "$floppy/setup.exe"
bench_floppy "$floppy"
e2e_check "bench_floppy succeeded" test $? -eq 0
wine "$QDRIVER" 'drive A:\' 'drive C:\' >"$OUT/drive.log" 2>&1
e2e_has_line "$OUT/drive.log" 'drive A:\ type=2'
e2e_has_line "$OUT/drive.log" 'drive C:\ type=3'
wine "$QDRIVER" 'start A:\setup.exe from-floppy' 'window class=QuorinTargetClass' 'text 1003' \
  'syscommand close' 'exit 3' >"$OUT/floppy-run.log" 2>&1
e2e_check "a program runs from A:" test $? -eq 0
e2e_has_line "$OUT/floppy-run.log" 'text 1003 "args: from-floppy"'
e2e_check "bench_floppy refuses a missing folder" bash -c "! (source '$E2E_SOURCE_DIR/scripts/wine-bench.sh'; bench_floppy '$OUT/no-such-folder')"

e2e_step "bench_run"
bench_run 30 "$QDRIVER" version >"$OUT/run-ok.log" 2>/dev/null
e2e_check "bench_run gives the program's result" test $? -eq 0
e2e_has_line "$OUT/run-ok.log" "exit 0"
bench_run 30 "$QDRIVER" "window class=NoSuchClass timeout=0" >"$OUT/run-fail.log" 2>/dev/null
e2e_check "bench_run passes a failure on" test $? -eq 1
started=$SECONDS
bench_run 3 "$TARGET" >"$OUT/run-timeout.log" 2>"$OUT/run-timeout.err"
e2e_check "a hanging program is stopped with 124" test $? -eq 124
e2e_check "  after about its time limit" test $((SECONDS - started)) -lt 15
e2e_check "  and said so" grep -q "TIMEOUT" "$OUT/run-timeout.err"
bench_screenshot "$OUT/bench.png"
e2e_check "bench_screenshot writes a PNG" bash -c "identify '$OUT/bench.png' | grep -q PNG"

e2e_step "a second bench beside the first"
"$E2E_SOURCE_DIR/scripts/wine-bench.sh" run -- bash -c \
  'echo "$DISPLAY $WINEPREFIX"; wine "$1" version' _ "$QDRIVER" >"$OUT/second.log" 2>"$OUT/second.err"
e2e_check "the second bench ran a program" grep -q '^version platform=2' "$OUT/second.log"
read -r secondDisplay secondPrefix <"$OUT/second.log"
e2e_check "  on another display ($secondDisplay, first $firstDisplay)" test "$secondDisplay" != "$firstDisplay"
e2e_check "  in another prefix" test "$secondPrefix" != "$firstPrefix"
e2e_check "  and removed its prefix" test ! -e "$secondPrefix"
e2e_check "the first bench still answers" xdpyinfo -display "$firstDisplay"
wine "$QDRIVER" version >"$OUT/after-second.log" 2>&1
e2e_check "  and still runs programs" grep -q '^version' "$OUT/after-second.log"

e2e_step "stopping"
# Wine names its server's folder after the prefix's device and inode.
serverDir=$(stat -c 'server-%D-%i' "$WINEPREFIX" | awk -F- '{ printf "server-%s-%x", $2, $3 }')
serverPids() {
  local pid
  for pid in $(pgrep wineserver); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$serverDir") echo "$pid" ;; esac
  done
}
wine "$TARGET" &
sleep 2
e2e_check "the bench's wineserver is found" test -n "$(serverPids)"
bench_stop
e2e_check "Xvfb has ended" bash -c "! kill -0 $firstXvfb 2>/dev/null"
e2e_check "the prefix is removed" test ! -e "$firstPrefix"
e2e_check "its wineserver has ended" test -z "$(serverPids)"
# Another bench may take the number at once, so look at who holds its lock.
lockFile=/tmp/.X${firstDisplay#:}-lock
e2e_check "the display's lock is released" \
  bash -c "[ ! -f '$lockFile' ] || [ \"\$(tr -d ' \n' <'$lockFile')\" != '$firstXvfb' ]"
wait

e2e_finish
