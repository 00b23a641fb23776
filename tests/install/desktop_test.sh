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

# -noreset: when its last client goes (the program killed between two
# steps), the X server would otherwise reset, and a program started in that
# moment cannot connect and ends at once.
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -euo pipefail -c '
  # Windows come and go while xdotool lists them (it then fails with
  # BadWindow): every look is repeated until its deadline, and a failed
  # look counts as neither found nor gone.
  find_window() {  # NAME SECONDS: prints the first visible window so named
    local deadline=$((SECONDS + $2)) found
    while [ "$SECONDS" -lt "$deadline" ]; do
      found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || found=""
      if [ -n "$found" ]; then echo "$found"; return 0; fi
      sleep 0.1
    done
    return 0
  }
  wait_gone() {  # NAME SECONDS: until two looks in a row find no such window
    local deadline=$((SECONDS + $2)) empty=0 status
    while [ "$SECONDS" -lt "$deadline" ]; do
      status=0
      xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || status=$?
      if [ "$status" -eq 1 ]; then empty=$((empty + 1)); else empty=0; fi
      [ "$empty" -ge 2 ] && return 0
      sleep 0.1
    done
    return 0
  }
  window_pid() { xdotool getwindowpid "$1" 2>/dev/null || true; }
  # What was on the screen when a window did not come: for the person who
  # reads the failure.
  report() {
    echo "FAILED: $1"
    echo "windows:"; xdotool search --name "" getwindowname %@ 2>/dev/null | sort | uniq -c || true
    echo "programs:"; pgrep -a sealvane || true
    import -window root "$SEALVANE_TEST_SHOTS/desktop-failure.png" || true
    exit 1
  }
  "$SEALVANE_TEST_SHELL" invoke "$SEALVANE_TEST_FILE" 0
  main=$(find_window "^Sealvane$" 60)
  [ -n "$main" ] || report "the context-menu command started no window"
  pid=$(window_pid "$main")
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-main-encrypt.png"
  xdotool windowfocus --sync "$main" key Return
  job=$(find_window "^Sealvane - Encrypt$" 60)
  sleep 0.3
  import -window root "$SEALVANE_TEST_SHOTS/desktop-job-window.png"
  # The job window closes itself when the archive is done.
  wait_gone "^Sealvane - Encrypt$" 120
  import -window root "$SEALVANE_TEST_SHOTS/desktop-main-after.png"
  # Help Topics shows the installed help; the Tools item starts the
  # certificate manager as a program of its own.
  xdotool windowfocus --sync "$main" key alt+h h
  [ -n "$(find_window "^Sealvane Help$" 60)" ] || report "no help viewer"
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-help.png"
  xdotool windowfocus --sync "$main" key alt+t c
  manager=$(find_window "^Certificate \(Digital ID\) Manager$" 60)
  [ -n "$manager" ] || report "no certificate manager"
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-certificate-manager.png"
  manager_pid=$(window_pid "$manager")
  [ -n "$manager_pid" ] && kill "$manager_pid"
  [ -n "$pid" ] && kill "$pid"
  # The window is gone before the next one is looked for.
  wait_gone "^Sealvane$" 60
  # Decrypt on the archive opens the window in Decrypt mode.
  "$SEALVANE_TEST_SHELL" invoke "${SEALVANE_TEST_FILE%.txt}.sva" 0
  main=$(find_window "^Sealvane$" 60)
  [ -n "$main" ] || report "Decrypt started no window"
  sleep 0.5
  import -window root "$SEALVANE_TEST_SHOTS/desktop-context-decrypt.png"
  decrypt_pid=$(window_pid "$main")
  [ -n "$decrypt_pid" ] && kill "$decrypt_pid" || true
'
archive="$work/file with spaces.sva"
[ -f "$archive" ] || { echo "FAILED: no archive"; exit 1; }
"$cli" info "$archive" | grep -q 'Ana Example <ana@example.org>' || { echo "FAILED: not for the digital ID"; exit 1; }
"$cli" info "$archive" | grep -q '3DES (168-bit)' || { echo "FAILED: not the default cipher"; exit 1; }
mv "$file" "$work/original"
"$cli" decrypt "$archive" --no-open-after --yes >/dev/null
cmp "$work/original" "$file"
echo "desktop test passed"
