#!/usr/bin/env bash
# The installed desktop program under Xvfb: started from the file manager's
# context menu through the registered handler (sealvane-shell invoke, which
# starts it with /e and the quoted name with blanks), it encrypts the file
# for the user's digital ID when OK (Enter) is pressed. Screenshots of the
# main window and of the job window go to the screenshot folder.
# Usage: desktop_test.sh PREFIX SCREENSHOT_DIR (HOME, SEALVANE_HOME already
# point at a scratch profile).
set -euo pipefail
prefix="$1"
shots="$2"
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null || ! command -v import >/dev/null; then
  echo "xvfb-run, xdotool or import is missing: the desktop test is skipped"
  exit 0
fi
mkdir -p "$shots"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cli="$prefix/bin/sealvane-cli"
# The platform's question (a new root certificate) is answered by a script.
export SEALVANE_PINENTRY="${SEALVANE_TEST_PINENTRY:?}" FAKE_PINENTRY_LOG="$work/pinentry.log"
"$cli" certs genid --name "Ana Example" --email ana@example.org >/dev/null
"$cli" reg set 'HKCU\Software\Brennock\Sealvane' Welcomed REG_DWORD -1 >/dev/null
"$cli" reg set 'HKCU\Software\Brennock\Sealvane' AlgorithmNumber REG_DWORD 5 >/dev/null
file="$work/file with spaces.txt"
head -c $((96 << 20)) /dev/urandom > "$file"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export SEALVANE_TEST_FILE="$file" SEALVANE_TEST_SHELL="$prefix/bin/sealvane-shell" SEALVANE_TEST_SHOTS="$shots"
# What the handler offers for the file.
"$prefix/bin/sealvane-shell" menu "$file" | grep -qx "0	Encr&ypt	Encrypts the file." || { echo "FAILED: menu"; exit 1; }

xvfb-run -a -s "-screen 0 1024x768x24" bash -euo pipefail -c '
  "$SEALVANE_TEST_SHELL" invoke "$SEALVANE_TEST_FILE" 0
  main=$(timeout 30 xdotool search --sync --onlyvisible --name "^Sealvane$" | head -1)
  [ -n "$main" ] || { echo "FAILED: the context-menu command started no window"; exit 1; }
  pid=$(xdotool getwindowpid "$main")
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-main-encrypt.png"
  xdotool windowfocus --sync "$main" key Return
  job=$(xdotool search --sync --onlyvisible --name "^Sealvane - Encrypt$" | head -1)
  sleep 0.3
  import -window root "$SEALVANE_TEST_SHOTS/desktop-job-window.png"
  # The job window closes itself when the archive is done.
  for _ in $(seq 1 600); do
    xdotool search --onlyvisible --name "^Sealvane - Encrypt$" >/dev/null 2>&1 || break
    sleep 0.1
  done
  import -window root "$SEALVANE_TEST_SHOTS/desktop-main-after.png"
  # Help Topics shows the installed help; the Tools item starts the
  # certificate manager as a program of its own.
  xdotool windowfocus --sync "$main" key alt+h h
  timeout 20 xdotool search --sync --onlyvisible --name "^Sealvane Help$" >/dev/null || { echo "FAILED: no help viewer"; exit 1; }
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-help.png"
  xdotool windowfocus --sync "$main" key alt+t c
  manager=$(timeout 20 xdotool search --sync --onlyvisible --name "^Certificate \(Digital ID\) Manager$" | head -1)
  [ -n "$manager" ] || { echo "FAILED: no certificate manager"; exit 1; }
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-certificate-manager.png"
  kill "$(xdotool getwindowpid "$manager")"
  kill "$pid"
  # The window is gone before the next one is looked for.
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "^Sealvane$" >/dev/null 2>&1 || break
    sleep 0.1
  done
  # Decrypt on the archive opens the window in Decrypt mode.
  "$SEALVANE_TEST_SHELL" invoke "${SEALVANE_TEST_FILE%.txt}.sva" 0
  main=$(timeout 30 xdotool search --sync --onlyvisible --name "^Sealvane$" | head -1)
  [ -n "$main" ] || { echo "FAILED: Decrypt started no window"; exit 1; }
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-context-decrypt.png"
  kill "$(xdotool getwindowpid "$main")" || true
'
archive="$work/file with spaces.sva"
[ -f "$archive" ] || { echo "FAILED: no archive"; exit 1; }
"$cli" info "$archive" | grep -q 'Ana Example <ana@example.org>' || { echo "FAILED: not for the digital ID"; exit 1; }
"$cli" info "$archive" | grep -q '3DES (168-bit)' || { echo "FAILED: not the default cipher"; exit 1; }
mv "$file" "$work/original"
"$cli" decrypt "$archive" --no-open-after --yes >/dev/null
cmp "$work/original" "$file"
echo "desktop test passed"
