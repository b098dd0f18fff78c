#!/usr/bin/env bash
# The truncation and damage sweep: one setup of several files in subfolders,
# the Windows folder, a side bitmap, shortcuts, a remembered folder and a
# volume file, damaged in many ways, each copy started and walked to its end
# by the driver's `walk` (message boxes answered Cancel, else Yes, else OK;
# Next pressed on every page; Cancel on the closing page):
#   cuts     SETUP.EXE cut at every 512 bytes of its records and at the
#            data area's length field, and at a sample of offsets in its
#            data; SETUP.D01 cut at its size field and at a sample in its data
#   changes  single bytes changed: in the stub size of the configuration
#            block; in every record's header (tag, flags, low and high byte of
#            the body length, also its top bit, for lengths of 2 GiB and more)
#            and in the middle of every record body; at a spread of offsets in
#            the data of both files and in SETUP.D01's size field
# The whole wizard runs for each copy that loads: the finish page is where an
# installation error shows (single-page mode shows none, see the report), and
# a run costs about 1.5 s against 0.8 s for a copy the stub refuses at once.
# Every run must end within its time without a crash, either refusing the
# copy (exit -1, with the incomplete-package message or, for a record cut
# short or a stream that does not decode, none), or with the finish page's
# error 15 (a volume that never comes, given up), 16, 17 or 21, or installing
# every file byte for byte. After every run no temporary *.$$? file is left
# anywhere on drive C: and every file the run wrote is byte for byte one of
# the project's files: nothing half-written stays. The table at the end
# counts the outcomes.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe || exit 1
e2e_start_bench || exit 1
# A crash ends the program with its exception code instead of a dialog that
# would hold it open.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -p
sweepStart=$(date +%s)

work=$OUT/files
src=$work/src
mkdir -p "$src/sub/deeper"
printf 'first file\r\n' >"$src/a.txt"
head -c 30000 /dev/urandom >"$src/sub/b.bin"
for i in $(seq 1 800); do echo "line $i of a text that compresses well"; done >"$src/sub/deeper/c.txt"
: >"$src/empty.dat"
printf 'kept times\r\n' >"$src/times.txt"
touch -d '2001-02-03 04:05:06' "$src/times.txt"
printf 'windows folder\r\n' >"$src/sweep_win.txt"
python3 - "$src/side.bmp" <<'EOF'
import struct, sys
w, h = 32, 48
row = (w * 3 + 3) & ~3
pixels = bytearray()
for y in range(h):
    line = bytearray()
    for x in range(w):
        line += bytes(((x * 8) & 255, (y * 5) & 255, 128))
    pixels += line + b'\0' * (row - w * 3)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
head = b'BM' + struct.pack('<IHHI', 14 + 40 + len(pixels), 0, 0, 54)
open(sys.argv[1], 'wb').write(head + info + pixels)
EOF
cat >"$work/sweep.toml" <<'EOF'
[setup]
title = "Sweep Test"
folder = "C:\\Sweep\\App"
mode = "framed"
side_bitmap = "src/side.bmp"

[remember]
registry = { root = "HKCU", key = "Software\\QuorinSweep", value = "Folder" }

[texts]
information = ""
6.6 = ""
6.15 = "ERROR 15: the installation was given up."
6.16 = "ERROR 16: %s cannot be read."
6.17 = "ERROR 17: %s cannot be written."
6.21 = "ERROR 21: %s was not installed correctly."
6.22 = "ERROR 22: %s cannot be replaced."
6.31 = "INCOMPLETE: this setup is damaged."

[[file]]
source = "src/a.txt"
menu_folders = ["Sweep"]
menu_shortcut = "Sweep A"
desktop_shortcut = "Sweep A"
[[file]]
source = "src/sub/b.bin"
destination = "sub\\b.bin"
[[file]]
source = "src/sub/deeper/c.txt"
destination = "sub\\deeper\\c.txt"
[[file]]
source = "src/empty.dat"
[[file]]
source = "src/times.txt"
keep_times = true
[[file]]
source = "src/sweep_win.txt"
kind = "windows"
EOF
mkdir -p "$work/pristine"
e2e_build "$work/sweep.toml" "$work/pristine/SETUP.EXE" --volume-size $(($(stat -c %s "$STUB") + 24000)) || exit 1
exeSize=$(stat -c %s "$work/pristine/SETUP.EXE")
volSize=$(stat -c %s "$work/pristine/SETUP.D01")

