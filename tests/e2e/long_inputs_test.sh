#!/usr/bin/env bash
# Inputs of about 300 characters under Wine: nothing is used cut, where a cut
# would name another folder or file.
#   remembered  a remembered folder longer than 259 characters counts as
#               absent and the default folder is used, though its first 259
#               characters name a file in an existing folder: a registry text
#               of 300, a binary value of 260 bytes without a NUL, an INI
#               value of 300; an INI value of 259 still counts
#   entry       an entry whose destination passes 259 characters stops the
#               installation with error 17 naming the path, cut for display;
#               no file is written under the cut name
#   switches    /T or /L of 300 characters: an unattended run ends with 1603
#               and installs nothing; the wizard ignores /T and offers the
#               default folder
#   /S          keeps its cut: /S with a path of 300 characters whose first
#               259 name a setup file reads that setup
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/driver/qdriver.exe || exit 1
e2e_start_bench || exit 1
wineserver -p

work=$OUT/files
mkdir -p "$work/src"
printf 'one\r\n' >"$work/src/one.txt"
printf 'other\r\n' >"$work/src/other.txt"
longName=$(printf '%*s' 90 '' | tr ' ' n).txt
cp "$work/src/one.txt" "$work/src/$longName"
project() {  # project <name> <file lines...>
  local name=$1
  shift
  cat >"$work/$name.toml" <<EOF
[setup]
title = "Long Test"
folder = "C:\\\\LongTest\\\\Default"
mode = "framed"

[remember]
registry = { root = "HKCU", key = "Software\\\\QuorinLong", value = "Folder" }
ini = { file = "quorinlong.ini", section = "Long", key = "Folder" }

[texts]
information = ""

$(printf '%s\n' "$@")
EOF
  e2e_build "$work/$name.toml" "$work/$name.exe"
}
project plain '[[file]]' 'source = "src/one.txt"' || exit 1
project other '[[file]]' 'source = "src/other.txt"' || exit 1
project entry '[[file]]' 'source = "src/one.txt"' '[[file]]' "source = \"src/$longName\"" \
  "destination = \"sub\\\\$longName\"" || exit 1
