#!/usr/bin/env bash
# Builds Sealvane twice (optimised, and with ASan+UBSan) and runs every test
# in both builds. Exits non-zero when anything fails to build or pass.
set -euo pipefail
cd "$(dirname "$0")/.."

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
exit $status
