#!/usr/bin/env bash
# The destination page and the folder browser under Wine, driven by the test
# driver:
#   choosing   the space texts follow every change of the field; a relative
#              folder is completed against the current directory; a missing
#              folder is made after the question, No keeps the page; a folder
#              that cannot be made says so and keeps the page; the product
#              installs into the chosen folder, which the next run offers
#   read-only  an existing read-only target is read-only again after the
#              check, the ready page asks its question, No keeps it with its
#              three buttons; a target whose attribute cannot change stops
#              the page with the message naming it
#   fixed      a folder that may not be edited: the field takes no typing and
#              Browse is disabled
#   space      entries that declare more than the disk holds: No stays, Yes
#              goes on
#   browser    the folder browser opens on the current folder, OK with a
#              typed folder returns it, OK with an empty field does nothing
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe || exit 1
e2e_start_bench || exit 1

work=$OUT/files
mkdir -p "$work/src"
printf 'first\r\n' >"$work/src/a.txt"
printf 'second\r\n' >"$work/src/b.txt"
printf 'third\r\n' >"$work/src/status"   # a name that also lies in Z:\proc\1
project() {  # project <name> [setup lines...]
  local name=$1
  shift
  cat >"$work/$name.toml" <<EOF
[setup]
title = "Dest Test"
folder = "C:\\\\DestTest\\\\Product"
mode = "framed"
$(printf '%s\n' "$@")

[remember]
registry = { root = "HKLM", key = "Software\\\\Quorin Tests\\\\dest", value = "Folder" }

[texts]
information = ""

[[file]]
source = "src/a.txt"
[[file]]
source = "src/b.txt"
[[file]]
source = "src/status"
EOF
  e2e_build "$work/$name.toml" "$work/$name.exe"
}
project main || exit 1
project fixed 'editable_folder = false' || exit 1
C=$WINEPREFIX/drive_c
DEST='expect title "Dest Test Setup - Choose Destination Location"'
READY='expect title "Dest Test Setup - Ready to Install"'
END=('expect title "Dest Test Setup - Setup Complete"' "click 1" 'expect title "Setup"' "click IDCANCEL" "exit 0")

e2e_step "choosing a folder"
mkdir -p "$C/Base" "$C/DestTest"
: >"$C/DestTest/blocker"
e2e_drive choose.log "start $(win "$work/main.exe") dir=C:\\Base" "window class=QuorinClass" "click 1" "$DEST" \
  'expect 1016 "1 MB"' "text 1019" \
  'settext 1004 "Q:\nowhere"' 'expect 1019 "0 MB"' \
  'settext 1004 "C:\DestTest\Product"' 'expect 1019 contains=MB' \
  'settext 1004 "relative\deeper"' "click 1" "msgbox IDNO" "$DEST" \
  "click 1" "msgbox IDYES" "$READY" 'expect 1001 contains=C:\Base\relative\deeper' \
  "click 1007" "$DEST" 'expect 1004 "C:\Base\relative\deeper"' \
  'settext 1004 "C:\DestTest\blocker\sub"' "click 1" "msgbox IDYES" "msgbox IDOK" "$DEST" \
  'settext 1004 "C:\DestTest\Chosen"' "click 1" "msgbox IDYES" "$READY" "click 1" "${END[@]}"
e2e_check "the folder was chosen, checked and installed into" test $? -eq 0
e2e_has_prefix "$OUT/choose.log" 'text 1019 "'
e2e_has_line "$OUT/choose.log" 'expect 1001 "Dest Test will be installed in:\nC:\Base\relative\deeper" ok'
e2e_check "the free space shown for a drive differs from an unknown drive's" \
  bash -c "! grep -qx 'text 1019 \"0 MB\"' '$OUT/choose.log'"
e2e_has_line "$OUT/choose.log" 'msgbox text="The destination folder does not exist.\n\nDo you want Setup to create it?"'
e2e_has_line "$OUT/choose.log" 'msgbox text="Setup could not create the destination folder. Please choose another folder."'
e2e_check "a relative folder was made below the current directory" test -d "$C/Base/relative/deeper"
e2e_check "the product went into the chosen folder" cmp -s "$work/src/a.txt" "$C/DestTest/Chosen/a.txt"
e2e_check "which is remembered" test "$(bench_reg_value 'HKLM\Software\Quorin Tests\dest' Folder)" = 'C:\DestTest\Chosen'

e2e_step "read-only targets"
chmod a-w "$C/DestTest/Chosen/a.txt"
e2e_drive readonly.log "start $(win "$work/main.exe")" "window class=QuorinClass" "click 1" "$DEST" \
  'expect 1004 "C:\DestTest\Chosen"' "click 1" "$READY" "click 1" "msgbox IDNO" "$READY" \
  "enabled 1007" "enabled 1" "enabled IDCANCEL" "echo asked" "waitfile $(win "$OUT/looked")" \
  "click 1" "msgbox IDYES" "${END[@]}" &
