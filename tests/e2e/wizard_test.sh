#!/usr/bin/env bash
# The wizard under Wine, driven by the test driver and by the keyboard:
#   background mode  Return alone walks welcome, information, destination,
#                    ready, progress, finish and the closing page to the end;
#                    the frame dialog carries each page's caption; the ready
#                    page shows the folder without its trailing backslash;
#                    the painted background read back from screenshots: the
#                    dithered gradient and the title's shadow, and with the
#                    Windows version nt40 the gradient in solid rows
#   framed mode      the window's client area is exactly the frame dialog,
#                    centred on the screen; the title reads "title - caption";
#                    an empty information text skips page 1 both ways; No on
#                    the cancel question changes nothing, Yes leads to the
#                    closing page; Alt+F4 leads there without a question; a
#                    page that ends with result 3 is made again from its
#                    template; Alt+F4 on the closing page ends the wizard; on
#                    a screen narrower than the frame it sits at 0
#   single page      a package with start page 3 shows only the ready page,
#                    whose Cancel ends without a question; a drive root
#                    keeps its backslash
#   damaged frame    a frame template that cannot be made: no wizard, exit 0
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe || exit 1
CHECK=$HOST_BUILD/tests/e2e/paint_check
[ -x "$CHECK" ] || { echo "$E2E_NAME: missing $CHECK: build the host preset first" >&2; exit 1; }
e2e_start_bench || exit 1

work=$OUT/files
mkdir -p "$work"
printf 'Wizard test file\r\n' >"$work/readme.txt"
common='[[file]]
source = "readme.txt"'
cat >"$work/background.toml" <<EOF
[setup]
title = "Wizard Test"
folder = "C:\\\\Wizard Test\\\\Product"
mode = "background"

[background_title]
text = "Wizard Test"
font = "Arial"
size = 40
colour = "#FFC800"
shadow = "#00FF00"

[texts]
information = "Information for the test.\\r\\nSecond line."
6.6 = ""

$common
EOF
cat >"$work/closing.rc" <<'EOF'
#include <windows.h>
108 DIALOGEX 0, 0, 233, 164
STYLE DS_SETFONT | DS_CONTROL | WS_CHILD | WS_VISIBLE
FONT 8, "MS Shell Dlg", 400, 0, 0x1
BEGIN
  LTEXT "Closing", 1005, 0, 0, 10, 9, NOT WS_VISIBLE
  LTEXT "original", 1100, 0, 20, 100, 9
  PUSHBUTTON "Again", 3, 0, 40, 60, 14
END
EOF
cat >"$work/framed.toml" <<EOF
[setup]
title = "Wizard Test"
folder = "C:\\\\Wizard Test\\\\Framed"
mode = "framed"
dialogs = "closing.rc"

[texts]
information = ""

$common
EOF
cat >"$work/ready.toml" <<EOF
[setup]
title = "Wizard Test"
folder = "C:\\\\"
mode = "framed"
start_page = "ready"

$common
EOF
cat >"$work/broken.rc" <<'EOF'
#include <windows.h>
100 DIALOGEX 0, 0, 340, 206
STYLE DS_SETFONT | WS_CHILD | WS_VISIBLE
FONT 8, "MS Shell Dlg", 400, 0, 0x1
BEGIN
  CONTROL "", 1, "NoSuchWindowClass", WS_CHILD | WS_VISIBLE, 0, 0, 50, 14
END
EOF
sed -e 's/^dialogs = .*/dialogs = "broken.rc"/' "$work/framed.toml" >"$work/broken.toml"
for name in background framed ready broken; do
  e2e_build "$work/$name.toml" "$work/$name.exe" || exit 1
done


# rect_of <log> <label> <window|client>: "L T R B" of a `rect` line.
rect_of() {
  sed -n "s/^rect $2 window=\([-0-9,]*\) client=\([-0-9,]*\)$/\1 \2/p" "$OUT/$1" | head -1 |
    awk -v which="$3" '{ split(which == "window" ? $1 : $2, r, ","); print r[1], r[2], r[3], r[4] }'
}

# shot <name> <cue log>: takes a screenshot once the driver echoed its cue,
# then lets the driver go on.
shot() {
  e2e_wait_for_line "$OUT/$2" "echo $1" 60 || return 1
  bench_screenshot "$OUT/$1.png" && convert "$OUT/$1.png" "$OUT/$1.ppm"
  : >"$OUT/$1.go"
}

e2e_step "background mode, keyboard only"
e2e_drive background.log "start $(win "$work/background.exe")" "window class=QuorinClass" \
  'expect title "Wizard Test Setup"' 'expect 0 "Welcome"' "focus" "rect" "rect 0" \
  "echo welcome" "waitfile $(win "$OUT/welcome.go")" \
  "key Return" 'expect 0 "Information"' 'expect 1000 contains=Second line.' \
  "key Return" 'expect 0 "Choose Destination Location"' \
  "key Return" 'expect 0 "Ready to Install"' 'expect 1001 contains=C:\Wizard Test\Product' \
  "key Return" 'expect 0 "Setup Complete"' "focus" \
  "key Return" 'expect 0 "Setup"' "focus" \
  "key Return" "exit 0" &
