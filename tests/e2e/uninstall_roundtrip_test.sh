#!/usr/bin/env bash
# A setup built with 'uninstall_name' installs the uninstaller quorin added;
# that uninstaller takes the installation away again, under Wine:
#   W  warm-up: a small product installed and removed, then a restart, so the
#      prefix holds what Wine itself writes on first use; the file tree of
#      drive_c and the registry (system.reg, user.reg) are snapshotted
#   Q  product A (subfolders, menu and desktop shortcuts, a font, a shared
#      file, a self-registering component) installed with /Q and removed with
#      /Q; 'quorin list' of the installed uninstaller shows its records; the
#      snapshot then differs only by the allowance below
#   C  A and product B, which shares A's shared file, installed; A removed
#      through its confirmation, driven, while one of its files is held open:
#      the shared file stays with count 1, the held file waits for the
#      restart and is gone after a simulated one; B removed quietly; the
#      snapshot after the restart differs only by the allowance
# The allowance: what Wine rewrites on its own (the keys' times of change,
# the "#time=" lines, the display driver's DriverDateData); the key the test
# component writes when it is unregistered (it proves DllUnregisterServer
# ran); before the restart, the uninstaller's temporary copy in the temporary
# folder and PendingFileRenameOperations naming that copy alone.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/win32/hold_file.exe || exit 1
e2e_start_bench || exit 1
wineserver -p
T=$STUB_BUILD/tests/win32
[ -f "$T/selfreg_probe.dll" ] || { echo "missing $T/selfreg_probe.dll: build the $STUB_ARCH preset"; exit 1; }
started=$SECONDS

work=$OUT/files
mkdir -p "$work/src/docs/howto"
head -c 20000 /dev/urandom >"$work/src/app.exe"
printf 'read me\r\n' >"$work/src/docs/readme.txt"
printf 'a guide\r\n' >"$work/src/docs/howto/guide.txt"
head -c 5000 /dev/urandom >"$work/src/shared.dll"
cp "$T/selfreg_probe.dll" "$work/src/probe.dll"
e2e_quorin_serif "$work/src/QuorinSerif.ttf" || exit 1

# project <name> <[[file]] tables>: a product in Program Files\Roundtrip <name>
project() {
  cat >"$work/$1.toml" <<EOF
[setup]
title = "Roundtrip $1"
uninstall_name = "Roundtrip $1"

$2
EOF
  e2e_build "$work/$1.toml" "$work/$1.exe"
}
# The file both A and B install and count.
SHARED_FILE='[[file]]
source = "src/shared.dll"
destination = "roundtrip_shared.dll"
kind = "system-shared"
shared = true'
project W '[[file]]
source = "src/app.exe"
menu_folders = "Roundtrip W"
menu_shortcut = "App"
desktop_shortcut = "Roundtrip W"' || exit 1
project A '[[file]]
source = "src/app.exe"
menu_folders = "Roundtrip A;Roundtrip A\\Extras"
menu_shortcut = "App"
desktop_shortcut = "Roundtrip A"
[[file]]
source = "src/docs/**/*.txt"
destination = "docs"
[[file]]
source = "src/probe.dll"
destination = "bin\\probe.dll"
self_register = true
[[file]]
source = "src/QuorinSerif.ttf"
kind = "fonts"
'"$SHARED_FILE" || exit 1
project B '[[file]]
source = "src/app.exe"
'"$SHARED_FILE" || exit 1
e2e_check "the builds say nothing about a missing uninstaller" \
  bash -c "! grep -q uninstaller '$work/W.exe.build.log' '$work/A.exe.build.log' '$work/B.exe.build.log'"

