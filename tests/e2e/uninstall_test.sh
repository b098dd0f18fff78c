#!/usr/bin/env bash
# The uninstaller under wine64, over installations laid out by hand: files in
# a destination tree, shared files with counts, a font with its registry
# value, shortcuts, a self-registering component and an uninstall entry, with
# the uninstall records written behind the uninstaller as a setup writes them.
#
#   A  quiet: exactly what was recorded is gone (file tree and registry
#      compared with a snapshot taken before A was laid out), a shared file
#      that product B also counts stays with count 1, the component was
#      unregistered, the uninstaller went by its temporary copy
#   B  through the confirmation: No changes nothing; Yes asks about the
#      shared file whose count reaches 0, leaves a file held open to the
#      restart, keeps the user's own file and its folder
#   C  damaged data: hostile entries, cut at record boundaries, lengths past
#      the end, a lying count; nothing outside the recorded tree is touched
#      and the messages say what was wrong
#   D  Windows 9x: deletions at the restart are NUL lines in WININIT.INI
#
# Exit codes of the uninstaller: 0 removed, 1602 cancelled, 1603 failed,
# 3010 restart needed (read through the driver: Wine's own exit status keeps
# only the low 8 bits).
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs uninstall/quorin-uninstall.exe tests/driver/qdriver.exe tests/win32/selfreg_probe.dll \
  tests/win32/hold_file.exe || exit 1
HOST_BUILD=${QUORIN_HOST_BUILD:-$E2E_SOURCE_DIR/build/host}
RECORDS=$HOST_BUILD/tests/e2e/uninstall_records
QDRIVER=$X64_BUILD/tests/driver/qdriver.exe
UNINSTALLER=$X64_BUILD/uninstall/quorin-uninstall.exe
[ -x "$RECORDS" ] || { echo "missing $RECORDS: build the host preset first" >&2; exit 1; }