# The cases, one a line: <file> cut <length> | <file> flip <offset> <mask>.
"$QUORIN" list --json "$work/pristine/SETUP.EXE" >"$work/layout.json" || exit 1
python3 - "$work/layout.json" "$exeSize" "$volSize" >"$work/cases.txt" <<'EOF'
import json, sys
layout = json.load(open(sys.argv[1]))
exe, vol = int(sys.argv[2]), int(sys.argv[3])
stub = layout['stub']['size']
config = layout['stub']['configuration_block_offset']
data = layout['data_area']['offset'] + 4          # the first data byte
cases = [('EXE', 'cut', exe)]                     # the whole file: it installs
for n in range(stub, data, 512):                  # every 512 bytes of the records
    cases.append(('EXE', 'cut', n))
for n in (data - 2, data):                        # inside the data length, and no data at all
    cases.append(('EXE', 'cut', n))
for k in range(1, 7):                             # a sample of the data
    cases.append(('EXE', 'cut', data + (exe - data) * k // 7))
cases.append(('EXE', 'cut', exe - 1))
for n in (0, 2, 4, 5, vol // 3, 2 * vol // 3, vol - 1):
    cases.append(('D01', 'cut', n))
for at, mask in ((config + 6, 0x01), (config + 7, 0x80)):   # the stub size
    cases.append(('EXE', 'flip', at, mask))
for record in layout['records']:
    at, length = record['offset'], record['body_length']
    cases.append(('EXE', 'flip', at, 0x01))       # tag
    cases.append(('EXE', 'flip', at + 2, 0x01))   # compressed flag
    cases.append(('EXE', 'flip', at + 4, 0x10))   # body length, low byte
    cases.append(('EXE', 'flip', at + 7, 0x80))   # body length of 2 GiB and more
    if length:
        cases.append(('EXE', 'flip', at + 8 + length // 2, 0x01))
for k in range(1, 11):                            # a spread over the data
    cases.append(('EXE', 'flip', data + (exe - data) * k // 11, 0x04))
for at, mask in ((0, 0x01), (3, 0x80)):           # the volume's size field
    cases.append(('D01', 'flip', at, mask))
for k in range(1, 7):
    cases.append(('D01', 'flip', 4 + (vol - 4) * k // 7, 0x04))
for case in cases:
    print(' '.join(str(x) for x in case))
EOF
caseCount=$(wc -l <"$work/cases.txt")
echo "$caseCount cases on SETUP.EXE of $exeSize bytes and SETUP.D01 of $volSize bytes"

# What a run may write: the project's files, by content.
sums=$(cd "$src" && md5sum a.txt sub/b.bin sub/deeper/c.txt empty.dat times.txt sweep_win.txt | cut -d' ' -f1)
C=$WINEPREFIX/drive_c
DEST=$C/Sweep/App
installed_whole() {
  cmp -s "$src/a.txt" "$DEST/a.txt" && cmp -s "$src/sub/b.bin" "$DEST/sub/b.bin" &&
    cmp -s "$src/sub/deeper/c.txt" "$DEST/sub/deeper/c.txt" && cmp -s "$src/empty.dat" "$DEST/empty.dat" &&
    cmp -s "$src/times.txt" "$DEST/times.txt" && cmp -s "$src/sweep_win.txt" "$C/windows/sweep_win.txt"
}
find "$C" -type d | sort >"$work/dirs.before"
find "$C" -type f | sort >"$work/files.before"

case_dir=$work/case
mkdir -p "$case_dir"
make_case() {  # make_case <file> cut <length> | <file> flip <offset> <mask>
  cp "$work/pristine/SETUP.EXE" "$work/pristine/SETUP.D01" "$case_dir/"
  local target=$case_dir/SETUP.$1
  if [ "$2" = cut ]; then
    truncate -s "$3" "$target"
  else
    python3 -c "
import sys
f = open(sys.argv[1], 'r+b'); f.seek(int(sys.argv[2])); b = f.read(1)[0]
f.seek(int(sys.argv[2])); f.write(bytes([b ^ int(sys.argv[3])]))" "$target" "$3" "$4"
  fi
}

declare -A outcomes
crashes=0 hangs=0 leftovers=0 unexplained=0 tried=0
setupWin=$(winepath -w "$case_dir/SETUP.EXE" 2>/dev/null)
while read -r file kind at mask; do
  tried=$((tried + 1))
  label="$file $kind $at${mask:+ ^0x$(printf %02X "$mask")}"
  make_case "$file" "$kind" "$at" "$mask"
  log=$OUT/case-$tried.log
  touch "$work/marker"
  timeout 90 wine "$QDRIVER" --timeout 30 "start $setupWin" "walk last=Setup timeout=30" >"$log" 2>&1
  rc=$?
  code=$(sed -n 's/^walk exit \(-\?[0-9]*\)$/\1/p' "$log" | tail -n 1)
  finish=$(grep '^walk page title="Sweep Test Setup - Setup Complete"' "$log" | tail -n 1)
  if [ $rc -ne 0 ] && grep -q 'has not ended' "$log"; then
    outcome="HANG"
    hangs=$((hangs + 1))
    timeout 20 wineserver -k; timeout 20 wineserver -w; wineserver -p
  elif [ -z "$code" ]; then
    outcome="DRIVER FAILED (rc $rc)"
    unexplained=$((unexplained + 1))
  elif [ "$code" != 0 ] && [ "$code" != -1 ]; then
    outcome="CRASH (exit $code)"
    crashes=$((crashes + 1))
  elif [ "$code" = -1 ] && grep -q '^walk msgbox "INCOMPLETE: ' "$log"; then
    outcome="incomplete-package message, exit -1"
  elif [ "$code" = -1 ] && ! grep -q '^walk msgbox' "$log"; then
    outcome="refused without a message, exit -1"
  elif [ "$code" = 0 ] && [ -n "$finish" ]; then
    error=$(printf '%s\n' "$finish" | grep -o 'ERROR [0-9]*' | head -n 1)
    if [ -n "$error" ]; then
      outcome="stopped with ${error,,}"
    elif printf '%s' "$finish" | grep -q 'has finished installing' && installed_whole; then
      outcome="installed, every file whole"
    else
      outcome="UNEXPLAINED finish page"
      unexplained=$((unexplained + 1))
    fi
  else
    outcome="UNEXPLAINED (exit $code)"
    unexplained=$((unexplained + 1))
  fi
  # What the run left: nothing temporary, and only whole project files.
  left=""
  temporary=$(find "$C" -name '*.$$?' | head -n 3)
  [ -n "$temporary" ] && left="temporary files: $temporary"
  while IFS= read -r written; do
    [ -n "$written" ] || continue
    case "$written" in *.lnk) continue ;; esac
    sum=$(md5sum "$written" | cut -d' ' -f1)
    # An empty file is whole only where the empty project file belongs.
    if [ ! -s "$written" ] && [ "$written" != "$DEST/empty.dat" ]; then sum=empty-elsewhere; fi
    printf '%s\n' "$sums" | grep -qx "$sum" || left="$left${left:+; }not a project file: ${written#"$C/"}"
  done < <(find "$C" -type f -cnewer "$work/marker" ! -name '*.$$?')
  if [ -n "$left" ]; then
    leftovers=$((leftovers + 1))
    outcome="$outcome, LEFT: $left"
  fi
  outcomes["${outcome%%, LEFT:*}"]=$((${outcomes["${outcome%%, LEFT:*}"]:-0} + 1))
  printf '%-28s %s\n' "$label" "$outcome"
  printf '%s\t%s\n' "$label" "$outcome" >>"$OUT/sweep.tsv"
  # Back to the prefix as it was: every file and folder the run made goes.
  comm -13 "$work/files.before" <(find "$C" -type f | sort) | while IFS= read -r f; do rm -f "$f"; done
  comm -13 "$work/dirs.before" <(find "$C" -type d | sort) | sort -r | while IFS= read -r d; do rm -rf "$d"; done
done <"$work/cases.txt"
sweepTime=$(($(date +%s) - sweepStart))

echo
echo "The sweep: $tried damaged copies in $sweepTime s"
for outcome in "${!outcomes[@]}"; do printf '  %4d  %s\n' "${outcomes[$outcome]}" "$outcome"; done | sort -k2
printf '  crashes %d, hangs %d, leftovers %d, unexplained %d\n' $crashes $hangs $leftovers $unexplained
e2e_check "every case of the list was run ($tried of $caseCount)" test "$tried" -eq "$caseCount"
e2e_check "no run crashed" test $crashes -eq 0
e2e_check "no run hung" test $hangs -eq 0
e2e_check "no run left a temporary or half-written file" test $leftovers -eq 0
e2e_check "every run ended in one of the expected ways" test $unexplained -eq 0
e2e_check "the cuts in the data showed the incomplete-package message" \
  grep -qx "EXE cut $((exeSize - 1))"$'\t'"incomplete-package message, exit -1" "$OUT/sweep.tsv"
e2e_check "changed data stopped an installation with error 21" grep -q 'stopped with error 21$' "$OUT/sweep.tsv"
e2e_check "a volume cut short was given up at its prompt (error 15)" grep -q '^D01 cut .*stopped with error 15$' "$OUT/sweep.tsv"
e2e_check "changes that do not matter still install every file" grep -q 'installed, every file whole$' "$OUT/sweep.tsv"
e2e_finish
