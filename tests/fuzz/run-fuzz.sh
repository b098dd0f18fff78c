#!/usr/bin/env bash
# Builds the fuzz targets with the fuzz preset and runs each for a bounded time
# (default 30 s) from its seed corpus: one its generator writes afresh, or a
# folder of the repository. Fails on any crash, sanitizer report, leak or
# timeout, and names the target.
# Usage: tests/fuzz/run-fuzz.sh [seconds-per-target] [target ...]
#   (QUORIN_FUZZ_BUILD picks the build folder)
set -uo pipefail
seconds="${1:-30}"
shift || true
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${QUORIN_FUZZ_BUILD:-$root/build/fuzz}"
cd "$root"
cmake --preset fuzz -B "$build" >/dev/null || exit 1
cmake --build "$build" -j2 || exit 1
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=()
ran=0
while read -r name kind seeds maxlen; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  corpus="$work/$name"
  mkdir -p "$corpus"
  case "$kind" in
    generator) "$build/tests/fuzz/$seeds" "$corpus" || { failed+=("$name (seeds)"); continue; } ;;
    folder) cp -r "$seeds"/. "$corpus"/ ;;
  esac
  echo "== fuzz $name for $seconds s"
  if ! "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len="${maxlen:-8192}" -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$corpus" \
      >"$work/$name.log" 2>&1; then
    failed+=("$name")
    tail -n 60 "$work/$name.log"
  else
    grep -E '^stat::number_of_executed_units|^Done ' "$work/$name.log" | tail -n 2
  fi
  ran=$((ran + 1))
done <"$build/fuzz-targets.txt"

echo "fuzz: $ran targets run, ${#failed[@]} failed${failed[*]:+: ${failed[*]}}"
[ ${#failed[@]} -eq 0 ] && [ "$ran" -gt 0 ]