C=$WINEPREFIX/drive_c
PF=$(bench_reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion' ProgramFilesDir)
A="$PF\\Roundtrip A"
B="$PF\\Roundtrip B"
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
SHARED='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
FONTS='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
PROBE='HKCU\Software\QuorinSelfRegProbe'
PENDING='HKLM\System\CurrentControlSet\Control\Session Manager'
FOLDERS='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
# As the stub names it; bench_unix_path finds a 32-bit program's file.
SHARED_DLL="$(bench_reg_value 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' SystemRoot)\\system32\\roundtrip_shared.dll"
unix() { bench_unix_path "$1"; }
TEMP_DIR=$(unix "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
# The count of the shared file (a value name holding backslashes, read whole).
shared_count() { bench_reg query "$SHARED" /v "$SHARED_DLL" | grep -F "$SHARED_DLL    REG_DWORD" | awk '{print $NF}'; }

# run <log> <expected exit code> <driver commands after "start">...
run() {
  local log=$OUT/$1 expected=$2 command=$3
  shift 3
  timeout 120 wine "$QDRIVER" --timeout 90 "start $command" "$@" "exit $expected" >"$log" 2>&1
}
# uninstall <log> <folder> <expected exit code> <switches> [driver commands]:
# runs the product's uninstaller, then waits until its temporary copy has
# deleted it and scheduled its own deletion.
uninstall() {
  local log=$1 folder=$2 expected=$3 switches=$4
  shift 4
  run "$log" "$expected" "\"$folder\\uninst.exe\"${switches:+ $switches}" "$@"
  local rc=$? waited=0
  while [ -e "$(unix "$folder\\uninst.exe")" ] && [ $waited -lt 100 ]; do sleep 0.2; waited=$((waited + 1)); done
  for _ in 1 2 3 4 5 6 7 8 9 10; do pending | grep -qi '_uninst' && break; sleep 0.5; done
  return $rc
}
pending() { bench_reg query "$PENDING" /v PendingFileRenameOperations; }
# Ends the prefix's processes and its server, which writes the registry files.
settle() {
  timeout 30 wineserver -k >/dev/null 2>&1
  timeout 30 wineserver -w >/dev/null 2>&1
}
restart() {
  settle
  timeout 120 wine wineboot -r >/dev/null 2>&1
  wineserver -p
}
# snapshot <name>: the file tree of drive_c and the registry, one line per
# value under its key, without the lines Wine rewrites on its own.
snapshot() {
  settle
  (cd "$C" && find . -printf '%y %p\n' | sort) >"$OUT/$1.files"
  python3 - "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" >"$OUT/$1.reg" <<'PY'
import re, sys
lines = []
for path in sys.argv[1:]:
    key = None
    text = open(path, encoding="utf-8", errors="replace").read().replace("\\\n", "")
    for line in text.splitlines():
        if line.startswith("["):
            key = re.sub(r"\] \d+$", "]", line)  # the key's time of last change
            # A key is written only where it holds no subkey: its parents
            # are named here, so a subkey coming or going shows as itself.
            parts = key[1:-1].split("\\\\")
            lines.extend("[" + "\\\\".join(parts[:i]) + "]" for i in range(1, len(parts) + 1))
        elif key and line.strip() and not line.startswith("#time=") and not line.startswith(";;"):
            lines.append(key + " " + line.strip())
sys.stdout.write("".join(sorted(set(l + "\n" for l in lines))))
PY
  wineserver -p
}
# differs <before> <after> <allowed pattern>: lines of the two snapshots that
# differ, less those the allowance names.
differs() {
  local kind
  for kind in files reg; do
    diff "$OUT/$1.$kind" "$OUT/$2.$kind" | grep '^[<>]' | grep -Eiv -- "$3"
  done >"$OUT/$2.diff"
  [ ! -s "$OUT/$2.diff" ] || { sed 's/^/     | /' "$OUT/$2.diff" | head -n 30; return 1; }
}
# Wine's own: the display driver's date, rewritten at every start; the
# test component's notes.
VOLATILE='"DriverDateData"=|QuorinSelfRegProbe'
TEMP_REL=${TEMP_DIR#"$C"}
COPY_PENDING='"PendingFileRenameOperations"=str\(7\):"\\\\\?\?(\\\\[^\\"]+)+\\\\_uninst[0-9]*\.exe\\0\\0"$'
ALLOW_BEFORE_RESTART="$VOLATILE|^[<>] f \.${TEMP_REL//\\/\\\\}/_uninst[0-9]*\.exe$|$COPY_PENDING"

e2e_step "W: warm-up"
# Windows has the key of the shared files' counts; a setup adds to it only.
bench_reg add "$SHARED" /f >/dev/null
run w-install.log 0 "$(win "$work/W.exe") /Q"
e2e_check "the warm-up product installed" test $? -eq 0
uninstall w-uninstall.log "$PF\\Roundtrip W" 0 /Q
e2e_check "and was removed" test $? -eq 0
restart
snapshot before

e2e_step "Q: product A installed and removed quietly"
run a-install.log 0 "$(win "$work/A.exe") /Q"
e2e_check "A installed with /Q" test $? -eq 0
for f in uninst.exe app.exe docs/readme.txt docs/howto/guide.txt bin/probe.dll; do
  e2e_check "installed: $f" test -f "$(unix "$A")/$f"
done
programs=$(bench_reg_value "$FOLDERS" Programs)
desktop=$(bench_reg_value "$FOLDERS" Desktop)
for l in "$programs\\Roundtrip A\\App.lnk" "$programs\\Roundtrip A\\Extras\\App.lnk" "$desktop\\Roundtrip A.lnk"; do
  e2e_check "shortcut: $l" test -f "$(unix "$l")"
done
e2e_check "the uninstall entry starts the added uninstaller" \
  test "$(bench_reg_value "$UNINSTALL\\Roundtrip A" UninstallString)" = "$A\\uninst.exe"
e2e_check "the font is entered" test "$(bench_reg_value "$FONTS" 'Quorin Serif (TrueType)')" = QuorinSerif.ttf
e2e_check "the shared file is counted once" test "$(shared_count)" = 0x1
e2e_check "the component registered itself" test "$(bench_reg_value "$PROBE" Registered)" = "$A\\bin\\probe.dll"

"$QUORIN" list "$(unix "$A\\uninst.exe")" >"$OUT/list.txt" 2>"$OUT/list.err"
e2e_check "quorin list of the installed uninstaller exits 0" test $? -eq 0
tr -s ' ' <"$OUT/list.txt" >"$OUT/list-squeezed.txt"
for line in " .\\app.exe" " $desktop\\Roundtrip A.lnk" " .\\docs\\howto\\guide.txt" " .\\bin\\probe.dll (self-registering)" \
            " C:\\windows\\Fonts\\QuorinSerif.ttf (font)" " $SHARED_DLL (shared)" \
            " $programs\\Roundtrip A\\Extras\\App.lnk" \
            " HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Roundtrip A"; do
  e2e_check "the listing names$line" grep -qiFx -- "$line" "$OUT/list-squeezed.txt"
done
e2e_check "it would remove every record, and refuses none" \
  bash -c "grep -q 'would remove 10 recorded items\.$' '$OUT/list.txt' && ! grep -q 'left alone' '$OUT/list.txt'"

uninstall a-quiet.log "$A" 0 /Q
e2e_check "the quiet uninstall ended with 0" test $? -eq 0
e2e_check "the component was unregistered before its file went" \
  test "$(bench_reg_value "$PROBE" Unregistered)" = "$A\\bin\\probe.dll"
snapshot after-quiet
e2e_check "after the quiet uninstall the prefix is as before, less the allowance" \
  differs before after-quiet "$ALLOW_BEFORE_RESTART"

e2e_step "C: A beside B, removed through its confirmation while a file is held open"
run a2-install.log 0 "$(win "$work/A.exe") /Q"
e2e_check "A installed again" test $? -eq 0
run b-install.log 0 "$(win "$work/B.exe") /Q"
e2e_check "B installed" test $? -eq 0
e2e_check "the shared file is counted twice" test "$(shared_count)" = 0x2
held="$A\\docs\\howto\\guide.txt"
rm -f "$OUT/held.ready" "$OUT/held.release"
wine "$X64_BUILD/tests/win32/hold_file.exe" "$held" "$(win "$OUT/held.ready")" "$(win "$OUT/held.release")" \
  >/dev/null 2>&1 &
holder=$!
for _ in $(seq 1 100); do [ -e "$OUT/held.ready" ] && break; sleep 0.1; done
e2e_check "a file of A is held open" test -e "$OUT/held.ready"
uninstall a-confirm.log "$A" 3010 "" "msgbox IDYES" "msgbox IDOK"
e2e_check "the driver answered the confirmation; the run ends with 3010" test $? -eq 0
e2e_has_line "$OUT/a-confirm.log" \
  'msgbox text="Are you sure you want to remove Roundtrip A and all of its components from your computer?"'
e2e_has_line "$OUT/a-confirm.log" \
  'msgbox text="Roundtrip A was removed from your computer.\n\nSome files were in use. They will be removed when Windows restarts."'
e2e_check "the shared file stays" test -f "$(unix "$SHARED_DLL")"
e2e_check "with count 1" test "$(shared_count)" = 0x1
e2e_check "the held file waits for the restart" grep -qiF "$held" <(pending)
e2e_check "A's other files and its entry are gone" bash -c "[ ! -e '$(unix "$A\\app.exe")' ] && \
  [ ! -e '$(unix "$A\\uninst.exe")' ] && ! wine reg query '$UNINSTALL\\Roundtrip A' >/dev/null 2>&1"
: >"$OUT/held.release"
wait $holder
restart
e2e_check "after a simulated restart the held file is gone" test ! -e "$(unix "$held")"
e2e_check "and so is A's folder" test ! -e "$(unix "$A")"
uninstall b-quiet.log "$B" 0 /Q
e2e_check "B removed quietly" test $? -eq 0
e2e_check "its last count gone, the shared file is gone" test ! -e "$(unix "$SHARED_DLL")"
restart
snapshot after-restart
e2e_check "after both uninstalls and a restart the prefix is as before, less the allowance" \
  differs before after-restart "$VOLATILE"

echo "note: the test ran $((SECONDS - started)) s after the bench started"
e2e_finish
