#!/usr/bin/env bash
# Runs every test: host unit tests, end-to-end tests and the Win32-side unit
# tests under Wine, a bounded fuzzing run and the stub's size check. Works on a
# fresh machine: it installs what it needs first.
#
# The tests under Wine run the i686 release stub wherever the machine runs
# 32-bit Windows programs, and the x86_64 stub otherwise; the last lines say
# which. QUORIN_BENCH_NO32=1 makes the probe fail on purpose.
set -uo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT

scripts/install-deps.sh || { echo "installing the build dependencies failed"; exit 1; }
scripts/build.sh || { echo "the build failed"; exit 1; }

# One probe for the whole run; every bench of the run takes its answer.
probe=$(scripts/wine-bench.sh probe) || { echo "the Wine bench could not start"; exit 1; }
QUORIN_STUB_ARCH=$(sed -n 1p <<<"$probe")
QUORIN_NO_I686_REASON=$(sed -n 2p <<<"$probe")
export QUORIN_STUB_ARCH QUORIN_NO_I686_REASON
echo "== tests under Wine run the $QUORIN_STUB_ARCH stub${QUORIN_NO_I686_REASON:+ ($QUORIN_NO_I686_REASON)}"

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
step "win32-tests-$QUORIN_STUB_ARCH" scripts/wine-bench.sh run -- \
  ctest --test-dir "build/$QUORIN_STUB_ARCH" --output-on-failure --timeout 300
# The x86_64 build guards pointer-size clean code where the i686 one ran.
if [ "$QUORIN_STUB_ARCH" = i686 ]; then
  step win32-tests-x64 scripts/wine-bench.sh run -- ctest --test-dir build/x64 --output-on-failure --timeout 300
fi
step fuzz tests/fuzz/run-fuzz.sh "${QUORIN_FUZZ_SECONDS:-30}"
step size-check scripts/size-check.sh

echo
[ ${#failedSteps[@]} -eq 0 ] || echo "failed steps: ${failedSteps[*]}"
echo "$passed passed, $failed failed; the tests under Wine ran the $QUORIN_STUB_ARCH stub"
if [ "$QUORIN_STUB_ARCH" != i686 ]; then
  echo "NOTE: the i686 release stub was NOT run ($QUORIN_NO_I686_REASON); the x86_64 stub was tested in its place."
fi
[ "$failed" -eq 0 ] && [ ${#failedSteps[@]} -eq 0 ]
