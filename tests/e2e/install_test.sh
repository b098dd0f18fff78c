#!/usr/bin/env bash
# Installing files under Wine, each run walked by the test driver, the
# installed tree compared with the project's files byte for byte:
#   varied     subfolders, the Windows and system folders, a 0-byte and a
#              3 MB file, file times, an external entry; shared counts (3
#              becomes 4, a missing one 1, no key no count)
#   volumes    the same files cut into volume files install the same; with a
#              volume missing the prompt names its disk, OK after putting it
#              back goes on, Cancel then Yes ends with error 15 and leaves no
#              temporary file; from a floppy disk the relaunched copy reads
#              the volumes from the disk
#   damage     a changed byte stops the installation with error 21 naming the
#              file, files before it stay, nothing temporary is left; with /R
#              a change that still decodes installs the damaged file, a stream
#              the decoder rejects still stops with error 21
#   versions   a newer existing file is kept without the question, kept after
#              No, replaced after Yes; a read-only file is replaced and stays
#              read-only
#   in use     a file held open (others may only read it, as a running
#              program's files): identical, it is left and no restart is
#              offered; different, it waits for the restart (a pending rename
#              on the NT family, a "Rename" line of short names in WININIT.INI
#              on Windows 98); a file held without any sharing cannot be
#              compared and waits for the restart too
#   cancel     No on the progress page's question goes on; Yes keeps what was
#              installed and shows the closing page
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/win32/hold_file.exe || exit 1
e2e_start_bench || exit 1
# Wine carries out pending renames whenever the prefix's server starts
# afresh, as at a restart: a server kept running keeps them pending.
wineserver -p

work=$OUT/files
src=$work/src
mkdir -p "$src/sub" "$src/many"
printf 'first file\r\n' >"$src/a.txt"
head -c 3000000 /dev/urandom >"$src/sub/big.bin"
: >"$src/empty.dat"
printf 'kept times\r\n' >"$src/times.txt"
touch -d '2001-02-03 04:05:06' "$src/times.txt"
printf 'windows folder\r\n' >"$src/quorin_win.txt"
printf 'shared one\r\n' >"$src/quorin_one.dll"
printf 'shared two\r\n' >"$src/quorin_two.dll"
printf 'beside the setup\r\n' >"$src/extra.txt"
for i in $(seq -w 1 60); do head -c 2000 /dev/urandom >"$src/many/f$i.bin"; done

HOST_SRC=$src
project() {  # project <name> <folder> [setup lines...]
  local name=$1 folder=$2
  shift 2
  {
    printf '[setup]\ntitle = "Install Test"\nfolder = "%s"\nmode = "framed"\n' "$folder"
    printf '%s\n' "$@"
    # A missing folder is made without asking.
    printf '\n[texts]\ninformation = ""\n6.6 = ""\n'
  } >"$work/$name.toml"
}
files_varied='
[[file]]
source = "src/a.txt"
[[file]]
source = "src/sub/big.bin"
destination = "sub\\big.bin"
[[file]]
source = "src/empty.dat"
[[file]]
source = "src/times.txt"
keep_times = true
[[file]]
source = "src/quorin_win.txt"
kind = "windows"
[[file]]
source = "src/quorin_one.dll"
kind = "system-shared"
shared = true
[[file]]
source = "src/quorin_two.dll"
kind = "system-shared"
shared = true
[[file]]
source = "src/extra.txt"
destination = "extra.txt"
external = true'
project varied 'C:\\QuorinTest\\Varied'
printf '%s\n' "$files_varied" >>"$work/varied.toml"
project volumes 'C:\\QuorinTest\\Volumes'
printf '%s\n' "$files_varied" >>"$work/volumes.toml"
project many 'C:\\QuorinTest\\Many' 'pacing = false'
printf '\n[[file]]\nsource = "src/many/*.bin"\ndestination = "many"\n' >>"$work/many.toml"

