#!/usr/bin/env bash
# Runs the fuzz targets briefly, then builds Sealvane twice (optimised, and
# with ASan+UBSan) and runs every test in both builds. Exits non-zero when
# anything fails to build, crashes or does not pass.
set -euo pipefail
cd "$(dirname "$0")/.."

# A short fuzzing run of the archive reader and decrypt path first, so that
# the last lines are the test summary.
echo "==> fuzz"
bash scripts/fuzz.sh 20

status=0
for preset in dev clang asan-ubsan; do
  echo "==> ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "==> ${preset}: test"
  if ! ctest --preset "$preset"; then
    status=1
  fi
done
exit $status
