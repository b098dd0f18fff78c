#!/usr/bin/env bash
# The closing work and the end of the run under Wine, driven by the test
# driver:
#   A  a clean install: menu shortcuts (#Start Menu#;#Startup#;Tools and
#      Tools\Extras; with a final ';'), a desktop shortcut, read back through
#      the shell link object; a TrueType font entered under its full name and
#      usable by a program started afterwards; the uninstall entry with every
#      value; the folder remembered in the registry and an INI file; the
#      component registered; the uninstall data behind the uninstaller parsed
#      back record by record; the view button and the program to run
#   B  the next run offers the remembered folder; a component that waits for
#      the restart gets RegCtrl001 when RegCtrl000 exists; Restart is offered
#      and pressed, and a simulated restart carries out what waited for it
#   C  a failed installation (error 17) writes no uninstall data, entry,
#      shortcuts, remembered folder or registration, and says why
#   D  an empty view-button text opens the file at once; an unticked check
#      box keeps the program from starting; after a cancel nothing starts
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/win32/shortcut_reader.exe tests/win32/hold_file.exe || exit 1
RECORDS=$HOST_BUILD/tests/e2e/uninstall_records
e2e_start_bench || exit 1
wineserver -p
T=$STUB_BUILD/tests/win32
for f in "$T/start_recorder.exe" "$T/font_check.exe" "$T/selfreg_probe.dll" "$STUB_BUILD/uninstall/quorin-uninstall.exe"; do
  [ -f "$f" ] || { echo "missing $f: build the $STUB_ARCH preset"; exit 1; }
done

work=$OUT/files
mkdir -p "$work/src/sub"
cp "$T/start_recorder.exe" "$work/src/app.exe"
cp "$STUB_BUILD/uninstall/quorin-uninstall.exe" "$work/src/uninst.exe"
cp "$T/selfreg_probe.dll" "$work/src/probe.dll"
printf 'read me\r\n' >"$work/src/readme.qtv"
printf 'data\r\n' >"$work/src/sub/data.txt"
for i in $(seq -w 1 40); do head -c 3000 /dev/urandom >"$work/src/sub/f$i.bin"; done
e2e_quorin_serif "$work/src/QuorinSerif.ttf" || exit 1

# project <name> <folder> <uninstall name> <remembered as> [more setup lines]
project() {
  local name=$1 folder=$2 uninstallName=$3 remember=$4
  shift 4
  cat >"$work/$name.toml" <<EOF
[setup]
title = "Closing Test"
folder = "$folder"
mode = "framed"
uninstall_name = "$uninstallName"
version = "1.0.2"
publisher = "Quorin Tests"
display_icon = "app.exe"
$(printf '%s\n' "$@")

[remember]
registry = { root = "HKLM", key = "Software\\\\Quorin Tests\\\\$remember", value = "Folder" }
ini = { file = "quorin-$remember.ini", section = "Setup", key = "Folder" }

[texts]
information = ""
6.6 = ""      # a missing folder is made without asking
EOF
}
files_main='
[[file]]
source = "src/uninst.exe"
uninstaller = true
[[file]]
source = "src/app.exe"
finish = "run"
menu_folders = "#Start Menu#;#Startup#;Tools"
menu_shortcut = "App"
menu_arguments = "/menu"
desktop_shortcut = "Closing App"
desktop_arguments = "/desktop"
[[file]]
source = "src/readme.qtv"
finish = "view"
menu_folders = "Tools\\Extras;"
menu_shortcut = "Read me"
[[file]]
source = "src/sub/data.txt"
destination = "sub\\data.txt"
[[file]]
source = "src/QuorinSerif.ttf"
kind = "fonts"
[[file]]
source = "src/probe.dll"
self_register = true'
project a 'C:\\ClosingTest\\Product' 'Closing Test 1.0' a
printf '%s\n' "$files_main" >>"$work/a.toml"
e2e_build "$work/a.toml" "$work/a.exe" || exit 1

