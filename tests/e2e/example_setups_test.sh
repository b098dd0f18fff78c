#!/usr/bin/env bash
# The bundled examples start under Wine and load their packages: the run ends
# with 0 and shows no message (a message box is modal and would keep the
# program running until the time limit). Where the bench runs the i686 stub,
# the x86_64 stub is tried as well, which guards the pointer-size clean code.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs src/quorin-stub.exe || exit 1
e2e_start_bench || exit 1
arches=$STUB_ARCH
[ "$STUB_ARCH" = i686 ] && arches="i686 x64"
for arch in $arches; do
  for example in "$E2E_SOURCE_DIR"/examples/*/; do
    name=$(basename "$example")
    e2e_step "$name, $arch stub"
    setup=$OUT/$arch/$name/setup.exe
    mkdir -p "$OUT/$arch/$name"
    "$QUORIN" build "$example/project.toml" -o "$setup" --arch "$arch" -q >"$OUT/$arch/$name/build.log" 2>&1
    e2e_check "$name builds with the $arch stub" test $? -eq 0
    timeout 60 wine "$setup" >/dev/null 2>&1
    rc=$?
    _e2e_result $([ $rc -eq 0 ] && echo 0 || echo 1) "$name loads its package without a message (exit $rc)"
  done
done
e2e_finish