bench_start || exit 1
# Wine carries out pending renames and deletions whenever the prefix's server
# starts afresh, as if Windows had restarted. A server kept running keeps them
# pending until the test restarts the prefix on purpose.
wineserver -p
unix() { winepath -u "$1" 2>/dev/null; }
shell_folder() {
  wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v "$1" 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
reg_value() {  # <key> <value>: the value's data, or nothing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -F "    $2    REG_" | sed 's/.*    REG_[A-Z_]*    //'
}
has_key() { wine reg query "$1" >/dev/null 2>&1; }

C=$WINEPREFIX/drive_c
PF="$C/Program Files"
SYS='C:\windows\system32'
FONTS='C:\windows\Fonts'
DESKTOP=$(shell_folder Desktop)
PROGRAMS=$(shell_folder Programs)
STARTUP=$(shell_folder StartUp)
TEMP_WIN=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
TEMP_DIR=$(unix "$TEMP_WIN")
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
SHARED_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
FONTS_KEY='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
PROBE_KEY='HKCU\Software\QuorinSelfRegProbe'
PENDING_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'
[ -n "$DESKTOP" ] && [ -n "$PROGRAMS" ] && [ -n "$STARTUP" ] && [ -d "$TEMP_DIR" ] ||
  { echo "the bench's shell folders could not be read" >&2; exit 1; }
mkdir -p "$(unix "$DESKTOP")" "$(unix "$PROGRAMS")" "$(unix "$STARTUP")"

# put <windows path> [content]: a file of the layout
put() {
  local path
  path=$(unix "$1")
  mkdir -p "$(dirname "$path")"
  printf '%s\n' "${2:-$1}" >"$path"
}

# install <product> <layout>: the uninstaller in the product's folder with the
# records of the layout written behind it, and its uninstall entry
install_uninstaller() {
  local product=$1 layout=$2
  local folder="C:\\Program Files\\$product"
  mkdir -p "$(unix "$folder")"
  cp "$UNINSTALLER" "$(unix "$folder\\uninst.exe")"
  printf '%s\n' "$layout" >"$OUT/$product.layout"
  "$RECORDS" write "$(unix "$folder\\uninst.exe")" "$OUT/$product.layout" >"$OUT/$product.records" ||
    { echo "writing the records of $product failed" >&2; exit 1; }
  wine reg add "$UNINSTALL_KEY\\$product" /v DisplayName /d "$product" /f >/dev/null 2>&1
  wine reg add "$UNINSTALL_KEY\\$product" /v UninstallString /d "$folder\\uninst.exe" /f >/dev/null 2>&1
}

# drive <log> <driver commands...>: runs the driver; its commands start the
# uninstaller. Then waits for the temporary copy to finish its cleanup.
drive() {
  local log=$1
  shift
  timeout 180 wine "$QDRIVER" --timeout 60 "$@" >"$log" 2>&1
  local rc=$?
  # The cleanup copy runs on after the uninstaller ended.
  local waited=0
  while [ $waited -lt 100 ] && pgrep -f '_uninst[0-9]*\.exe' >/dev/null; do
    sleep 0.2
    waited=$((waited + 1))
  done
  return $rc
}

snapshot() {
  # The temporary copy of the uninstaller stays there until the restart.
  local temp=${TEMP_WIN#C:\\}
  (cd "$C" && find . -path "./${temp//\\//}" -prune -o -print | sort) >"$1.files"
  for key in "$UNINSTALL_KEY" "$SHARED_KEY" "$FONTS_KEY"; do
    wine reg query "$key" /s 2>/dev/null | tr -d '\r'
  done >"$1.reg"
}

pending() {
  wine reg query "$PENDING_KEY" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r'
}

wait_for_file() {
  local waited=0
  while [ ! -f "$1" ] && [ $waited -lt 300 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  test -f "$1"
}

# ---------------------------------------------------------------- product B, first half
e2e_step "layout: product B, which shares a file with A"
B='C:\Program Files\Quorin Test B'
put "$B\\b.exe"
put "$B\\held.dat"
put "$B\\data\\b.cfg"
put "$B\\data\\user.txt" "the user's own file, not recorded"
put "$SYS\\quorin_shared.dll"
wine reg add "$SHARED_KEY" /v "$SYS\\quorin_shared.dll" /t REG_DWORD /d 1 /f >/dev/null 2>&1
install_uninstaller "Quorin Test B" "files
file|0|.|b.exe
file|0|.|held.dat
file|0|.\\data|b.cfg
file|1|$SYS|quorin_shared.dll
key|80000002|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorin Test B
end"
# Things no record names, which must survive every run.
put 'C:\victim\canary.txt'
put "$SYS\\quorin_canary.dll"
put "$PROGRAMS\\Quorin Canary\\keep.lnk"
wine reg add "$FONTS_KEY" /v 'Quorin Canary (TrueType)' /d canary.ttf /f >/dev/null 2>&1
wine reg add "$UNINSTALL_KEY\\Quorin Canary" /v DisplayName /d 'Quorin Canary' /f >/dev/null 2>&1
canaries_intact() {
  test -f "$C/victim/canary.txt" && test -f "$(unix "$SYS\\quorin_canary.dll")" &&
    test -f "$(unix "$PROGRAMS\\Quorin Canary\\keep.lnk")" &&
    [ "$(reg_value "$FONTS_KEY" 'Quorin Canary (TrueType)')" = canary.ttf ] &&
    [ "$(reg_value "$UNINSTALL_KEY\\Quorin Canary" DisplayName)" = 'Quorin Canary' ]
}

snapshot "$OUT/before-a"

# ---------------------------------------------------------------- product A, quiet
e2e_step "layout: product A"
A='C:\Program Files\Quorin Test A'
put "$A\\app.exe"
put "$A\\docs\\readme.txt"
put "$A\\docs\\readonly.txt"
chmod a-w "$(unix "$A\\docs\\readonly.txt")"
put "$A\\bin\\sub\\lib.dat"
cp "$X64_BUILD/tests/win32/selfreg_probe.dll" "$(unix "$A\\bin\\probe.dll")"
put "$SYS\\quorin_only.dll"
"$RECORDS" font "$(unix "$FONTS\\quorintest.ttf")" "Quorin Test Sans" || exit 1
put "$DESKTOP\\Quorin A.lnk"
put "$PROGRAMS\\Quorin Test A\\A.lnk"
put "$PROGRAMS\\Quorin Test A\\Extras\\A Extra.lnk"
put "$STARTUP\\A Startup.lnk"
wine reg add "$SHARED_KEY" /v "$SYS\\quorin_shared.dll" /t REG_DWORD /d 2 /f >/dev/null 2>&1
wine reg add "$SHARED_KEY" /v "$SYS\\quorin_only.dll" /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$FONTS_KEY" /v 'Quorin Test Sans (TrueType)' /d quorintest.ttf /f >/dev/null 2>&1
install_uninstaller "Quorin Test A" "files
file|0|.|app.exe
file|0|.\\docs|readme.txt
file|0|.\\docs|readonly.txt
file|0|.\\bin\\sub|lib.dat
file|4|.\\bin|probe.dll
file|1|$SYS|quorin_shared.dll
file|1|$SYS|quorin_only.dll
file|2|$FONTS|quorintest.ttf
file|0|$DESKTOP|Quorin A.lnk
shortcuts
shortcut|$PROGRAMS\\Quorin Test A|A.lnk
shortcut|$PROGRAMS\\Quorin Test A\\Extras|A Extra.lnk
shortcut|$STARTUP|A Startup.lnk
key|80000002|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorin Test A
end"

e2e_step "product A, quiet"
rm -f "$TEMP_DIR"/_uninst*.exe
drive "$OUT/a.log" "start \"$A\\uninst.exe\" /Q" "exit 0"
e2e_check "the quiet uninstall ended with 0" test $? -eq 0
e2e_has_line "$OUT/a.log" 'exit 0'
snapshot "$OUT/after-a"
e2e_check "the file tree is as before A was laid out" diff "$OUT/before-a.files" "$OUT/after-a.files"
e2e_check "the uninstall entries, shared counts and fonts are as before" diff "$OUT/before-a.reg" "$OUT/after-a.reg"
diff "$OUT/before-a.files" "$OUT/after-a.files" | head -20
diff "$OUT/before-a.reg" "$OUT/after-a.reg" | head -20
e2e_check "the shared file B also counts stays, with count 1" \
  test "$(reg_value "$SHARED_KEY" "$SYS\\quorin_shared.dll")" = 0x1
e2e_check "the component was unregistered from its own file" \
  test "$(reg_value "$PROBE_KEY" Unregistered)" = "$A\\bin\\probe.dll"
e2e_check "nothing unrecorded was touched" canaries_intact
copy=$(ls "$TEMP_DIR"/_uninst*.exe 2>/dev/null | head -1)
echo "     temporary copy: ${copy:-none}"
e2e_check "the temporary copy is there" test -n "$copy"
e2e_check "the copy waits for the restart to be deleted" \
  grep -qF "${TEMP_WIN}\\$(basename "${copy:-none}")" <(pending)

# ---------------------------------------------------------------- product B, through the confirmation
e2e_step "product B: No changes nothing"
snapshot "$OUT/before-b"
drive "$OUT/b-no.log" "start \"$B\\uninst.exe\"" "msgbox IDNO" "exit 1602"
e2e_check "the driver answered No" test $? -eq 0
e2e_has_line "$OUT/b-no.log" 'msgbox caption="Quorin Test B Uninstall"'
e2e_has_line "$OUT/b-no.log" \
  'msgbox text="Are you sure you want to remove Quorin Test B and all of its components from your computer?"'
e2e_has_line "$OUT/b-no.log" 'exit 1602'
snapshot "$OUT/after-b-no"
e2e_check "after No the files are as they were" diff "$OUT/before-b.files" "$OUT/after-b-no.files"
e2e_check "after No the registry is as it was" diff "$OUT/before-b.reg" "$OUT/after-b-no.reg"

e2e_step "product B: Yes, with a file held open"
rm -f "$OUT/held.ready" "$OUT/held.release"
wine "$X64_BUILD/tests/win32/hold_file.exe" "$B\\held.dat" "$(win "$OUT/held.ready")" "$(win "$OUT/held.release")" \
  >/dev/null 2>&1 &
holder=$!
e2e_check "the file is held open" wait_for_file "$OUT/held.ready"
drive "$OUT/b-yes.log" "start \"$B\\uninst.exe\"" "msgbox IDYES" "msgbox IDYES" "msgbox IDOK" "exit 3010"
e2e_check "the driver went through the questions" test $? -eq 0
e2e_has_prefix "$OUT/b-yes.log" "msgbox text=\"The shared file\\n\\n$SYS\\quorin_shared.dll\\n\\nis no longer used"
e2e_has_line "$OUT/b-yes.log" \
  'msgbox text="Quorin Test B was removed from your computer.\n\nSome files were in use. They will be removed when Windows restarts."'
e2e_has_line "$OUT/b-yes.log" 'exit 3010'
e2e_check "the shared file went with its count" \
  test ! -e "$(unix "$SYS\\quorin_shared.dll")" -a -z "$(reg_value "$SHARED_KEY" "$SYS\\quorin_shared.dll")"
e2e_check "b.exe and b.cfg are gone" test ! -e "$(unix "$B\\b.exe")" -a ! -e "$(unix "$B\\data\\b.cfg")"
e2e_check "the user's own file and its folder stay" test -f "$(unix "$B\\data\\user.txt")"
e2e_check "the held file waits for the restart" grep -qF "$B\\held.dat" <(pending)
e2e_check "the held file is still there now" test -f "$(unix "$B\\held.dat")"
e2e_check "the uninstall entry is gone" bash -c "! wine reg query '$UNINSTALL_KEY\\Quorin Test B' >/dev/null 2>&1"
e2e_check "the uninstaller is gone" test ! -e "$(unix "$B\\uninst.exe")"
e2e_check "nothing unrecorded was touched" canaries_intact
touch "$OUT/held.release"
wait $holder

e2e_step "a restart carries out the pending deletions"
timeout 120 wine wineboot -r >/dev/null 2>&1
timeout 30 wineserver -w >/dev/null 2>&1
e2e_check "after the restart the held file is gone" test ! -e "$(unix "$B\\held.dat")"
e2e_check "after the restart the temporary copy is gone" test -n "$copy" -a ! -e "$copy"

# ---------------------------------------------------------------- product C, damaged data
P='C:\Program Files\Quorin Test C'
SPEC_C="files
file|0|.|c1.txt
file|0|.\\sub|c2.txt
file|0|.\\..\\..\\victim|canary.txt
file|0|C:\\victim|canary.txt
file|0|.\\sub\\..|c1.txt
shortcuts
shortcut|C:\\victim|canary.lnk
shortcut|$PROGRAMS\\Quorin Test C|C.lnk
key|80000002|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall
key|80000002|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorin Test C
end"
lay_out_c() {  # <layout>
  rm -rf "$(unix "$P")"
  wine reg delete "$UNINSTALL_KEY\\Quorin Test C" /f >/dev/null 2>&1
  put "$P\\c1.txt"
  put "$P\\sub\\c2.txt"
  put 'C:\victim\canary.lnk'
  put "$PROGRAMS\\Quorin Test C\\C.lnk"
  install_uninstaller "Quorin Test C" "$1"
}
still_there() {
  test -f "$(unix "$P\\c1.txt")" && test -f "$(unix "$P\\sub\\c2.txt")" && test -f "$(unix "$P\\uninst.exe")"
}

e2e_step "product C: hostile entries are refused, the rest removed"
lay_out_c "$SPEC_C"
drive "$OUT/c-hostile.log" "start \"$P\\uninst.exe\"" "msgbox IDYES" "msgbox IDOK" "exit 1603"
e2e_check "the driver went through" test $? -eq 0
for said in 'The uninstall information is damaged. These entries will be left alone:' \
    '- .\..\..\victim\canary.txt: its folder climbs out with "." or ".."' \
    '- C:\victim\canary.txt: it lies outside the folders a setup writes to' \
    '- .\sub\..\c1.txt: its folder climbs out' \
    '- C:\victim\canary.lnk: it lies outside the Start menu' \
    "- The uninstall entry: not a key of the system's list of uninstall entries"; do
  e2e_check "the confirmation says: $said" grep -qF -- "$said" "$OUT/c-hostile.log"
done
e2e_has_line "$OUT/c-hostile.log" 'exit 1603'
e2e_check "the intact entries are removed" test ! -e "$(unix "$P\\c1.txt")" -a ! -e "$(unix "$P\\sub\\c2.txt")"
e2e_check "the intact shortcut is removed with its folder" test ! -e "$(unix "$PROGRAMS\\Quorin Test C")"
e2e_check "nothing outside the recorded tree was touched" \
  test -f "$C/victim/canary.txt" -a -f "$C/victim/canary.lnk"
e2e_check "nothing unrecorded was touched" canaries_intact

e2e_step "product C: data cut at every record boundary, quiet"
lay_out_c "$SPEC_C"
mapfile -t starts < <(awk '/^record/{print $3}' "$OUT/Quorin Test C.records")
cp "$(unix "$P\\uninst.exe")" "$OUT/c-whole.exe"
for cut in "${starts[@]}" $((starts[0] + 5)) $((starts[0] + 20)); do
  lay_out_c "$SPEC_C"
  head -c "$cut" "$OUT/c-whole.exe" >"$(unix "$P\\uninst.exe")"
  drive "$OUT/c-cut-$cut.log" "start \"$P\\uninst.exe\" /Q" "exit 1603"
  e2e_check "cut at $cut: the uninstaller says it failed" test $? -eq 0
  e2e_check "cut at $cut: nothing outside the recorded tree was touched" \
    test -f "$C/victim/canary.txt" -a -f "$C/victim/canary.lnk"
  if [ "$cut" = "${starts[-1]}" ]; then
    e2e_check "cut before the end record: the intact files went" test ! -e "$(unix "$P\\c1.txt")"
  fi
  # Where the entry stays, the uninstaller stays with it.
  if has_key "$UNINSTALL_KEY\\Quorin Test C"; then
    e2e_check "cut at $cut: the entry stays and so does the uninstaller" test -f "$(unix "$P\\uninst.exe")"
  else
    e2e_check "cut at $cut: the entry and the uninstaller are gone" test ! -e "$(unix "$P\\uninst.exe")"
  fi
done

e2e_step "product C: what the messages say about cut and lying data"
check_c() {  # <name> <layout or cut> <expected text>
  local name=$1 layout=$2 said=$3
  lay_out_c "$layout"
  if [ -n "${4:-}" ]; then
    cp "$(unix "$P\\uninst.exe")" "$OUT/c-tmp.exe"
    head -c "$4" "$OUT/c-tmp.exe" >"$(unix "$P\\uninst.exe")"
  fi
  drive "$OUT/c-$name.log" "start \"$P\\uninst.exe\"" "msgbox IDYES" "msgbox IDOK" "exit 1603"
  e2e_check "$name: the driver went through" test $? -eq 0
  e2e_check "$name: the confirmation says: $said" grep -qF -- "$said" "$OUT/c-$name.log"
  e2e_check "$name: nothing outside the recorded tree was touched" \
    test -f "$C/victim/canary.txt" -a -f "$C/victim/canary.lnk"
}
lay_out_c "$SPEC_C"
keyAt=$(awk '/^record 1238/{print $3}' "$OUT/Quorin Test C.records" | tail -1)
check_c cut-before-key "$SPEC_C" 'the uninstall data ends before its end record' "$keyAt"
e2e_check "cut before the key: the uninstaller stays for its entry" test -f "$(unix "$P\\uninst.exe")"
check_c length-past-end "${SPEC_C/shortcuts/length|1000
shortcuts}" 'a record runs past the end of the uninstall data'
e2e_check "length past the end: the files of that record stay" still_there
check_c lying-count "${SPEC_C/shortcuts/count|2
shortcuts}" 'an entry runs past the end of its record'
e2e_check "lying count: the files of that record stay" test -f "$(unix "$P\\c1.txt")"
e2e_check "lying count: the records after it are read" test ! -e "$(unix "$PROGRAMS\\Quorin Test C\\C.lnk")"

e2e_step "an uninstaller that is not the registered one removes nothing"
lay_out_c "$SPEC_C"
wine reg add "$UNINSTALL_KEY\\Quorin Test C" /v UninstallString /d 'C:\Elsewhere\uninst.exe' /f >/dev/null 2>&1
drive "$OUT/c-foreign.log" "start \"$P\\uninst.exe\"" "msgbox IDOK" "exit 1603"
e2e_check "the driver saw the refusal" test $? -eq 0
e2e_has_line "$OUT/c-foreign.log" \
  'msgbox text="This uninstall program is not the one registered for Quorin Test C. Please remove it through the list of installed programs."'
e2e_check "nothing was removed" still_there

# ---------------------------------------------------------------- Windows 9x
e2e_step "Windows 9x: deletions at the restart go to WININIT.INI"
bench_set_version win98 || exit 1
D='C:\Program Files\Quorin Test D'
put "$D\\held.dat"
install_uninstaller "Quorin Test D" "files
file|0|.|held.dat
key|80000002|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorin Test D
end"
rm -f "$OUT/held.ready" "$OUT/held.release" "$C/windows/WININIT.INI"
rm -f "$TEMP_DIR"/_uninst*.exe
wine "$X64_BUILD/tests/win32/hold_file.exe" "$D\\held.dat" "$(win "$OUT/held.ready")" "$(win "$OUT/held.release")" \
  >/dev/null 2>&1 &
holder=$!
e2e_check "the file is held open" wait_for_file "$OUT/held.ready"
drive "$OUT/d.log" "start \"$D\\uninst.exe\" /Q" "exit 3010"
e2e_check "the quiet uninstall needs a restart" test $? -eq 0
touch "$OUT/held.release"
wait $holder
tr -d '\r' <"$C/windows/WININIT.INI" >"$OUT/wininit.txt" 2>/dev/null
sed 's/^/     | /' "$OUT/wininit.txt"
e2e_check "the held file has its NUL line, with its short path" \
  grep -qiE '^NUL=C:(\\[^\\ .]{1,8}(\.[^\\ .]{0,3})?){2}\\HELD\.DAT$' "$OUT/wininit.txt"
e2e_check "the temporary copy has its own NUL line" \
  test "$(grep -ci '^NUL=.*_UNINS' "$OUT/wininit.txt")" -eq 1
e2e_check "no stand-in line is left" bash -c "! grep -qi '^xyz=' '$OUT/wininit.txt'"

e2e_finish
