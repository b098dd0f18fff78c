#!/usr/bin/env bash
# The painted background under Wine, read back from screenshots: a harness
# window paints itself with the stub's background painting and
# tools/paint_check compares the pixels with the rules.
#   - Default Windows version (more than 8 bits per pixel): the dithered
#     gradient in 8-row bands over the full screen; the title twice, the
#     shadow 4 pixels right of and below the second pass; tiles of a 24-bit
#     100 x 100 bitmap (8 x 6 on 800 x 600), of the same bitmap stored
#     top-down, and of an 8-bit 300 x 250 bitmap with its palette (3 x 3); a
#     damaged bitmap record leaves the gradient.
#   - nt40: the gradient in solid rows, full screen and on 800 x 600.
# Each path must also fail the other path's check, so the checks tell them apart.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_need_x64_outputs tests/win32/paint_harness.exe || exit 1
HARNESS=$X64_BUILD/tests/win32/paint_harness.exe
CHECK=${QUORIN_HOST_BUILD:-$E2E_SOURCE_DIR/build/host}/tests/e2e/paint_check
if [ ! -x "$CHECK" ]; then
  echo "$E2E_NAME: missing $CHECK: build the host preset first" >&2
  exit 1
fi

e2e_step "pictures"
pictures=$OUT/pictures
mkdir -p "$pictures"
# A 24-bit tile with a mark in its top-left corner, so a shifted or flipped
# tiling shows; the same tile stored top-down; an 8-bit tile with a palette;
# a record whose height claims far more rows than it holds.
convert -size 100x100 gradient:'#203060'-'#e0c040' -swirl 120 \
  -fill '#10f080' -draw 'rectangle 0,0 14,5' -type truecolor BMP3:"$pictures/tile24.bmp"
python3 - "$pictures" <<'PY'
import struct, sys
folder = sys.argv[1]
data = bytearray(open(folder + "/tile24.bmp", "rb").read())
width, height = struct.unpack_from("<ii", data, 18)
start = struct.unpack_from("<I", data, 10)[0]
stride = (width * 3 + 3) & ~3
rows = [data[start + r * stride:start + (r + 1) * stride] for r in range(height)]
topdown = bytearray(data[:start]) + b"".join(reversed(rows))
struct.pack_into("<i", topdown, 22, -height)
open(folder + "/tile24-topdown.bmp", "wb").write(topdown)
damaged = bytearray(data)
struct.pack_into("<i", damaged, 22, 0x7FFFFFFF)
open(folder + "/damaged.bmp", "wb").write(damaged)
PY
convert rose: -resize '300x250!' -colors 200 -type palette -compress none BMP3:"$pictures/tile8.bmp"
convert "$pictures/tile24.bmp" "$pictures/tile24.ppm"
convert "$pictures/tile8.bmp" "$pictures/tile8.ppm"
e2e_check "the 8-bit tile has 8 bits per pixel" \
  bash -c "[ \"\$(od -An -tu2 -j28 -N2 '$pictures/tile8.bmp' | tr -d ' ')\" = 8 ]"

bench_start || exit 1

# paint <scene> [harness arguments...]: runs the harness, waits until it has
# painted, takes the screenshot ($OUT/<scene>.png and .ppm) and sets CLIENT to
# the client rectangle X,Y,W,H on the screen.
paint() {
  local scene=$1
  shift
  e2e_step "$scene"
  local log=$OUT/$scene.log flag=$OUT/$scene.go
  rm -f "$flag"
  : >"$log"
  timeout 120 wine "$HARNESS" --ready-file "$(winepath -w "$flag" 2>/dev/null)" "$@" >"$log" 2>"$OUT/$scene.err" &
  local pid=$!
  if e2e_wait_for_line "$log" ready 60; then
    sleep 1  # let the X server finish drawing
    bench_screenshot "$OUT/$scene.png" && convert "$OUT/$scene.png" "$OUT/$scene.ppm"
  fi
  touch "$flag"
  wait $pid
  local rc=$?
  CLIENT=$(awk '/^client /{print $2","$3","$4","$5}' "$log")
  e2e_check "$scene: the harness painted ($(grep '^display' "$log")) and ended" \
    test $rc -eq 0 -a -n "$CLIENT" -a -f "$OUT/$scene.ppm"
}

# holds <scene> <check...>: paint_check must pass on the scene's screenshot.
holds() {
  local scene=$1
  shift
  "$CHECK" "$OUT/$scene.ppm" --client "$CLIENT" "$@" >"$OUT/$scene.check" 2>&1
  local rc=$?
  grep -v '^PASS$' "$OUT/$scene.check" | sed 's/^/     /'
  _e2e_result $rc "$scene: $*"
}

# fails <scene> <check...>: paint_check must find faults (exit code 1).
fails() {
  local scene=$1
  shift
  "$CHECK" "$OUT/$scene.ppm" --client "$CLIENT" "$@" >"$OUT/$scene.refused" 2>&1
  _e2e_result $([ $? -eq 1 ]; echo $?) "$scene: not $*"
}

red=255,0,0
yellow=255,255,0

paint dithered
holds dithered gradient dithered
fails dithered gradient banded

paint title --title "Quorin Setup"
holds title title $red $yellow 4
fails title title $red $yellow 3
fails title title $red $yellow 5

paint tiles24 --rect 40,30,800,600 --bitmap "$(winepath -w "$pictures/tile24.bmp")"
holds tiles24 tiles "$pictures/tile24.ppm"
e2e_has_prefix "$OUT/tiles24.check" "tiles of 100 x 100 on 800 x 600: 8 x 6 tiles"

paint tiles24-topdown --rect 40,30,800,600 --bitmap "$(winepath -w "$pictures/tile24-topdown.bmp")"
holds tiles24-topdown tiles "$pictures/tile24.ppm"

paint tiles8 --rect 40,30,800,600 --bitmap "$(winepath -w "$pictures/tile8.bmp")"
holds tiles8 tiles "$pictures/tile8.ppm"
e2e_has_prefix "$OUT/tiles8.check" "tiles of 300 x 250 on 800 x 600: 3 x 3 tiles"

paint damaged --bitmap "$(winepath -w "$pictures/damaged.bmp")"
holds damaged gradient dithered

bench_set_version nt40 || exit 1
paint banded
e2e_has_line "$OUT/banded.log" "display bits=32 nt4=1"
holds banded gradient banded
fails banded gradient dithered

paint banded600 --rect 40,30,800,600
holds banded600 gradient banded
e2e_has_line "$OUT/banded600.check" "banded gradient of 600 rows: row 0 blue 255, row 300 blue 192, row 599 blue 1"

e2e_finish