e2e_build "$work/varied.toml" "$work/varied.exe" || exit 1
mkdir -p "$work/vol"
e2e_build "$work/volumes.toml" "$work/vol/SETUP.EXE" --volume-size 1100000 || exit 1
e2e_build "$work/many.toml" "$work/many.exe" || exit 1
cp "$src/extra.txt" "$work/extra.txt"

# The wizard from the welcome page to the finish page.
TO_FINISH=("window class=QuorinClass" "click 1" "click 1" "click 1" 'expect title "Install Test Setup - Setup Complete"')
END=("click 1" 'expect title "Setup"' "click IDCANCEL" "exit 0")
SHARED='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
sys_path() { bench_unix_path "C:\\windows\\system32\\$1"; }
no_temporary_files() { ! find "$WINEPREFIX/drive_c" -name '*.$$?' | grep -q .; }
same_tree() {  # same_tree <installed folder>: every project file is there, equal
  local d=$1
  cmp -s "$src/a.txt" "$d/a.txt" && cmp -s "$src/sub/big.bin" "$d/sub/big.bin" && cmp -s "$src/empty.dat" "$d/empty.dat" &&
    cmp -s "$src/times.txt" "$d/times.txt" && cmp -s "$src/quorin_win.txt" "$WINEPREFIX/drive_c/windows/quorin_win.txt" &&
    cmp -s "$src/quorin_one.dll" "$(sys_path quorin_one.dll)" && cmp -s "$src/quorin_two.dll" "$(sys_path quorin_two.dll)"
}

e2e_step "a varied project"
bench_reg add "$SHARED" /v 'C:\windows\system32\quorin_one.dll' /t REG_DWORD /d 3 /f >/dev/null
e2e_drive varied.log "start $(win "$work/varied.exe")" "${TO_FINISH[@]}" "disabled 1007" "${END[@]}"
e2e_check "the varied project installed and the wizard ended" test $? -eq 0
D=$WINEPREFIX/drive_c/QuorinTest/Varied
e2e_check "every file is in place, byte for byte" same_tree "$D"
e2e_check "the file times were kept" test "$(stat -c %Y "$D/times.txt")" = "$(stat -c %Y "$src/times.txt")"
e2e_check "the external entry was not copied" test ! -e "$D/extra.txt"
e2e_check "a shared count of 3 became 4" test "$(bench_reg_value "$SHARED" 'C:\windows\system32\quorin_one.dll')" = 0x4
e2e_check "a missing shared count became 1" test "$(bench_reg_value "$SHARED" 'C:\windows\system32\quorin_two.dll')" = 0x1
e2e_check "nothing temporary is left" no_temporary_files
bench_reg delete "$SHARED" /f >/dev/null
e2e_drive varied2.log "start $(win "$work/varied.exe")" "${TO_FINISH[@]}" "${END[@]}"
e2e_check "without the SharedDLLs key no count is written" bash -c "! wine reg query '$SHARED' >/dev/null 2>&1"

e2e_step "volumes"
vols=$(ls "$work/vol" | grep -c '^SETUP\.D')
e2e_check "the volume build made several volume files ($vols)" test "$vols" -ge 2
e2e_drive volumes.log "start $(win "$work/vol/SETUP.EXE")" "${TO_FINISH[@]}" "${END[@]}"
e2e_check "the volumes install the same files" same_tree "$WINEPREFIX/drive_c/QuorinTest/Volumes"
rm -rf "$WINEPREFIX/drive_c/QuorinTest/Volumes"
mv "$work/vol/SETUP.D02" "$work/SETUP.D02.away"
e2e_drive missing.log "start $(win "$work/vol/SETUP.EXE")" "window class=QuorinClass" "click 1" "click 1" "click 1" \
  "msgbox" "echo asked" "waitfile $(win "$OUT/put-back")" "answer IDOK" \
  'expect title "Install Test Setup - Setup Complete"' "${END[@]}" &
