#!/usr/bin/env bash
# Start-up of the setup stub under Wine: the bare stub, a package that loads,
# an incomplete package with its one message, /S with and without the stub's
# own size, a second instance bringing the first forward, and the relaunch
# from a floppy disk.
#
# A package that loads opens its wizard: the test packages show only the
# closing page, whose Cancel ends the run without a question. A message box
# is modal: a stub that ends by itself within the time limit showed none.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/win32/first_instance.exe || exit 1
e2e_start_bench || exit 1

work=$OUT/files
rm -rf "$work"
mkdir -p "$work/other"
# Incompressible content, so that the data area is long enough to cut.
head -c 4000 /dev/urandom >"$work/payload.bin"
cat >"$work/project.toml" <<'EOF'
[setup]
title = "Startup Test"
folder = "#Program Files#\\Startup Test"

[texts.6]
0 = "Startup Test Caption"
31 = "The setup files are incomplete."

[[file]]
source = "payload.bin"
EOF
sed 's/^\[setup\]$/[setup]\nstart_page = "closing"/' "$work/project.toml" >"$work/closing.toml"
e2e_build "$work/project.toml" "$work/full.exe" || exit 1
e2e_build "$work/closing.toml" "$work/setup.exe" || exit 1
stubSize=$(stat -c %s "$STUB")
fullSize=$(stat -c %s "$work/full.exe")
cp "$STUB" "$work/bare.exe"
cp "$work/setup.exe" "$work/other/moved.exe"
# The data area's last 100 bytes are missing (and no start page makes the
# package usable all the same).
head -c $((fullSize - 100)) "$work/full.exe" >"$work/incomplete.exe"
# A stub whose configuration block holds stub size 0.
cp "$STUB" "$work/zero.exe"
offset=$(grep -obUaP 'wwgT\)H' "$work/zero.exe" | head -1 | cut -d: -f1)
printf '\0\0\0\0' | dd of="$work/zero.exe" bs=1 seek=$((offset + 6)) conv=notrunc status=none


# run_stub <expected code> <description> <program> [args...]
run_stub() {
  local expected=$1 what=$2
  shift 2
  timeout 60 wine "$@" >/dev/null 2>&1
  local rc=$?
  [ "$expected" = -1 ] && expected=255
  _e2e_result $([ "$rc" -eq "$expected" ] && echo 0 || echo 1) "$what (exit $rc, expected $expected)"
}

# run_wizard <description> <program> [args...]: the package loads, its one
# page shows, and its Cancel ends the run with 0.
run_wizard() {
  local what=$1
  shift
  local log
  log="$OUT/wizard-$(printf '%s' "$what" | tr -c 'A-Za-z0-9' '_').log"
  timeout 90 wine "$QDRIVER" --timeout 30 "start $*" "window class=QuorinClass title=\"Startup Test Caption\"" \
    "click IDCANCEL" "exit 0" >"$log" 2>&1
  local rc=$?
  _e2e_result $rc "$what (the wizard opened and ended with 0)"
  [ $rc -eq 0 ] || sed 's/^/     | /' "$log" | head -n 30
}

e2e_step "bare stub and a complete package"
run_stub -1 "the bare stub ends with -1 and no message" "$work/bare.exe"
run_wizard "a complete package loads without a message" "$(win "$work/setup.exe")"

e2e_step "/S"
run_wizard "/S loads the package of another setup file" "$(win "$work/bare.exe")" /S "$(win "$work/other/moved.exe")"
run_wizard "-s with the path right after the letter" "$(win "$work/bare.exe")" "-s$(win "$work/other/moved.exe")"
run_stub -1 "/S naming a missing file" "$work/bare.exe" /S "$(win "$work/missing.exe")"
run_stub -1 "stub size 0 without /S" "$work/zero.exe"
run_wizard "stub size 0 takes the source's configuration block" "$(win "$work/zero.exe")" /S "$(win "$work/setup.exe")"
run_stub -1 "stub size 0 with a source that holds no package" "$work/zero.exe" /S "$(win "$work/bare.exe")"

