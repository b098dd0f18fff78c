#!/usr/bin/env bash
# quorin as a script drives it: list --json read back by a small program,
# list --table, diff and its exit statuses, extract's refusal to write over
# files, list of the uninstaller the build added and of damaged uninstall
# records behind it. Usage:
# quorin_script_test.sh QUORIN SOURCE_DIR UNINSTALL_RECORDS
set -u
quorin=$1
source_dir=$2
records=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/quorin-script.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}

cp -r "$source_dir/examples/hello" "$work/hello"
project=$work/hello/project.toml
"$quorin" build "$project" -o "$work/a/setup.exe" -q
"$quorin" build "$project" -o "$work/b/setup.exe" -q

"$quorin" diff "$work/a/setup.exe" "$work/b/setup.exe" >"$work/same.txt"
check "two builds of one project: diff exits 0" test $? -eq 0
check "two builds of one project: diff says they are the same" grep -q "are the same$" "$work/same.txt"

echo "One more line." >>"$work/hello/files/readme.txt"
sed -i 's/It installs a few text files/It installs some text files/' "$project"
"$quorin" build "$project" -o "$work/c/setup.exe" -q
"$quorin" diff "$work/a/setup.exe" "$work/c/setup.exe" >"$work/diff.txt"
check "a changed project: diff exits 1" test $? -eq 1
check "diff names the changed file" grep -q '^changed  file readme.txt: content, size 438 -> 453' "$work/diff.txt"
check "diff names the changed text" grep -q '^changed  text 1.1: .*few text files.* -> .*some text files' "$work/diff.txt"
check "diff counts what it found" grep -qx '2 differences' "$work/diff.txt"
"$quorin" diff "$work/a/setup.exe" "$project" >/dev/null 2>"$work/diff-err.txt"
check "diff with a file that is no setup exits 2" test $? -eq 2

"$quorin" extract "$work/c/setup.exe" -o "$work/x" >/dev/null
check "extract exits 0" test $? -eq 0
"$quorin" list --json "$work/c/setup.exe" >"$work/c.json"
check "list --json exits 0" test $? -eq 0
information=$(printf 'Hello World shows how a Quorin setup looks.\r\n\r\nIt installs some text files and nothing else.')
python3 "$source_dir/tests/unit/read_setup_json.py" "$work/c.json" "$work/x" 1.1 "$information"
check "the JSON listing, read back, matches the extracted files and the text" test $? -eq 0

"$quorin" list --table "$work/c/setup.exe" >"$work/table.txt"
check "list --table exits 0" test $? -eq 0
check "the table names the stub" grep -q ': i686 stub, 5 files in 3 folders, code page 1252$' "$work/table.txt"
check "the table has a line for readme.txt" grep -Eq '^readme\.txt +453 +[0-9]+ +[0-9.]+% +0x[0-9A-F]{8}$' "$work/table.txt"
check "the table totals the whole" grep -Eq '^total \(5 files\) +[0-9]+ ' "$work/table.txt"

echo "not mine" >"$work/x/readme.txt"
"$quorin" extract "$work/c/setup.exe" -o "$work/x" >/dev/null 2>"$work/refused.txt"
check "extract over existing files exits 2" test $? -eq 2
check "and says why" grep -q 'nothing was extracted (--force writes over them)' "$work/refused.txt"
check "and leaves the file as it was" grep -qx 'not mine' "$work/x/readme.txt"
"$quorin" extract "$work/c/setup.exe" -o "$work/x" --force >/dev/null
check "extract --force exits 0" test $? -eq 0
check "extract --force wrote the file" cmp -s "$work/x/readme.txt" "$work/hello/files/readme.txt"
check "no temporary file is left" test -z "$(find "$work/x" -name '.*quorin-*')"

# The example asks for an uninstall entry: the build added the uninstaller.
"$quorin" list "$work/x/uninst.exe" >"$work/uninst.txt"
check "list of the added uninstaller exits 0" test $? -eq 0
check "it is the i686 uninstaller, which no setup has written to yet" \
  grep -q 'i686 uninstaller of .*No setup has written uninstall data' <(tr '\n' ' ' <"$work/uninst.txt")
"$quorin" list --json "$work/x/uninst.exe" | python3 -c '
import json, sys
d = json.load(sys.stdin)
assert d["uninstaller"]["architecture"] == "i686" and [r["name"] for r in d["records"]] == ["end"], d'
check "its JSON listing holds only the end record" test $? -eq 0
"$quorin" verify "$work/x/uninst.exe" >/dev/null 2>"$work/verify-uninst.txt"
check "verify of an uninstaller exits 2" test $? -eq 2
check "and says it is an uninstaller, which list shows" grep -q "it is an uninstaller" "$work/verify-uninst.txt"

# Damaged records behind the uninstaller: every refused record and entry is
# named with its offset and reason; the intact ones are listed.
cp "$work/x/uninst.exe" "$work/hostile.exe"
printf '%s\n' 'files' 'file|0|.|ok.txt' 'file|0|.\..\..|boot.ini' 'file|0|.|sub\x.txt' 'file|3|C:\WINDOWS\Fonts|f.ttf' \
  'shortcuts' 'shortcut|.|y.lnk' 'shortcut|C:\elsewhere|y.txt' 'key|80000002|Software\Other' 'end' >"$work/hostile-layout.txt"
"$records" write "$work/hostile.exe" "$work/hostile-layout.txt" >"$work/hostile.records"
"$quorin" list "$work/hostile.exe" >"$work/hostile.txt" 2>"$work/hostile.err"
check "list of damaged uninstall records exits 1" test $? -eq 1
at() { awk -v tag="$1" '$2 == tag {print $3}' "$work/hostile.records" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }
for said in "record 0x1235 (files) at offset $(at 1235), entry 1 (.\\..\\..\\boot.ini): its folder climbs out with" \
            "record 0x1235 (files) at offset $(at 1235), entry 2 (.\\sub\\x.txt): not a plain file name" \
            "record 0x1236 (shortcuts) at offset $(at 1236), entry 0 (.\\y.lnk): a shortcut lies in the Start menu" \
            "record 0x1236 (shortcuts) at offset $(at 1236), entry 1 (C:\\elsewhere\\y.txt): not a shortcut file" \
            "record 0x1238 (uninstall entry) at offset $(at 1238): not a key of the system's list"; do
  check "the refusal says: $said" grep -qF -- "$said" "$work/hostile.err"
done
check "the intact entries are listed with their flags" grep -qE '^ +C:\\WINDOWS\\Fonts\\f\.ttf  \(shared, font\)$' "$work/hostile.txt"
check "and counted" grep -q 'would remove 2 recorded items and leave the damaged ones alone' "$work/hostile.txt"
"$quorin" list --json "$work/hostile.exe" | python3 -c '
import json, sys
d = json.load(sys.stdin)
refused = [e["refused"] for r in d["records"] for e in r.get("entries", []) if e["refused"]]
assert len(refused) == 4 and len(d["problems"]) == 5, d'
check "the JSON listing marks the same entries refused" test $? -eq 0
head -c "$(awk '$2 == 1238 {print $3}' "$work/hostile.records")" "$work/hostile.exe" >"$work/cut.exe"
"$quorin" list "$work/cut.exe" >/dev/null 2>"$work/cut.err"
check "cut before the key record: exits 1" test $? -eq 1
check "and says where the data ends" grep -q "offset $(at 1238): the uninstall data ends before its end record" "$work/cut.err"

"$quorin" list --codepage 99999 "$work/c/setup.exe" >/dev/null 2>&1
check "an unknown --codepage exits 2" test $? -eq 2

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
