#!/usr/bin/env bash
# The bundled examples, built with the x86_64 stub, start under wine64 and load
# their packages: the run ends with 0 and shows no message (a message box is
# modal and would keep the program running until the time limit).
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs src/quorin-stub.exe || exit 1
HOST_BUILD=${QUORIN_HOST_BUILD:-$E2E_SOURCE_DIR/build/host}
QUORIN=$HOST_BUILD/tools/quorin/quorin
[ -x "$QUORIN" ] || { echo "missing $QUORIN: build the host preset first" >&2; exit 1; }

bench_start || exit 1
for example in "$E2E_SOURCE_DIR"/examples/*/; do
  name=$(basename "$example")
  e2e_step "$name"
  setup=$OUT/$name/setup.exe
  mkdir -p "$OUT/$name"
  "$QUORIN" build "$example/project.toml" -o "$setup" --arch x64 -q >"$OUT/$name/build.log" 2>&1
  e2e_check "$name builds with the x86_64 stub" test $? -eq 0
  timeout 60 wine "$setup" >/dev/null 2>&1
  rc=$?
  _e2e_result $([ $rc -eq 0 ] && echo 0 || echo 1) "$name loads its package without a message (exit $rc)"
done
e2e_finish
