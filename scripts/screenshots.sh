#!/usr/bin/env bash
# Captures every page of the wizard in both looks under Wine: the hello
# example in background mode, the custom example in a frame. The pictures go
# to docs/screenshots/ as small PNG files; the README shows them. Re-run it
# whenever a page changes: scripts/screenshots.sh (after scripts/build.sh).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/docs/screenshots
QUORIN=$root/build/host/tools/quorin/quorin
QDRIVER=$root/build/x64/tests/driver/qdriver.exe
[ -x "$QUORIN" ] && [ -f "$QDRIVER" ] || { echo "screenshots: run scripts/build.sh first"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/quorin-screenshots.XXXXXX")
source "$root/scripts/wine-bench.sh"
trap 'bench_stop; rm -rf "$work"' EXIT
bench_start || exit 1
mkdir -p "$out"

# The example with enough extra small files that the progress page shows for
# a few seconds, one file per step.
prepare() {
  local example=$1
  cp -r "$root/examples/$example" "$work/$example"
  mkdir -p "$work/$example/bulk"
  for i in $(seq -w 1 60); do head -c 2048 /dev/zero | tr '\0' 'q' >"$work/$example/bulk/part$i.txt"; done
  sed -i 's/^\[setup\]$/[setup]\npacing = false/' "$work/$example/project.toml"
  printf '\n[[file]]\nsource = "bulk/*.txt"\ndestination = "bulk"\n' >>"$work/$example/project.toml"
  "$QUORIN" build "$work/$example/project.toml" -o "$work/$example.exe" --arch "$BENCH_STUB_ARCH" -q
}

# shoot <look> <page>...: one picture per cue the driver echoes.
shoot() {
  local look=$1 log=$2
  shift 2
  local page
  for page in "$@"; do
    local waited=0
    until grep -qx "echo $page" "$log" 2>/dev/null; do
      sleep 0.2
      waited=$((waited + 1))
      [ $waited -lt 600 ] || { echo "screenshots: no cue for $page"; tail -n 5 "$log"; return 1; }
    done
    sleep 0.5
    import -display "$DISPLAY" -window root "$work/shot.png"
    if [ "$look" = framed ]; then
      # The window alone, from the rectangle the driver read.
      local r
      r=$(sed -n 's/^rect window window=\([-0-9,]*\) .*/\1/p' "$log" | tail -n 1)
      IFS=, read -r l t rr b <<<"$r"
      convert "$work/shot.png" -crop "$((rr - l))x$((b - t))+$l+$t" +repage -strip "PNG8:$out/$look-$page.png"
    else
      convert "$work/shot.png" -resize 640x480 -strip "PNG8:$out/$look-$page.png"
    fi
    : >"$work/$look-$page.go"
    echo "  $out/$look-$page.png"
  done
}

# cue <look> <page>: the driver's commands that hold a page until its picture is taken.
cue() { printf '%s\n' "echo $2" "waitfile $(winepath -w "$work/$1-$2.go")"; }

run() {
  local look=$1 example=$2 log=$work/$1.log
  shift 2
  prepare "$example" || return 1
  # Started in C:\, which the folder browser shows while the folder is missing.
  local -a script=("start $(winepath -w "$work/$example.exe") dir=C:\\" "window class=QuorinClass" "rect")
  local page
  mapfile -t lines < <(for step in "$@"; do
    case $step in
      shot:*) cue "$look" "${step#shot:}" ;;
      *) printf '%s\n' "$step" ;;
    esac
  done)
  script+=("${lines[@]}")
  timeout 300 wine "$QDRIVER" --timeout 60 "${script[@]}" >"$log" 2>&1 &
  local driver=$!
  local pages
  pages=$(printf '%s\n' "$@" | sed -n 's/^shot://p')
  shoot "$look" "$log" $pages
  wait $driver || { echo "screenshots: the $look run failed"; tail -n 8 "$log"; return 1; }
}

echo "== background mode (examples/hello)"
run background hello \
  shot:welcome "click 1" 'expect 1001 contains=Please read' shot:information "click 1" \
  'expect 1003 contains=Destination' shot:destination "click 1005" 'window title="Choose Folder"' shot:browser \
  "click IDCANCEL" "window class=QuorinClass" "click 1" "msgbox IDYES" 'expect 1001 contains=will be installed in' \
  shot:ready "click 1" 'expect 1008 contains=part' shot:progress 'expect 1000 contains=has finished' \
  shot:finish "click 1" 'expect 0 "Setup"' shot:closing "click IDCANCEL" "exit 0" || exit 1
echo "== framed (examples/custom)"
run framed custom \
  shot:welcome "click 1" 'expect 1003 contains=Destination' shot:destination "click 1" "msgbox IDYES" \
  'expect 1001 contains=will be installed in' shot:ready "click 1" 'expect 1008 contains=part' shot:progress \
  'expect 1000 contains=has finished' shot:finish "click 1" 'expect title "Setup"' shot:closing \
  "click IDCANCEL" "exit 0" || exit 1
du -ch "$out"/*.png | tail -n 1
