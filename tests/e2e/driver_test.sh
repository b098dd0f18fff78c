#!/usr/bin/env bash
# The test driver on its own test target, before any wizard test relies on
# it: reading texts, answering message boxes (owned and unowned), typing into
# an edit field, checking a box, clicking, waiting for a window to go and for
# the exit code, and failing clearly when what it waits for never comes.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/driver/qdriver_target.exe || exit 1

QDRIVER=$X64_BUILD/tests/driver/qdriver.exe
TARGET=$X64_BUILD/tests/driver/qdriver_target.exe

bench_start || exit 1

# Runs the driver with the given commands and keeps its log in $OUT/<name>.log.
drive() {
  local name=$1
  shift
  e2e_step "$name"
  timeout 180 wine "$QDRIVER" --timeout 20 "$@" >"$OUT/$name.log" 2>"$OUT/$name.err"
  local rc=$?
  DRIVE_LOG=$OUT/$name.log
  return $rc
}

# 1. The whole way through, with a screenshot in the middle.
shotFlag=$OUT/shot.go
rm -f "$shotFlag"
# Emptied before the driver starts in the background, so the wait below
# cannot see a line left from an earlier run.
: >"$OUT/happy_path.log"
drive happy_path \
  "start $TARGET --hello one \"two three\"" \
  "msgbox" \
  "answer IDOK" \
  "window class=QuorinTargetClass" \
  "text title" \
  "text 1000" \
  "text 1003" \
  "disabled 1" \
  "click 1010" \
  "msgbox IDYES" \
  "expect 1000 \"You said yes.\"" \
  "settext 1001 \"C:\\Quorin Target\"" \
  "check 1002" \
  "enabled 1" \
  "echo ready for the screenshot" \
  "waitfile $(winepath -w "$shotFlag" 2>/dev/null)" \
  "click text=\"&Next >\"" \
  "gone" \
  "exit 23" &
driverPid=$!
e2e_wait_for_line "$OUT/happy_path.log" "echo ready for the screenshot" 60
bench_screenshot "$OUT/driver_target.png"
touch "$shotFlag"
wait $driverPid
e2e_check "driver succeeded on the happy path" test $? -eq 0
log=$OUT/happy_path.log
e2e_has_line "$log" "msgbox caption=\"Driver Target\""
e2e_has_line "$log" "msgbox text=\"Hello before any window.\""
e2e_has_line "$log" "msgbox buttons=IDOK owner=none"
e2e_has_line "$log" "text title \"Driver Target - Welcome\""
e2e_has_line "$log" "text 1000 \"Welcome to the driver target.\""
e2e_has_line "$log" "text 1003 \"args: --hello one \"two three\"\""
e2e_has_line "$log" "disabled 1"
e2e_has_line "$log" "msgbox caption=\"Driver Target Question\""
e2e_has_line "$log" "msgbox text=\"Do you want to continue?\""
e2e_has_line "$log" "msgbox buttons=IDYES IDNO owner=QuorinTargetClass"
e2e_has_line "$log" "answer IDYES"
e2e_has_line "$log" "expect 1000 \"You said yes.\" ok"
e2e_has_line "$log" "click 1 \"&Next >\""
e2e_has_line "$log" "exit 23"
e2e_has_line "$log" "OK 19 commands"
e2e_check "the screenshot shows the 1024x768 screen" \
  bash -c "identify -format '%wx%h' '$OUT/driver_target.png' | grep -qx 1024x768"
# The window sits at (100, 100) on a black screen: its inside must be light.
e2e_check "  with the target's window on it" \
  bash -c "convert '$OUT/driver_target.png' -crop 400x250+120+130 -format '%[fx:mean>0.5]' info: | grep -qx 1"

# 2. Cancel: No keeps the program, Yes ends it with -1.
drive cancel \
  "start $TARGET" \
  "window title=\"Driver Target - Welcome\"" \
  "click 2" \
  "msgbox" \
  "answer IDNO" \
  "click 1007 via=command" \
  "expect 1000 \"Back pressed.\"" \
  "click 2" \
  "msgbox IDYES" \
  "exit -1"
