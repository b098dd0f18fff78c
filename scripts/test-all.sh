#!/usr/bin/env bash
# Runs every test: host unit tests, end-to-end tests under wine64, the Win32-side
# unit tests under wine64, a bounded fuzzing run and the stub's size check.
# Works on a fresh machine: it installs what it needs first.
set -uo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT

scripts/install-deps.sh || { echo "installing the build dependencies failed"; exit 1; }
scripts/build.sh || { echo "the build failed"; exit 1; }

passed=0
failed=0
failedSteps=()
# Runs one step; a ctest step adds its test counts, any other step counts once.
step() {
  local name=$1; shift
  echo "== $name"
  "$@" 2>&1 | tee "$log/$name.txt"
  local rc=${PIPESTATUS[0]}
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log/$name.txt" | tail -1)
  if [ -n "$summary" ]; then
    local bad total
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)/\1/' <<<"$summary")
    total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)/\2/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    [ "$rc" -eq 0 ] || [ "$bad" -gt 0 ] || failed=$((failed + 1))
  elif [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  [ "$rc" -eq 0 ] || failedSteps+=("$name")
}

step host-tests ctest --test-dir build/host --output-on-failure --timeout 900
step win32-tests scripts/wine-bench.sh run -- ctest --test-dir build/x64 --output-on-failure --timeout 300
step fuzz tests/fuzz/run-fuzz.sh "${QUORIN_FUZZ_SECONDS:-30}"
step size-check scripts/size-check.sh

echo
[ ${#failedSteps[@]} -eq 0 ] || echo "failed steps: ${failedSteps[*]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ ${#failedSteps[@]} -eq 0 ]
