# Shared pieces of the end-to-end tests: where the builds are, a bench, and
# small checks that count failures and say what was expected. Source it.
#   X64_BUILD   the x64 build folder (QUORIN_X64_BUILD, else build/x64): the
#               test driver and the helper programs come from there
#   I686_BUILD  the i686 build folder (QUORIN_I686_BUILD, else build/i686)
#   QUORIN      the host build's quorin tool
#   OUT         where logs and screenshots of this test stay (QUORIN_E2E_OUT)
# After e2e_start_bench: STUB_ARCH (i686 where the bench runs 32-bit programs,
# else x64), STUB_BUILD and STUB, the stub under test.

E2E_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
X64_BUILD=${QUORIN_X64_BUILD:-$E2E_SOURCE_DIR/build/x64}
I686_BUILD=${QUORIN_I686_BUILD:-$E2E_SOURCE_DIR/build/i686}
HOST_BUILD=${QUORIN_HOST_BUILD:-$E2E_SOURCE_DIR/build/host}
QUORIN=$HOST_BUILD/tools/quorin/quorin
QDRIVER=$X64_BUILD/tests/driver/qdriver.exe
E2E_NAME=$(basename "$0" .sh)
OUT=${QUORIN_E2E_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/$E2E_NAME.XXXXXX")}
# Nothing of an earlier run may stand in for this one's results; only a
# folder that an earlier run marked as its own is emptied.
if [ -f "$OUT/.e2e-out" ]; then
  rm -rf "$OUT"
fi
mkdir -p "$OUT" && touch "$OUT/.e2e-out"
E2E_FAILURES=0
E2E_CHECKS=0

source "$E2E_SOURCE_DIR/scripts/wine-bench.sh"

e2e_need_x64_outputs() {
  local missing=0 f
  for f in "$@"; do
    if [ ! -f "$X64_BUILD/$f" ]; then
      echo "$E2E_NAME: missing $X64_BUILD/$f: build the x64 preset first" \
           "(cmake --preset x64 && cmake --build build/x64), or set QUORIN_X64_BUILD" >&2
      missing=1
    fi
  done
  return $missing
}

# e2e_start_bench: starts the bench and picks the stub the test runs: the
# i686 release target wherever the bench runs 32-bit programs.
e2e_start_bench() {
  bench_start || return 1
  STUB_ARCH=$BENCH_STUB_ARCH
  if [ "$STUB_ARCH" = i686 ]; then STUB_BUILD=$I686_BUILD; else STUB_BUILD=$X64_BUILD; fi
  STUB=$STUB_BUILD/src/quorin-stub.exe
  if [ ! -f "$STUB" ]; then
    echo "$E2E_NAME: missing $STUB: build the $STUB_ARCH preset first" >&2
    return 1
  fi
  [ -x "$QUORIN" ] || { echo "$E2E_NAME: missing $QUORIN: build the host preset first" >&2; return 1; }
  if [ "$STUB_ARCH" = i686 ]; then
    echo "$E2E_NAME: testing the i686 stub"
  else
    echo "$E2E_NAME: testing the x86_64 stub; the i686 stub was not run: $BENCH_NO_I686_REASON"
  fi
}

# e2e_build <project.toml> <setup.exe> [quorin options...]: a setup file with
# the stub under test; the build's log goes beside it.
e2e_build() {
  local project=$1 setup=$2
  shift 2
  "$QUORIN" build "$project" -o "$setup" --arch "$STUB_ARCH" "$@" >"$setup.build.log" 2>&1 || {
    echo "$E2E_NAME: building $setup failed:"
    cat "$setup.build.log"
    return 1
  }
}

# win <unix path>: the Windows name of a file of the bench.
win() { winepath -w "$1" 2>/dev/null; }

# e2e_drive <log> <driver commands...>: runs the driver, its output in
# $OUT/<log>. When it fails, shows the end of the log and ends the Wine
# server: a setup left running would answer the next driver, and ending the
# server carries out pending renames, as a restart would.
e2e_drive() {
  local log=$OUT/$1
  shift
  timeout 240 wine "$QDRIVER" --timeout 40 "$@" >"$log" 2>&1
  local rc=$?
  if [ $rc -ne 0 ]; then
    grep -v '^dump' "$log" | sed 's/^/     | /' | tail -n 8
    timeout 20 wineserver -k; timeout 20 wineserver -w; wineserver -p
  fi
  return $rc
}

# e2e_quiet <log> <expected exit code> <program and arguments>: a run to its
# end through the driver, its output in $OUT/<log>.
e2e_quiet() {
  local log=$OUT/$1 expected=$2
  shift 2
  timeout 120 wine "$QDRIVER" --timeout 90 "start $*" "exit $expected" >"$log" 2>&1
}

# e2e_quorin_serif <file.ttf>: a TrueType font the system does not know yet,
# "Quorin Serif": DejaVu Serif under another family name of the same length.
e2e_quorin_serif() {
  local font=/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf
  [ -f "$font" ] || { echo "missing $font (fonts-dejavu-core)" >&2; return 1; }
  python3 - "$font" "$1" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
for i in range(struct.unpack(">H", data[4:6])[0]):
    tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
    if tag == b"name":
        table = data[offset:offset + length]
        for old, new in ((b"DejaVu", b"Quorin"), ("DejaVu".encode("utf-16-be"), "Quorin".encode("utf-16-be"))):
            table = table.replace(old, new)
        data[offset:offset + length] = table
open(sys.argv[2], "wb").write(data)
PY
}

e2e_step() { echo "--- $*"; }

_e2e_result() {
  local ok=$1 what=$2
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if [ "$ok" -eq 0 ]; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

# e2e_check <description> <command...>: the command must succeed.
e2e_check() {
  local what=$1
  shift
  "$@" >/dev/null 2>&1
  _e2e_result $? "$what"
}

# e2e_has_line <log> <line>: the log holds exactly this line.
e2e_has_line() {
  local log=$1 line=$2
  grep -qFx -- "$line" "$log"
  local rc=$?
  _e2e_result $rc "$(basename "$log"): $line"
  if [ $rc -ne 0 ]; then
    echo "     the log was:"
    sed 's/^/     | /' "$log" | head -n 60
  fi
}

# e2e_has_prefix <log> <start>: some line of the log begins with this.
e2e_has_prefix() {
  local log=$1 start=$2
  local found=1 line
  while IFS= read -r line; do
    if [ "${line#"$start"}" != "$line" ]; then found=0; break; fi
  done <"$log"
  _e2e_result $found "$(basename "$log"): $start..."
  if [ $found -ne 0 ]; then
    echo "     the log was:"
    sed 's/^/     | /' "$log" | head -n 60
  fi
}

# e2e_wait_for_line <file> <line> <seconds>: for handing over between a
# driver running in the background and the shell.
e2e_wait_for_line() {
  local file=$1 line=$2 seconds=$3
  local waited=0
  while [ $waited -lt $((seconds * 10)) ]; do
    if [ -f "$file" ] && grep -qFx -- "$line" "$file"; then return 0; fi
    sleep 0.1
    waited=$((waited + 1))
  done
  echo "$E2E_NAME: '$line' did not appear in $file within $seconds s" >&2
  return 1
}

# Ends the test: the bench is stopped by its exit trap.
e2e_finish() {
  echo "$E2E_NAME: $((E2E_CHECKS - E2E_FAILURES)) of $E2E_CHECKS checks passed${STUB_ARCH:+ on the $STUB_ARCH stub}; logs in $OUT"
  [ $E2E_FAILURES -eq 0 ]
  exit $?
}
