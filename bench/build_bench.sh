#!/usr/bin/env bash
# Builds a setup of the benchmark corpus (make-corpus.sh makes one) at -j 1
# and at -j 2 in one run, prints the time and peak memory of each build, and
# checks that both setup files are byte for byte the same.
# Usage: build_bench.sh CORPUS [QUORIN] [extra build options...]
set -euo pipefail

corpus=$(cd "${1:?usage: build_bench.sh CORPUS [QUORIN] [options...]}" && pwd)
quorin=${2:-$(dirname "$0")/../build/host/tools/quorin/quorin}
shift $(( $# >= 2 ? 2 : 1 ))
[ -x "$quorin" ] || { echo "missing $quorin: build the host preset first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/corpus.toml" <<TOML
[setup]
title = "Benchmark corpus"

[[file]]
source = "$corpus/**/*"
exclude = "$corpus/files.txt"
TOML

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for jobs in 1 2; do
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.$jobs" "$quorin" build "$work/corpus.toml" -o "$work/j$jobs/setup.exe" \
    -q -j "$jobs" "$@"
  read -r seconds user system kilobytes < "$work/time.$jobs"
  # CPU time above the elapsed time shows threads that ran at once; on a
  # machine shared with other work, they may not have had a core each.
  printf -- '-j %d: %7.2f s elapsed, %7.2f s CPU, peak memory %6.1f MB\n' "$jobs" "$seconds" \
    "$(echo "$user + $system" | bc -l)" "$(echo "$kilobytes / 1024" | bc -l)"
done
input=$(find "$corpus" -type f ! -name files.txt -printf '%s\n' | awk '{s += $1} END {print s}')
printf 'input %d bytes in %d files; setup file %d bytes\n' "$input" \
  "$(find "$corpus" -type f ! -name files.txt | wc -l)" "$(stat -c %s "$work/j1/setup.exe")"
if cmp -s "$work/j1/setup.exe" "$work/j2/setup.exe"; then
  echo "the two setup files are identical"
else
  echo "the two setup files differ" >&2
  exit 1
fi