driver=$!
e2e_wait_for_line "$OUT/readonly.log" "echo asked" 120
e2e_check "after the check the read-only target is read-only again" test "$(stat -c %A "$C/DestTest/Chosen/a.txt" | cut -c3)" = -
: >"$OUT/looked"
wait $driver
e2e_check "the next run offered the remembered folder; No kept the ready page with its buttons" test $? -eq 0
e2e_has_prefix "$OUT/readonly.log" 'msgbox text="Some of the files that Setup will replace are marked read-only.'
# A file of the process file system cannot lose its read-only attribute.
e2e_drive proc.log "start $(win "$work/main.exe")" "window class=QuorinClass" "click 1" "$DEST" \
  'settext 1004 "Z:\proc\1"' "click 1" "msgbox" "answer IDOK" "$DEST" 'expect 1001 contains=To install in this folder' \
  "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" "click IDCANCEL" "exit 0"
e2e_check "a target whose attribute cannot change keeps the page" test $? -eq 0
e2e_has_prefix "$OUT/proc.log" 'msgbox text="Setup cannot install into the selected folder.\n\nThe existing file Z:\proc\1\status is read-only'

e2e_step "a folder that may not be edited"
e2e_drive fixed.log "start $(win "$work/fixed.exe")" "window class=QuorinClass" "click 1" "$DEST" "disabled 1005" \
  "focus" "key x" "sleep 300" 'expect 1004 "C:\DestTest\Chosen"' "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" \
  "click IDCANCEL" "exit 0"
e2e_check "the field takes no typing and Browse is disabled" test $? -eq 0

e2e_step "not enough space"
# The same setup with a second file list, which replaces the first: many
# entries of nearly 4 GiB each, more than any test disk holds.
python3 - "$work/main.exe" "$work/huge.exe" "$("$QUORIN" list --json "$work/main.exe" |
  python3 -c 'import json, sys; print(json.load(sys.stdin)["data_area"]["offset"])')" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = int(sys.argv[3]) - 8   # the data area record's header
entries = b""
for i in range(64):
    strings = b"huge%02d.dat\0" % i + b"\0" * 5
    entries += struct.pack("<IHHBBBBBBIII", 26 + len(strings), 0, 0, 0, 0, 0, 1, 0, 0, 0, 0xFFFFFFFF, 0) + strings
body = struct.pack("<I", 64) + entries
record = struct.pack("<HBBI", 0x1243, 0, 0, len(body)) + body
open(sys.argv[2], "wb").write(data[:at] + record + data[at:])
PY
e2e_drive space.log "start $(win "$work/huge.exe")" "window class=QuorinClass" "click 1" "$DEST" \
  'settext 1004 "C:\DestTest\Huge"' "click 1" "msgbox IDYES" "msgbox IDNO" "$DEST" \
  "click 1" "msgbox IDYES" "$READY" "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" "click IDCANCEL" "exit 0"
e2e_check "not enough space: No stays, Yes goes on" test $? -eq 0
e2e_has_prefix "$OUT/space.log" 'msgbox text="There is not enough free space on the destination disk'

e2e_step "the folder browser"
e2e_drive browse.log "start $(win "$work/main.exe")" "window class=QuorinClass" "click 1" "$DEST" \
  'settext 1004 "C:\DestTest\Chosen"' "click 1005" "window title=\"Choose Folder\"" 'expect 101 "C:\DestTest\Chosen"' \
  "echo browser" "waitfile $(win "$OUT/shot.go")" \
  'settext 101 "C:\DestTest\Typed"' "click IDOK" "window class=QuorinClass" 'expect 1004 "C:\DestTest\Typed"' \
  "click 1005" "window title=\"Choose Folder\"" 'settext 101 ""' "click IDOK" "sleep 500" \
  "window title=\"Choose Folder\"" "listpick 0x461 0" "sleep 500" "text 101" "click IDCANCEL" \
  "window class=QuorinClass" 'expect 1004 "C:\DestTest\Typed"' \
  "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" "click IDCANCEL" "exit 0" &
driver=$!
e2e_wait_for_line "$OUT/browse.log" "echo browser" 120 && bench_screenshot "$OUT/browser.png"
: >"$OUT/shot.go"
wait $driver
e2e_check "the browser opened on the folder, OK returned a typed one, an empty one did nothing" test $? -eq 0
echo "note: after opening the first folder of the directory list, the folder field read: $(grep '^text 101 ' "$OUT/browse.log")"

e2e_finish