TO_FINISH=("window class=QuorinClass" "click 1" "click 1" "click 1" 'expect title "Closing Test Setup - Setup Complete"')
FOLDERS='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
shell_folder() { bench_unix_path "$(bench_reg_value "$FOLDERS" "$1")"; }
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Closing Test 1.0'
FONTS='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
PROBE='HKCU\Software\QuorinSelfRegProbe'
STARTED=$WINEPREFIX/drive_c/started.log
# The recorder stands in for the program a document of type .qtv opens with.
mkdir -p "$WINEPREFIX/drive_c/tools"
cp "$T/start_recorder.exe" "$WINEPREFIX/drive_c/tools/recorder.exe"
bench_reg add 'HKCR\.qtv' /ve /d QuorinTestView /f >/dev/null
bench_reg add 'HKCR\QuorinTestView\shell\open\command' /ve /d '"C:\tools\recorder.exe" "%1"' /f >/dev/null
e2e_check "before the installation the font is unknown" bash -c "! wine '$(win "$T/font_check.exe")' 'Quorin Serif'"

e2e_step "A: a clean install"
e2e_drive a.log "start $(win "$work/a.exe")" "${TO_FINISH[@]}" "enabled 1014" "check 1015" "click 1014" "click 1" \
  'expect title "Setup"' "focus" "click IDCANCEL" "exit 0"
e2e_check "the wizard ran through, the view button offered the file" test $? -eq 0
e2e_has_line "$OUT/a.log" 'focus Button id=2 inside "Cancel"'
P='C:\ClosingTest\Product'
sleep 2
e2e_check "the view button opened the file with its program" grep -qi "recorder.exe\" \"C:\\\\ClosingTest\\\\Product\\\\readme.qtv\"" "$STARTED"
e2e_check "the program to run was started at the end" grep -qi '\\APP.EXE' "$STARTED"
links=("$(shell_folder 'Start Menu')/App.lnk" "$(shell_folder Startup)/App.lnk" "$(shell_folder Programs)/Tools/App.lnk"
       "$(shell_folder Desktop)/Closing App.lnk" "$(shell_folder Programs)/Tools/Extras/Read me.lnk")
for l in "${links[@]}"; do e2e_check "shortcut $(basename "$(dirname "$l")")/$(basename "$l")" test -f "$l"; done
windowsLinks=()
for l in "${links[@]}"; do windowsLinks+=("$(win "$l")"); done
wine "$X64_BUILD/tests/win32/shortcut_reader.exe" "${windowsLinks[@]}" >"$OUT/links-raw.txt" 2>/dev/null
tr -d '\r' <"$OUT/links-raw.txt" | sed 's/.* target=/target=/' >"$OUT/links.txt"
lines() { printf '%s\n' "$@"; }
e2e_check "three menu shortcuts to the program with their arguments" \
  test "$(grep -cxF "target=$P\\app.exe folder=$P arguments=/menu icon=0" "$OUT/links.txt")" = 3
e2e_has_line "$OUT/links.txt" "target=$P\\app.exe folder=$P arguments=/desktop icon=0"
e2e_has_line "$OUT/links.txt" "target=$P\\readme.qtv folder=$P arguments= icon=0"
e2e_check "the font's value names its file under the family's key" \
  test "$(bench_reg_value "$FONTS" 'Quorin Serif (TrueType)')" = QuorinSerif.ttf
e2e_check "the font is in the fonts folder" cmp -s "$work/src/QuorinSerif.ttf" "$(bench_unix_path 'C:\windows\Fonts\QuorinSerif.ttf')"
e2e_check "a program started afterwards can use the font" wine "$T/font_check.exe" 'Quorin Serif'
for v in "DisplayName=Closing Test 1.0" "UninstallString=$P\\uninst.exe" "DisplayVersion=1.0.2" \
         "Publisher=Quorin Tests" "DisplayIcon=$P\\app.exe" "InstallLocation=$P" "NoModify=0x1" "NoRepair=0x1"; do
  e2e_check "uninstall entry: $v" test "$(bench_reg_value "$UNINSTALL" "${v%%=*}")" = "${v#*=}"