e2e_step "a program path of 259 characters, the most a path buffer holds"
base=$(win "$work")
deep=$(printf '%*s' $((259 - ${#base} - 1 - 10)) '' | tr ' ' d)
mkdir -p "$work/$deep"
cp "$work/setup.exe" "$work/$deep/setup.exe"
e2e_check "the path has 259 characters" test ${#base} -lt 200 -a "$(win "$work/$deep/setup.exe" | tr -d '\n' | wc -c)" -eq 259
run_wizard "a setup at a path of 259 characters finds its package" "$(win "$work/$deep/setup.exe")"

e2e_step "incomplete package"
timeout 120 wine "$QDRIVER" --timeout 30 \
  "start $(win "$work/incomplete.exe")" \
  "msgbox" \
  "answer IDOK" \
  "exit -1" >"$OUT/incomplete.log" 2>&1
e2e_check "the driver saw the incomplete package's message" test $? -eq 0
e2e_has_line "$OUT/incomplete.log" 'msgbox caption="Startup Test Caption"'
e2e_has_line "$OUT/incomplete.log" 'msgbox text="The setup files are incomplete."'
e2e_has_line "$OUT/incomplete.log" 'msgbox buttons=IDOK owner=none'
e2e_has_line "$OUT/incomplete.log" 'exit -1'

e2e_step "second instance"
wine "$X64_BUILD/tests/win32/first_instance.exe" >/dev/null 2>&1 &
firstPid=$!
timeout 60 wine "$QDRIVER" --timeout 30 "window class=QuorinClass" >"$OUT/first.log" 2>&1
e2e_check "the first instance's window is up" test $? -eq 0
# Alone, this package would show its message; beside a running instance it
# brings that one forward and ends at once.
run_stub 0 "a second start ends with 0 without its message" "$work/incomplete.exe"
wait $firstPid
e2e_check "the first instance was restored by the second start" test $? -eq 0

e2e_step "removable-media relaunch"
floppy=$OUT/floppy
rm -rf "$floppy"
mkdir -p "$floppy"
cp "$work/incomplete.exe" "$floppy/SETUP.EXE"
bench_floppy "$floppy"
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
mkdir -p "$temp"
rm -f "$temp"/_inst*.exe
: >"$temp/_inst0.exe"
: >"$temp/_inst1.exe"
timeout 120 wine "$QDRIVER" --timeout 30 \
  "drive A:\\" \
  "start A:\\SETUP.EXE" \
  "exit 0" \
  "msgbox" \
  "answer IDOK" >"$OUT/floppy.log" 2>&1
e2e_check "the driver saw the relaunch" test $? -eq 0
e2e_has_line "$OUT/floppy.log" 'drive A:\ type=2'
e2e_has_line "$OUT/floppy.log" 'exit 0'
# The copy read its package from the disk through /S and found it incomplete.
e2e_has_line "$OUT/floppy.log" 'msgbox text="The setup files are incomplete."'
e2e_check "the copy took the first free name, _inst2.exe" test -f "$temp/_inst2.exe"
e2e_check "the copy is the stub part of the setup file" \
  cmp -n "$stubSize" "$temp/_inst2.exe" "$floppy/SETUP.EXE"
e2e_check "only the stub was copied" test "$(stat -c %s "$temp/_inst2.exe")" -eq "$stubSize"

# A relaunch copy (/DEL) never tests for removable media: started from the
# floppy it reads its own package there and makes no copy.
rm -f "$temp"/_inst*.exe
cp "$work/setup.exe" "$floppy/SETUP.EXE"
run_wizard "/DEL from the floppy runs from the disk" 'A:\SETUP.EXE' /DEL
e2e_check "/DEL made no temporary copy" bash -c "! ls '$temp'/_inst*.exe >/dev/null 2>&1"

e2e_finish
