#!/usr/bin/env bash
# Unattended installs (/Q, /T, /L) under Wine, with the exit codes an
# installer host reads (the driver reads them whole; Wine's own exit status
# keeps only their low byte):
#   0 installed, the files in place; /T puts them into the given folder;
#   3010 when a file waits for the restart; 1603 for a damaged stream, with the
#   log naming the file and error 21; 1603 at once for a missing volume, no
#   prompt; 1618 for a second unattended setup while one runs; from a floppy
#   the relaunched copy gets /Q, /T and /L and its exit code is the run's;
#   /L logs every entry with or without /Q, and /T chooses the wizard's
#   folder as well
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe tests/win32/hold_file.exe tests/win32/first_instance.exe || exit 1
e2e_start_bench || exit 1
wineserver -p

work=$OUT/files
mkdir -p "$work/src/sub" "$work/vol"
printf 'one\r\n' >"$work/src/one.txt"
printf 'two\r\n' >"$work/src/sub/two.txt"
head -c 300000 /dev/urandom >"$work/src/big.bin"
cat >"$work/project.toml" <<'EOF'
[setup]
title = "Quiet Test"
folder = "C:\\QuietTest\\Default"

[[file]]
source = "src/one.txt"
[[file]]
source = "src/sub/two.txt"
destination = "sub\\two.txt"
[[file]]
source = "src/big.bin"
EOF
e2e_build "$work/project.toml" "$work/setup.exe" || exit 1
e2e_build "$work/project.toml" "$work/vol/SETUP.EXE" --volume-size 120000 || exit 1
C=$WINEPREFIX/drive_c
installed() {
  cmp -s "$work/src/one.txt" "$1/one.txt" && cmp -s "$work/src/sub/two.txt" "$1/sub/two.txt" &&
    cmp -s "$work/src/big.bin" "$1/big.bin"
}

e2e_step "installed"
e2e_quiet plain.log 0 "$(win "$work/setup.exe") /Q /L C:\\quiet.log"
e2e_check "/Q installs and ends with 0" test $? -eq 0
e2e_check "the files are in the default folder" installed "$C/QuietTest/Default"
tr -d '\r' <"$C/quiet.log" >"$OUT/quiet.log"
for line in "destination: C:\\QuietTest\\Default\\" "installed (33%): C:\\QuietTest\\Default\\one.txt" \
            "installed (66%): C:\\QuietTest\\Default\\sub\\two.txt" "installed (100%): C:\\QuietTest\\Default\\big.bin" \
            "closing work: done" "result: installed (exit code 0)"; do
  e2e_has_line "$OUT/quiet.log" "$line"
done
e2e_quiet target.log 0 "$(win "$work/setup.exe") -q -t \"C:\\Quiet Target\\Here\""
e2e_check "/T puts the files into the given folder" installed "$C/Quiet Target/Here"

e2e_step "a restart is needed"
rm -f "$OUT/held.ready" "$OUT/held.release"
printf 'other\r\n' >"$C/QuietTest/Default/one.txt"
wine "$X64_BUILD/tests/win32/hold_file.exe" "$(win "$C/QuietTest/Default/one.txt")" "$(win "$OUT/held.ready")" \
  "$(win "$OUT/held.release")" read >/dev/null 2>&1 &
holder=$!
for i in $(seq 1 100); do [ -e "$OUT/held.ready" ] && break; sleep 0.1; done
e2e_quiet restart.log 3010 "$(win "$work/setup.exe") /Q /L C:\\restart.log"
e2e_check "a file in use: the run ends with 3010" test $? -eq 0
: >"$OUT/held.release"
wait $holder
e2e_check "the log says the file waits for the restart" \
  grep -q 'waits for the next restart (33%): C:\\QuietTest\\Default\\one.txt' <(tr -d '\r' <"$C/restart.log")