done
e2e_check "uninstall entry: EstimatedSize" bash -c "[ \$((\$(printf '%d' '$(bench_reg_value "$UNINSTALL" EstimatedSize)'))) -gt 0 ]"
e2e_check "the folder is remembered in the registry" \
  test "$(bench_reg_value 'HKLM\Software\Quorin Tests\a' Folder)" = "$P"
e2e_check "and in the INI file" grep -qi "^Folder=C:.ClosingTest.Product" <(tr -d '\r' <"$(bench_unix_path 'C:\windows\quorin-a.ini')")
e2e_check "the component was registered" test "$(bench_reg_value "$PROBE" Registered)" = "$P\\probe.dll"
"$RECORDS" read "$(bench_unix_path "$P\\uninst.exe")" >"$OUT/records.txt"
desktop=$(bench_reg_value "$FOLDERS" Desktop)
programs=$(bench_reg_value "$FOLDERS" Programs)
lines "file 0 .|app.exe" "file 0 $desktop|Closing App.lnk" "file 0 .|readme.qtv" "file 0 .\\sub|data.txt" \
  "file 2 C:\\windows\\Fonts|QuorinSerif.ttf" "file 4 .|probe.dll" \
  "shortcut $(bench_reg_value "$FOLDERS" 'Start Menu')|App.lnk" "shortcut $(bench_reg_value "$FOLDERS" Startup)|App.lnk" \
  "shortcut $programs\\Tools|App.lnk" "shortcut $programs\\Tools\\Extras|Read me.lnk" \
  "key 80000002 Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Closing Test 1.0" "end" >"$OUT/records-expected.txt"
e2e_check "the uninstall data parses back into exactly the installed files and shortcuts" \
  diff -u --ignore-case "$OUT/records-expected.txt" "$OUT/records.txt"

e2e_step "B: the next run, and a component that waits for the restart"
bench_reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v RegCtrl000 /d 'cmd /c exit' /f >/dev/null
cp "$work/src/probe.dll" "$work/src/probe-old.dll"
printf 'a newer build' >>"$work/src/probe.dll"   # other contents, still a library
project b 'C:\\ClosingTest\\Elsewhere' 'Closing Test 1.0' a
printf '%s\n' "$files_main" >>"$work/b.toml"
e2e_build "$work/b.toml" "$work/b.exe" || exit 1
hold="$(bench_unix_path "$P\\probe.dll")"
rm -f "$OUT/held.ready" "$OUT/held.release"
wine "$X64_BUILD/tests/win32/hold_file.exe" "$(win "$hold")" "$(win "$OUT/held.ready")" "$(win "$OUT/held.release")" read \
  >/dev/null 2>&1 &
holder=$!
for i in $(seq 1 100); do [ -e "$OUT/held.ready" ] && break; sleep 0.1; done
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
e2e_drive b.log "start $(win "$work/b.exe")" "window class=QuorinClass" "click 1" 'expect 1004 "C:\ClosingTest\Product"' \
  "click 1" "click 1" 'expect title "Closing Test Setup - Setup Complete"' 'expect 1007 "&Restart"' "enabled 1007" \
  "echo restart offered" "waitfile $(win "$OUT/restart.go")" "click 1007" "sleep 5000" &
driver=$!
e2e_wait_for_line "$OUT/b.log" "echo restart offered" 120
e2e_check "the next run offered the remembered folder" grep -qF 'expect 1004 "C:\ClosingTest\Product" ok' "$OUT/b.log"
e2e_check "the component waiting for the restart got RegCtrl001" \
  grep -qi 'regsvr32 /s C:.*probe.dll' <<<"$(bench_reg_value "$RUNONCE" RegCtrl001)"
