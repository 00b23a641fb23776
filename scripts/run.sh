#!/usr/bin/env bash
# Builds the optimised tree and runs the terminal front-end with the given
# arguments (its help when there are none).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset dev >/dev/null
cmake --build --preset dev >/dev/null
exec build/dev/bin/sealvane-cli "${@:---help}"
