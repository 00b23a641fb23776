#!/usr/bin/env bash
# Runs the fuzz targets briefly (built with clang), then builds Sealvane
# optimised with gcc and with ASan+UBSan, running every test in each, and
# the archive engine's tests with clang and ThreadSanitizer, running them
# (the threaded jobs). Each phase says how long it took. Exits non-zero when
# anything fails to build, crashes or does not pass.
set -euo pipefail
cd "$(dirname "$0")/.."

# A short fuzzing run of every target first, so that the last lines are the
# test summary.
phase() { echo "==> $1 (at ${SECONDS} s)"; }
phase fuzz
bash scripts/fuzz.sh 7

status=0
for preset in dev asan-ubsan; do
  phase "${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  phase "${preset}: test"
  if ! ctest --preset "$preset"; then
    status=1
  fi
done

phase "tsan: configure and build the archive engine's tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
phase "tsan: test"
if ! TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" build/tsan/bin/archive_tests --gtest_brief=1; then
  status=1
fi
phase "end"
exit $status