e2e_wait_for_line "$OUT/missing.log" "echo asked" 120 && mv "$work/SETUP.D02.away" "$work/vol/SETUP.D02" && : >"$OUT/put-back"
wait $!
e2e_check "with a volume put back after the prompt the installation went on" test $? -eq 0
e2e_has_line "$OUT/missing.log" 'msgbox text="Please insert Install Test Setup disk 3 and click OK."'
e2e_check "and installed the same files" same_tree "$WINEPREFIX/drive_c/QuorinTest/Volumes"
mv "$work/vol/SETUP.D02" "$work/SETUP.D02.away"
e2e_drive gaveup.log "start $(win "$work/vol/SETUP.EXE")" "window class=QuorinClass" "click 1" "click 1" "click 1" \
  "msgbox IDCANCEL" "msgbox IDYES" 'expect 1000 contains=was cancelled' "${END[@]}"
e2e_check "Cancel then Yes at the prompt ends with error 15 on the finish page" test $? -eq 0
e2e_check "and leaves no temporary file" no_temporary_files
mv "$work/SETUP.D02.away" "$work/vol/SETUP.D02"
# From a floppy disk the setup relaunches itself from the temporary folder;
# the copy reads the volumes from the disk.
rm -rf "$WINEPREFIX/drive_c/QuorinTest/Volumes"
mkdir -p "$OUT/floppy"
cp "$work/vol/"SETUP.* "$OUT/floppy/"
bench_floppy "$OUT/floppy" || exit 1
wineserver -p
e2e_drive floppy.log "start A:\SETUP.EXE" "${TO_FINISH[@]}" "${END[@]}"
e2e_check "from a floppy disk the relaunched copy installs from the volumes there" \
  same_tree "$WINEPREFIX/drive_c/QuorinTest/Volumes"