C=$WINEPREFIX/drive_c
# fill <prefix> <length>: the prefix followed by y up to the length.
fill() { printf '%s%s' "$1" "$(printf '%*s' $(($2 - ${#1})) '' | tr ' ' y)"; }
# Each run starts from no remembered folder and no installed files.
reset() {
  wine reg delete 'HKCU\Software\QuorinLong' /f >/dev/null 2>&1
  rm -f "$C/windows/quorinlong.ini"
  rm -rf "$C/LongTest/Default" "$C/LongTest/Existing"/* "$C/LongTest/FromS" "$C/LongTest/Entry"
  mkdir -p "$C/LongTest/Existing"
}
ini() { printf '[Long]\r\nFolder=%s\r\n' "$1" >"$C/windows/quorinlong.ini"; }
inDefault() { cmp -s "$work/src/one.txt" "$C/LongTest/Default/one.txt" && [ ! -e "$C/LongTest/Existing/one.txt" ]; }

e2e_step "remembered folders that do not fit"
existing='C:\LongTest\Existing\tool.'
reset
wine reg add 'HKCU\Software\QuorinLong' /v Folder /d "$(fill "$existing" 300)" /f >/dev/null 2>&1
e2e_quiet reg300.log 0 "$(win "$work/plain.exe") /Q"
e2e_check "a registry text of 300 characters counts as absent" inDefault
reset
hex=$(fill "$existing" 260 | od -An -tx1 | tr -d ' \n')
wine reg add 'HKCU\Software\QuorinLong' /v Folder /t REG_BINARY /d "$hex" /f >/dev/null 2>&1
e2e_quiet reg260.log 0 "$(win "$work/plain.exe") /Q"
e2e_check "a binary value of 260 bytes without a NUL counts as absent" inDefault
reset
ini "$(fill "$existing" 300)"
e2e_quiet ini300.log 0 "$(win "$work/plain.exe") /Q"
e2e_check "an INI value of 300 characters counts as absent" inDefault
reset
ini "$(fill "$existing" 259)"
e2e_quiet ini259.log 0 "$(win "$work/plain.exe") /Q"
e2e_check "an INI value of 259 characters naming a file counts for its folder" \
  cmp -s "$work/src/one.txt" "$C/LongTest/Existing/one.txt"

e2e_step "an entry whose destination passes 259 characters"
reset
target=$(fill 'C:\LongTest\Entry\' 180)
e2e_quiet entry.log 1603 "$(win "$work/entry.exe") /Q /T $target /L C:\\LongTest\\entry.log"
e2e_check "the run ends with 1603" test $? -eq 0
tr -d '\r' <"$C/LongTest/entry.log" >"$OUT/entry-run.log"
full="$target\\sub\\$longName"
e2e_check "the path passes 259 characters (${#full})" test ${#full} -gt 259
e2e_has_prefix "$OUT/entry-run.log" "error 17: "
shown=$(sed -n 's/^error 17: //p' "$OUT/entry-run.log")
e2e_check "error 17 names the path, cut for display" \
  bash -c '[[ "$1" == *"$2"* && "$1" != *"$3"* ]]' _ "$shown" "${full:0:250}" "$full"
e2e_check "the first file was installed" cmp -s "$work/src/one.txt" "$(find "$C/LongTest/Entry" -name one.txt | head -n 1)"
e2e_check "nothing was written under a cut name" \
  test "$(find "$C/LongTest/Entry" -type f ! -name one.txt | wc -l)" = 0

e2e_step "/T and /L of 300 characters"
reset
e2e_quiet t300.log 1603 "$(win "$work/plain.exe") /Q /T $(fill 'C:\LongTest\Default\' 300) /L C:\\LongTest\\t300.log"
e2e_check "/Q with /T of 300 characters ends with 1603" test $? -eq 0
tr -d "\r" <"$C/LongTest/t300.log" >"$OUT/t300-run.log"
e2e_has_prefix "$OUT/t300-run.log" "error: a folder or file given with /T or /L passes 259 characters"
e2e_check "and installs nothing" test ! -e "$C/LongTest/Default"
reset
e2e_quiet l300.log 1603 "$(win "$work/plain.exe") /Q /L $(fill 'C:\LongTest\' 300)"
e2e_check "/Q with /L of 300 characters ends with 1603 and installs nothing" \
  bash -c '[ $1 -eq 0 ] && [ ! -e "$2" ]' _ $? "$C/LongTest/Default"
reset
timeout 120 wine "$QDRIVER" --timeout 30 "start $(win "$work/plain.exe") /T $(fill 'C:\LongTest\Typed\' 300)" \
  "window class=QuorinClass" "click 1" 'expect title "Long Test Setup - Choose Destination Location"' \
  'expect 1004 "C:\LongTest\Default"' "click IDCANCEL" "msgbox IDYES" "msgbox IDOK" "click IDCANCEL" \
  "exit 0" >"$OUT/wizard-t300.log" 2>&1
e2e_check "the wizard ignores /T of 300 characters and offers the default folder" test $? -eq 0

e2e_step "/S keeps its cut at 259 characters"
reset
deepBase=$work/s
mkdir -p "$deepBase"
baseWin=$(win "$deepBase")
deep=$(printf '%*s' $((259 - ${#baseWin} - 1 - 10)) '' | tr ' ' d)
mkdir -p "$deepBase/$deep"
cp "$work/other.exe" "$deepBase/$deep/setup.exe"
sPath=$(win "$deepBase/$deep/setup.exe" | tr -d '\n')
e2e_check "the setup's path has 259 characters" test ${#sPath} -eq 259
e2e_quiet s300.log 0 "$(win "$work/plain.exe") /Q /T C:\\LongTest\\FromS /S $sPath$(printf '%*s' 41 '' | tr ' ' x)"
e2e_check "/S of 300 characters reads the setup its first 259 name" \
  cmp -s "$work/src/other.txt" "$C/LongTest/FromS/other.txt"

e2e_finish