# A restart would end the program holding the file first.
: >"$OUT/held.release"
wait $holder
: >"$OUT/restart.go"
wait $driver
echo "note: the driver's run through Restart ended with $? ($(tail -n 1 "$OUT/b.log"))"
echo "note: after Restart, $(pgrep -fc 'b\.exe' 2>/dev/null || true) setup process(es) were left running;" \
  "$(bench_reg query "$RUNONCE" | grep -c RegCtrl) RegCtrl value(s) left in RunOnce"
if cmp -s "$work/src/probe.dll" "$hold"; then echo "note: after Restart the waiting component is in place"
else
  echo "note: after Restart the waiting component is not in place yet"
  timeout 30 wineserver -k; timeout 30 wineserver -w
  timeout 120 wine wineboot -r >/dev/null 2>&1
  wineserver -p
  if cmp -s "$work/src/probe.dll" "$hold"; then echo "note: a simulated restart put it in place"
  else echo "note: a simulated restart did not put it in place"; fi
fi
echo "note: the component was registered from $(bench_reg_value "$PROBE" Registered)"

e2e_step "C: a failed installation"
# A file where the folder of sub\data.txt must go: its temporary file cannot
# be made (error 17).
mkdir -p "$WINEPREFIX/drive_c/ClosingFail/Product"
: >"$WINEPREFIX/drive_c/ClosingFail/Product/sub"
project c 'C:\\ClosingFail\\Product' 'Closing Fail' c
printf '%s\n' "$files_main" >>"$work/c.toml"
e2e_build "$work/c.toml" "$work/c.exe" || exit 1
before=$(bench_reg_value "$PROBE" Registered)
rm -rf "$(shell_folder Programs)/Tools"
e2e_drive c.log "start $(win "$work/c.exe")" "${TO_FINISH[@]}" \
  'expect 1000 contains=Setup could not create the file C:\ClosingFail\Product\sub\data.$$A.' "disabled 1007" \
  "click 1" 'expect title "Setup"' "click IDCANCEL" "exit 0"
e2e_check "error 17 is shown wrapped, with the file name" test $? -eq 0
e2e_check "no uninstall entry" bash -c "! wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Closing Fail' >/dev/null 2>&1"
e2e_check "no menu shortcuts" test ! -e "$(shell_folder Programs)/Tools"
e2e_check "no remembered folder" bash -c "! wine reg query 'HKLM\Software\Quorin Tests\c' >/dev/null 2>&1"
e2e_check "no registration" test "$(bench_reg_value "$PROBE" Registered)" = "$before"

e2e_step "D: the view file at once, the check box, a cancel"
rm -f "$STARTED"
project d 'C:\\ClosingTest\\D' 'Closing Test D' d 'pacing = false'
printf '%s\n' "$files_main" >>"$work/d.toml"
printf '[[file]]\nsource = "src/sub/*.bin"\ndestination = "bulk"\n' >>"$work/d.toml"
sed -i 's/^information = ""$/information = ""\n5.5 = ""/' "$work/d.toml"
e2e_build "$work/d.toml" "$work/d.exe" || exit 1
e2e_drive d.log "start $(win "$work/d.exe")" "${TO_FINISH[@]}" "waitfile C:\\started.log" "sleep 1000" "uncheck 1015" "click 1" \
  'expect title "Setup"' "click IDCANCEL" "exit 0"
e2e_check "the wizard ran through with the box unticked" test $? -eq 0
sleep 2
e2e_check "the file opened as soon as the finish page showed" grep -qi 'D\\readme.qtv' "$STARTED"
e2e_check "the unticked program did not start" bash -c "! grep -qi 'APP.EXE' '$STARTED'"
: >"$STARTED"
e2e_drive d2.log "start $(win "$work/d.exe")" "window class=QuorinClass" "click 1" "click 1" "click 1" \
  'expect title "Closing Test Setup - Installing"' "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" \
  'expect title "Setup"' "click IDCANCEL" "exit 0"
e2e_check "a cancel during the installation ends at the closing page" test $? -eq 0
sleep 2
e2e_check "after a cancel nothing is opened or started" test ! -s "$STARTED"

e2e_finish
