#!/usr/bin/env bash
# Installs the build into a scratch home and checks what the desktop and the
# user hive know afterwards: the programs, the .sva type, its application.
set -euo pipefail
build="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
export HOME="$root/home" XDG_DATA_HOME="$root/home/.local/share" XDG_CONFIG_HOME="$root/home/.config"
export SEALVANE_HOME="$root/sealvane" SEALVANE_MACHINE_HIVE="$root/machine.db" XDG_DATA_DIRS=/usr/share
export XDG_CURRENT_DESKTOP=X-Generic
mkdir -p "$HOME"
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$HOME/.local" >"$root/install.log" 2>&1 || { cat "$root/install.log"; fail "cmake --install"; }
grep -q 'WARNING' "$root/install.log" && { cat "$root/install.log"; fail "install warnings"; }

[ -x "$HOME/.local/bin/sealvane" ] || fail "no bin/sealvane"
[ -x "$HOME/.local/bin/sealvane-cli" ] || fail "no bin/sealvane-cli"
[ -f "$HOME/.local/lib/sealvane/libsealvanelib.so" ] || fail "the cipher library is not beside the programs"
[ -s "$HOME/.local/lib/sealvane/SealvaneHelp.qch" ] || fail "the compiled help is not beside the program"
desktop-file-validate "$XDG_DATA_HOME/applications/sealvane.desktop" || fail "desktop entry"
grep -qx "Exec=$HOME/.local/lib/sealvane/sealvane %f" "$XDG_DATA_HOME/applications/sealvane.desktop" || fail "Exec line"
grep -qx "Exec=$HOME/.local/lib/sealvane/sealvane --certificates" "$XDG_DATA_HOME/applications/sealvane.desktop" ||
  fail "certificate manager action"

# A file named *.sva, and an archive under another name (by its content).
echo "not really" > "$root/letter.sva"
[ "$(xdg-mime query filetype "$root/letter.sva")" = application/x-sealvane-archive ] || fail "filetype by name: $(xdg-mime query filetype "$root/letter.sva")"
[ "$(xdg-mime query default application/x-sealvane-archive)" = sealvane.desktop ] || fail "default application: $(xdg-mime query default application/x-sealvane-archive)"

# The installed terminal front-end works from its link (it finds the cipher
# library in its own folder) and the file type is in HKEY_CLASSES_ROOT.
printf 'Correct Horse 9\n' > "$root/pw"
echo "hello" > "$root/hello.txt"
"$HOME/.local/bin/sealvane-cli" encrypt "$root/hello.txt" --password-file "$root/pw" --yes >/dev/null || fail "encrypt"
[ "$(xdg-mime query filetype "$root/hello.sva")" = application/x-sealvane-archive ] || fail "archive type"
query="$("$HOME/.local/bin/sealvane-cli" reg query 'HKCR\Sealvane.Archive\shell\open\command')"
echo "$query" | grep -qF "\"$HOME/.local/lib/sealvane/sealvane\" \"%1\"" || fail "open command: $query"
"$HOME/.local/bin/sealvane-cli" reg query 'HKCR\.sva' | grep -q 'Sealvane.Archive' || fail ".sva key"
# The context-menu handler is registered for the installed server, with the
# file managers' entries.
server="$HOME/.local/lib/sealvane/libsealvaneshl.so"
[ -x "$HOME/.local/bin/sealvane-shell" ] || fail "no bin/sealvane-shell"
"$HOME/.local/bin/sealvane-cli" reg query 'HKCR\CLSID\{0F27B861-7421-46C8-8799-527B283CFDC6}\InprocServer32' |
  grep -qF "$server" || fail "InprocServer32"
"$HOME/.local/bin/sealvane-cli" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved' |
  grep -q 'Sealvane Shell extension' || fail "approved extension"
for f in kio/servicemenus/sealvane-file.desktop kio/servicemenus/sealvane-archive.desktop \
         nemo/actions/sealvane-encrypt.nemo_action; do
  [ -f "$XDG_DATA_HOME/$f" ] || fail "no $f"
done
grep -q "<unique-id>sealvane-encrypt</unique-id>" "$XDG_CONFIG_HOME/Thunar/uca.xml" || fail "Thunar actions"

# The installed mail add-in in the simulated mail client.
"$HOME/.local/lib/sealvane/sealvane-mailhost" --register "$HOME/.local/lib/sealvane/libsealvaneol.so" || fail "add-in registration"
mail="$(printf 'open mail Standard=2617,3\nquit\n' | "$HOME/.local/lib/sealvane/sealvane-mailhost")"
echo "$mail" | grep -qx "  Standard: 2617 719 718 3" || fail "add-in: $mail"
bash "$(dirname "$0")/desktop_test.sh" "$HOME/.local" "${SEALVANE_SCREENSHOTS:-$root/shots}"
echo "install test passed"