e2e_step "failures"
offset=$("$QUORIN" list --json "$work/setup.exe" | python3 -c '
import json, sys
d = json.load(sys.stdin)
print(d["data_area"]["offset"] + 4 + d["files"][0]["packed"] + d["files"][1]["packed"])')
cp "$work/setup.exe" "$work/damaged.exe"
b=$(od -An -tu1 -j "$offset" -N1 "$work/damaged.exe" | tr -d ' ')
printf "$(printf '\\%03o' $((b ^ 6)))" | dd of="$work/damaged.exe" bs=1 seek="$offset" conv=notrunc status=none
e2e_quiet damaged.log 1603 "$(win "$work/damaged.exe") /Q /T C:\\QuietDamaged /L C:\\damaged.log"
e2e_check "a damaged stream ends with 1603" test $? -eq 0
tr -d '\r' <"$C/damaged.log" >"$OUT/damaged.log"
e2e_has_prefix "$OUT/damaged.log" "stopped the installation (100%): C:\\QuietDamaged\\big.bin"
e2e_has_prefix "$OUT/damaged.log" "error 21: The file C:\\QuietDamaged\\big.bin was not installed correctly"
e2e_has_line "$OUT/damaged.log" "result: failed (exit code 1603)"
mv "$work/vol/SETUP.D01" "$work/SETUP.D01.away"
e2e_quiet volume.log 1603 "$(win "$work/vol/SETUP.EXE") /Q /T C:\\QuietVolume /L C:\\volume.log"
e2e_check "a missing volume ends at once with 1603, no prompt" test $? -eq 0
e2e_has_prefix "$OUT/volume.log" "exit 1603"
e2e_check "the log has the prompt and its answer" grep -q '^answered: cancel' <(tr -d '\r' <"$C/volume.log")
mv "$work/SETUP.D01.away" "$work/vol/SETUP.D01"

e2e_step "another setup running"
wine "$X64_BUILD/tests/win32/first_instance.exe" >/dev/null 2>&1 &
first=$!
timeout 60 wine "$QDRIVER" --timeout 30 "window class=QuorinClass" >/dev/null 2>&1
e2e_quiet second.log 1618 "$(win "$work/setup.exe") /Q"
e2e_check "a second unattended setup ends with 1618" test $? -eq 0
kill $first 2>/dev/null; wait $first 2>/dev/null

e2e_step "from a floppy disk"
mkdir -p "$OUT/floppy"
cp "$work/vol/"SETUP.* "$OUT/floppy/"
bench_floppy "$OUT/floppy" || exit 1
wineserver -p
e2e_quiet floppy.log 0 "A:\\SETUP.EXE /Q /T C:\\QuietFloppy /L C:\\floppy.log"
e2e_check "the relaunched copy installs unattended and its exit code is the run's" test $? -eq 0
e2e_check "into the folder given with /T" installed "$C/QuietFloppy"
e2e_check "and keeps the log given with /L" grep -q '^result: installed (exit code 0)' <(tr -d '\r' <"$C/floppy.log")

e2e_step "a log of a run with the wizard"
timeout 120 wine "$QDRIVER" --timeout 40 "start $(win "$work/setup.exe") /L C:\\wizard.log /T C:\\QuietWizard" \
  "window class=QuorinClass" "click 1" "click 1" "msgbox IDYES" "click 1" \
  'expect 0 "Setup Complete"' "click 1" "click IDCANCEL" "exit 0" >"$OUT/wizard.log" 2>&1
e2e_check "the wizard ran" test $? -eq 0
tr -d '\r' <"$C/wizard.log" >"$OUT/wizard-run.log"
e2e_check "/L without /Q logs every entry" test "$(grep -c '^installed (' "$OUT/wizard-run.log")" = 3
e2e_has_line "$OUT/wizard-run.log" "result: installed (exit code 0)"
e2e_check "/T chose the wizard's folder too" installed "$C/QuietWizard"

e2e_finish
