#!/usr/bin/env bash
# Builds Sealvane, installs it for this user (~/.local, or $PREFIX) and starts
# the desktop program with the given arguments (a file to decrypt, or
# /e FILE, /d FILE). Without a display it says so and shows a short round
# trip through the terminal front-end instead (or runs sealvane-cli with the
# arguments given).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix="${PREFIX:-$HOME/.local}"
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
cmake --install build/release --prefix "$prefix" >/dev/null
echo "Sealvane is installed in $prefix (programs in $prefix/bin)."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$prefix/bin/sealvane" "$@"
fi
if [ $# -gt 0 ]; then
  exec "$prefix/bin/sealvane-cli" "$@"
fi

echo "There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set): the desktop"
echo "program needs one. A round trip through the terminal front-end instead:"
demo="$(mktemp -d)"
trap 'rm -rf "$demo"' EXIT
# The demonstration uses a profile of its own, not yours.
export SEALVANE_HOME="$demo/profile"
cli="$prefix/bin/sealvane-cli"
printf 'Sealvane keeps files safe.\n%.0s' $(seq 1 200) > "$demo/notes.txt"
printf 'Correct Horse 9\n' > "$demo/password.txt"
set -x
"$cli" encrypt "$demo/notes.txt" --password-file "$demo/password.txt" --yes
"$cli" info "$demo/notes.sva"
mv "$demo/notes.txt" "$demo/original.txt"
"$cli" decrypt "$demo/notes.sva" --password-file "$demo/password.txt" --no-open-after --yes
cmp "$demo/original.txt" "$demo/notes.txt"
{ set +x; } 2>/dev/null
echo "The decrypted file is the original, byte for byte."