shot welcome background.log
wait $!
e2e_check "the driver walked the wizard with Return alone" test $? -eq 0
e2e_has_line "$OUT/background.log" 'focus Button id=1 inside "&Next >"'
e2e_has_line "$OUT/background.log" 'focus Button id=2 inside "Cancel"'
e2e_has_line "$OUT/background.log" 'exit 0'
# The driver shows a line feed as \n: the folder ends the line, without backslash.
e2e_has_line "$OUT/background.log" 'expect 1001 "Wizard Test will be installed in:\nC:\Wizard Test\Product" ok'
read -r cl ct cr cb <<<"$(rect_of background.log window client)"
read -r fl ft fr fb <<<"$(rect_of background.log 0 window)"
# The left strip beside the frame dialog, below the title.
strip="--client $cl,$ct,$((cr - cl)),$((cb - ct)) --area 0,96,$((fl - cl)),$((cb - ct - 96))"
e2e_check "the dithered gradient beside the wizard" "$CHECK" "$OUT/welcome.ppm" $strip gradient dithered
e2e_check "the title's shadow lies 4 pixels right of and below it" \
  "$CHECK" "$OUT/welcome.ppm" --client "$cl,$ct,$((cr - cl)),$((cb - ct))" title 0,255,0 255,200,0

bench_set_version nt40 || exit 1
e2e_drive nt40.log "start $(win "$work/background.exe")" "window class=QuorinClass" 'expect 0 "Welcome"' \
  "echo nt40" "waitfile $(win "$OUT/nt40.go")" "key alt+F4" 'expect 0 "Setup"' "click IDCANCEL" "exit 0" &
shot nt40 nt40.log
wait $!
e2e_check "Alt+F4's close leads to the closing page without a question" test $? -eq 0
e2e_check "with NT 4 the gradient is drawn in solid rows" "$CHECK" "$OUT/nt40.ppm" $strip gradient banded
bench_set_version win7 || exit 1

e2e_step "framed mode"
e2e_drive framed.log "start $(win "$work/framed.exe")" "window class=QuorinClass" \
  'expect title "Wizard Test Setup - Welcome"' "rect" "rect 0" \
  "click 1" 'expect title "Wizard Test Setup - Choose Destination Location"' \
  "click 1007" 'expect title "Wizard Test Setup - Welcome"' \
  "click 1" 'expect title "Wizard Test Setup - Choose Destination Location"' \
  "click IDCANCEL" "msgbox IDNO" 'expect title "Wizard Test Setup - Choose Destination Location"' \
  "enabled 1007" "enabled 1" "enabled IDCANCEL" \
  "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" 'expect title "Closing"' \
  'settext 1100 "typed"' "click 3" 'expect 1100 "original"' 'expect title "Closing"' \
  "key alt+F4" "exit 0"
e2e_check "the framed wizard went as expected; Alt+F4 on the closing page ends it" test $? -eq 0
read -r wl wt wr wb <<<"$(rect_of framed.log window window)"
read -r cl ct cr cb <<<"$(rect_of framed.log window client)"
read -r fl ft fr fb <<<"$(rect_of framed.log 0 window)"
e2e_check "the window's client area is the frame dialog ($cl,$ct,$cr,$cb = $fl,$ft,$fr,$fb)" \
  test "$cl $ct $cr $cb" = "$fl $ft $fr $fb"
e2e_check "the window sits where the frame centred itself ($wl,$wt)" \
  test "$wl $wt" = "$((512 - (fr - fl) / 2)) $((384 - (fb - ft) / 2))"
e2e_has_line "$OUT/framed.log" 'expect title "Closing" ok'

e2e_step "single page and a damaged frame"
e2e_drive ready.log "start $(win "$work/ready.exe")" "window class=QuorinClass" \
  'expect 1001 contains=C:\' "click IDCANCEL" "exit 0"
e2e_check "start page 3 shows the ready page alone; its Cancel asks nothing" test $? -eq 0
e2e_has_line "$OUT/ready.log" 'expect 1001 "Wizard Test will be installed in:\nC:\" ok'
timeout 60 wine "$work/broken.exe" >/dev/null 2>&1
e2e_check "a frame template that cannot be made ends the run with 0, no wizard" test $? -eq 0

e2e_step "a screen narrower than the frame dialog"
bench_stop
BENCH_SCREEN=480x360x24 bench_start || exit 1
e2e_drive narrow.log "start $(win "$work/framed.exe")" "window class=QuorinClass" "rect" "key alt+F4" \
  'expect title "Closing"' "click IDCANCEL" "exit 0"
e2e_check "the narrow run ended" test $? -eq 0
read -r wl wt wr wb <<<"$(rect_of narrow.log window window)"
e2e_check "the frame dialog sits at x = 0 (the window at $wl,$wt)" test "$wl" = 0

e2e_finish