e2e_check "driver succeeded on cancel" test $? -eq 0
e2e_has_line "$DRIVE_LOG" "msgbox text=\"Really cancel?\""
e2e_has_line "$DRIVE_LOG" "answer IDNO"
e2e_has_line "$DRIVE_LOG" "expect 1000 \"Back pressed.\" ok"
e2e_has_line "$DRIVE_LOG" "exit -1"

# 3. A program the shell started: bench_run reports -1 as 255, and the
# driver finds and closes the window without having started it.
e2e_step "bench_run exit code"
bench_run 60 "$TARGET" >"$OUT/bench_run.log" 2>&1 &
runPid=$!
drive close_from_menu \
  "window class=QuorinTargetClass" \
  "click 2" \
  "msgbox IDYES" \
  "gone"
e2e_check "driver closed the shell's program" test $? -eq 0
wait $runPid
e2e_check "bench_run returned 255 for -1" test $? -eq 255
e2e_has_line "$OUT/bench_run.log" "exit 255"

# Texts outside ASCII: the program sees them in its ANSI code page, the
# script (arguments or a UTF-8 file) and the log are UTF-8.
printf 'settext 1001 "Zielordner für Ä"\nexpect 1001 "Zielordner für Ä"\n' >"$OUT/non_ascii.script"
drive system_close \
  "start $TARGET" \
  "window class=QuorinTargetClass" \
  "settext 1001 \"Größe\"" \
  "text 1001" \
  -f "$(winepath -w "$OUT/non_ascii.script" 2>/dev/null)" \
  "syscommand close" \
  "gone" \
  "exit 3"
e2e_check "the system menu's Close ends the program with 3" test $? -eq 0
e2e_has_line "$DRIVE_LOG" 'text 1001 "Größe"'
e2e_has_line "$DRIVE_LOG" 'expect 1001 "Zielordner für Ä" ok'

# 4. Failures are clear and end the driver with 1; bad scripts with 2.
drive no_window "window class=NoSuchClass timeout=1"
e2e_check "a missing window fails the driver" test $? -eq 1
e2e_has_line "$DRIVE_LOG" "FAIL window class=NoSuchClass timeout=1: no such window: not within 1 s"

drive disabled_click \
  "start $TARGET" \
  "window class=QuorinTargetClass" \
  "click 1 timeout=1"
e2e_check "clicking a disabled button fails" test $? -eq 1
e2e_has_prefix "$DRIVE_LOG" "FAIL click 1 timeout=1: control 1 cannot be clicked: it is disabled"

drive wrong_answer \
  "window class=QuorinTargetClass" \
  "click 1010" \
  "msgbox IDOK"
e2e_check "answering with a missing button fails" test $? -eq 1
e2e_has_line "$DRIVE_LOG" "FAIL msgbox IDOK: the message box has no IDOK button (it has: IDYES IDNO)"

drive no_control \
  "window class=QuorinTargetClass" \
  "text 4242 timeout=1"
e2e_check "a missing control fails" test $? -eq 1
e2e_has_prefix "$DRIVE_LOG" "FAIL text 4242 timeout=1: control 4242 not found in"

# The question is still open from above: the driver can take over from there.
drive take_over \
  "msgbox IDNO" \
  "window class=QuorinTargetClass" \
  "expect 1000 \"You said no.\"" \
  "click 2" \
  "msgbox IDYES" \
  "gone"
e2e_check "a later driver run finishes what an earlier one left" test $? -eq 0

started=$SECONDS
drive failed_program "start $TARGET --fail" "window class=QuorinTargetClass timeout=60"
e2e_check "a program that fails at once fails the wait" test $? -eq 1
e2e_has_line "$DRIVE_LOG" \
  "FAIL window class=QuorinTargetClass timeout=60: no such window: the started program exited with 5 meanwhile"
e2e_check "  without waiting out the time" test $((SECONDS - started)) -lt 50

drive bad_script "window class=QuorinTargetClass" "frobnicate 3"
e2e_check "an unknown command is refused before anything runs" test $? -eq 2
e2e_check "  with a message naming it" grep -q "unknown command 'frobnicate'" "$OUT/bad_script.err"

e2e_finish
