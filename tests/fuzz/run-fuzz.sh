#!/usr/bin/env bash
# Builds the fuzz targets with the fuzz preset and runs the expansion fuzzer for
# a bounded time (default 60 s) from a freshly generated seed corpus. Fails on
# any crash, sanitizer report, leak or timeout.
# Usage: tests/fuzz/run-fuzz.sh [seconds]   (QUORIN_FUZZ_BUILD picks the build folder)
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${QUORIN_FUZZ_BUILD:-$root/build/fuzz}"
cd "$root"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target expand_fuzz expand_fuzz_seeds
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
"$build/tests/fuzz/expand_fuzz_seeds" "$corpus"
"$build/tests/fuzz/expand_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=8192 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus"
