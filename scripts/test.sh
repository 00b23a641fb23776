#!/usr/bin/env bash
# Runs the fuzz targets briefly, then builds Sealvane three times: optimised
# with gcc and with ASan+UBSan, running every test in each, and with clang
# and ThreadSanitizer (so clang's warnings are errors too), running the
# archive engine's tests (the threaded jobs). Exits non-zero when anything
# fails to build, crashes or does not pass.
set -euo pipefail
cd "$(dirname "$0")/.."

# A short fuzzing run of every target first, so that
# the last lines are the test summary.
echo "==> fuzz"
bash scripts/fuzz.sh 10

status=0
for preset in dev asan-ubsan; do
  echo "==> ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "==> ${preset}: test"
  if ! ctest --preset "$preset"; then
    status=1
  fi
done

echo "==> tsan (clang): configure and build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
echo "==> tsan: test"
if ! TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" build/tsan/bin/archive_tests --gtest_brief=1; then
  status=1
fi
exit $status
