#!/usr/bin/env bash
# The bundled examples start under Wine, load their packages and open their
# wizards on the welcome page; Escape and Yes cancel, and the closing page's
# Cancel ends the run with 0. Where the bench runs the i686 stub, the x86_64
# stub is tried as well, which guards the pointer-size clean code.
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
    timeout 90 wine "$QDRIVER" --timeout 30 "start $(winepath -w "$setup")" "window class=QuorinClass" \
      "expect 1000 contains=Welcome" "key Escape" "msgbox IDYES" "msgbox IDOK" "click IDCANCEL" "exit 0" \
      >"$OUT/$arch/$name/run.log" 2>&1
    e2e_check "$name opens its wizard, cancels and ends with 0" test $? -eq 0
  done
done
e2e_finish