e2e_step "damaged data"
# flip <file> <offset> [mask]: changes bits of one byte (the lowest by default).
flip() {
  local b
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "$(printf '\\%03o' $((b ^ ${3:-1})))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# damaged_copy <out> <grep pattern> <first offset> <step> [mask]: a copy of
# varied.exe with bits of one byte of the big file's stream changed, at the
# first place where quorin verify reports the damage the pattern describes.
bigStart=$("$QUORIN" list --json "$work/varied.exe" | python3 -c "
import json, sys
d = json.load(sys.stdin)
print(d['data_area']['offset'] + 4 + d['files'][0]['packed'])")
damaged_copy() {
  local at
  for at in $(seq "$3" "$4" $(($3 + 400000))); do
    cp "$work/varied.exe" "$1"
    flip "$1" "$at" "${5:-1}"
    "$QUORIN" verify "$1" 2>&1 | grep -q "$2" && return 0
  done
  echo "no place found for: $2"
  return 1
}
# Random data is stored as it is: a changed data byte still decodes.
damaged_copy "$work/flipped.exe" 'big.bin": checksum .* differs' $((bigStart + 1000)) 9973 || exit 1
# The block kind in the stream's first byte made invalid: the decoder rejects it.
damaged_copy "$work/broken.exe" 'big.bin": the stream does not decode' "$bigStart" 1 6 || exit 1
rm -rf "$WINEPREFIX/drive_c/QuorinTest"
e2e_drive flipped.log "start $(win "$work/flipped.exe")" "${TO_FINISH[@]}" \
  'expect 1000 contains=C:\QuorinTest\Varied\sub\big.bin was not installed correctly' "${END[@]}"
e2e_check "a changed byte stops with error 21 naming the file" test $? -eq 0
e2e_check "the file before it stays" cmp -s "$src/a.txt" "$D/a.txt"
e2e_check "the damaged file and the ones after it are not there" test ! -e "$D/sub/big.bin" -a ! -e "$D/empty.dat"
e2e_check "nothing temporary is left" no_temporary_files
e2e_drive flipped-r.log "start $(win "$work/flipped.exe") /R" "${TO_FINISH[@]}" 'expect 1000 contains=has finished' "${END[@]}"
e2e_check "with /R the same change installs without an error" test $? -eq 0
e2e_check "and the installed file is the damaged one" bash -c "! cmp -s '$src/sub/big.bin' '$D/sub/big.bin'"
rm -rf "$D"
e2e_drive broken-r.log "start $(win "$work/broken.exe") /R" "${TO_FINISH[@]}" 'expect 1000 contains=was not installed correctly' \
  "${END[@]}"
e2e_check "with /R a stream the decoder rejects still stops with error 21" test $? -eq 0
e2e_check "nothing temporary is left" no_temporary_files

e2e_step "newer versions and read-only files"
cat >"$work/version.rc" <<'EOF'
#include <winver.h>
1 VERSIONINFO FILEVERSION VMAJOR,VMINOR,0,0
BEGIN
  BLOCK "VarFileInfo" BEGIN VALUE "Translation", 0x409, 1252 END
END
EOF
pe() {  # pe <out.dll> <major> <minor>
  x86_64-w64-mingw32-windres -DVMAJOR=$2 -DVMINOR=$3 "$work/version.rc" -O coff -o "$work/v.o" &&
    printf 'int x;\n' | x86_64-w64-mingw32-gcc -shared -x c - -x none "$work/v.o" -o "$1"
}
pe "$src/tool.dll" 1 9 && pe "$work/newer.dll" 2 0 || { echo "building version resources failed"; exit 1; }
project versions 'C:\\QuorinTest\\Versions'
# The ready page's read-only question is the destination test's: not asked here.
sed -i 's/^6.6 = ""$/6.6 = ""\n6.7 = ""/' "$work/versions.toml"
printf '\n[[file]]\nsource = "src/tool.dll"\ncheck_version = true\n[[file]]\nsource = "src/a.txt"\n' >>"$work/versions.toml"
e2e_build "$work/versions.toml" "$work/versions.exe" || exit 1
sed 's/^information = ""$/information = ""\n6.29 = ""/' "$work/versions.toml" >"$work/quiet.toml"
e2e_build "$work/quiet.toml" "$work/quiet.exe" || exit 1
V=$WINEPREFIX/drive_c/QuorinTest/Versions
mkdir -p "$V"
cp "$work/newer.dll" "$V/tool.dll"
printf 'old\r\n' >"$V/a.txt"
chmod a-w "$V/a.txt"   # read-only, as Wine shows a file without write permission
e2e_drive quiet.log "start $(win "$work/quiet.exe")" "${TO_FINISH[@]}" "${END[@]}"
e2e_check "without the question the newer file is kept" cmp -s "$work/newer.dll" "$V/tool.dll"
e2e_check "a read-only file is replaced" cmp -s "$src/a.txt" "$V/a.txt"
e2e_check "and stays read-only" test "$(stat -c %A "$V/a.txt" | cut -c3)" = -
e2e_drive no.log "start $(win "$work/versions.exe")" "window class=QuorinClass" "click 1" "click 1" "click 1" \
  "msgbox IDNO" 'expect title "Install Test Setup - Setup Complete"' "${END[@]}"
e2e_check "No keeps the newer file" cmp -s "$work/newer.dll" "$V/tool.dll"
e2e_has_prefix "$OUT/no.log" 'msgbox text="The file C:\QuorinTest\Versions\tool.dll on your computer is newer'
e2e_drive yes.log "start $(win "$work/versions.exe")" "window class=QuorinClass" "click 1" "click 1" "click 1" \
  "msgbox IDYES" 'expect title "Install Test Setup - Setup Complete"' "${END[@]}"
e2e_check "Yes replaces it" cmp -s "$src/tool.dll" "$V/tool.dll"

e2e_step "files in use"
PENDING='HKLM\System\CurrentControlSet\Control\Session Manager'
hold() {  # hold <file> [read]: held open until release
  rm -f "$OUT/held.ready" "$OUT/held.release"
  wine "$X64_BUILD/tests/win32/hold_file.exe" "$(win "$1")" "$(win "$OUT/held.ready")" "$(win "$OUT/held.release")" \
    ${2:-} >/dev/null 2>&1 &
  holder=$!
  local waited=0
  while [ ! -e "$OUT/held.ready" ] && [ $waited -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
}
release() { : >"$OUT/held.release"; wait "$holder"; }
# The prefix's server ends and starts afresh, which Wine treats as a restart
# of Windows; then it is kept running again.
simulated_restart() {
  timeout 30 wineserver -k; timeout 30 wineserver -w
  timeout 120 wine wineboot -r >/dev/null 2>&1
  wineserver -p
}
rm -rf "$D"
mkdir -p "$D"
cp "$src/a.txt" "$D/a.txt"
hold "$D/a.txt" read
e2e_drive identical.log "start $(win "$work/varied.exe")" "${TO_FINISH[@]}" "disabled 1007" "${END[@]}"
e2e_check "an identical file in use is left, no restart offered" test $? -eq 0
pending_renames() { wine reg query "$PENDING" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' >"$OUT/pending.txt"; }
pending_renames
e2e_check "no rename waits for the restart" bash -c "! grep -qi QuorinTest '$OUT/pending.txt'"
release
printf 'other contents\r\n' >"$D/a.txt"
hold "$D/a.txt" read
e2e_drive different.log "start $(win "$work/varied.exe")" "${TO_FINISH[@]}" "enabled 1007" 'expect 1007 "&Restart"' "${END[@]}"
e2e_check "a different file in use waits for the restart, which is offered" test $? -eq 0
release
pending_renames
e2e_check "a pending rename from the temporary name to a.txt" \
  bash -c "grep -qiF 'QuorinTest\Varied\a.\$\$A' '$OUT/pending.txt' && grep -qiF 'QuorinTest\Varied\a.txt' '$OUT/pending.txt'"
e2e_check "the file in use kept its contents until then" grep -q 'other contents' "$D/a.txt"
simulated_restart
e2e_check "a simulated restart puts the new file in place" cmp -s "$src/a.txt" "$D/a.txt"

bench_set_version win98 || exit 1
printf 'old on 98\r\n' >"$D/a.txt"
hold "$D/a.txt"
e2e_drive win98.log "start $(win "$work/varied.exe")" "${TO_FINISH[@]}" "enabled 1007" "${END[@]}"
e2e_check "on Windows 98 too the file waits for the restart" test $? -eq 0
release
ini=$(ls "$WINEPREFIX"/drive_c/windows/* 2>/dev/null | grep -i '/wininit\.ini$' | head -1)
tr -d '\r' <"${ini:-/dev/null}" >"$OUT/wininit.ini"
# Short names: the folder above is no 8.3 name, so it appears with a '~'.
e2e_check "WININIT.INI has a Rename line of short names" \
  grep -qiE '^C:\\[^\\=]*~[^\\=]*\\Varied\\a\.txt=C:\\[^\\=]*~[^\\=]*\\Varied\\a\.\$\$A$' "$OUT/wininit.ini"
simulated_restart
if cmp -s "$src/a.txt" "$D/a.txt"; then echo "note: a simulated restart carried out WININIT.INI's rename"
else echo "note: a simulated restart left WININIT.INI's rename undone"; fi
bench_set_version win7 || exit 1

e2e_step "cancelling on the progress page"
e2e_drive cancel.log "start $(win "$work/many.exe")" "window class=QuorinClass" "click 1" "click 1" "click 1" \
  'expect title "Install Test Setup - Installing"' "click IDCANCEL" "msgbox IDNO" "sleep 300" \
  "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" 'expect title "Setup"' "click IDCANCEL" "exit 0"
e2e_check "No goes on, Yes shows the closing page" test $? -eq 0
M=$WINEPREFIX/drive_c/QuorinTest/Many/many
count=$(ls "$M" 2>/dev/null | wc -l)
e2e_check "files installed so far stay ($count of 60)" test "$count" -gt 0 -a "$count" -lt 60
e2e_check "every one of them whole" bash -c "for f in '$M'/*; do cmp -s \"\$f\" '$src/many/'\$(basename \"\$f\") || exit 1; done"
e2e_check "nothing temporary is left" no_temporary_files

e2e_finish
