#!/usr/bin/env bash
# Builds everything twice (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test in both builds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
jobs=$(nproc)

build() {
  local dir=$1; shift
  cmake -S "$here" -B "$here/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$here/$dir" -j "$jobs"
}

build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build build-asan -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BUILD_BENCH=OFF

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
echo "== tests (plain build)"
(cd "$here/build" && ctest --output-on-failure -j "$jobs" --timeout 1800) || status=1
echo "== tests (sanitizer build)"
(cd "$here/build-asan" && ctest --output-on-failure -j "$jobs" --timeout 1800) || status=1
exit $status
