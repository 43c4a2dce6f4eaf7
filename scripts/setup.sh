#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# Skips the package manager when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev
  # independent ISO 9660 readers the tests compare our discs against
  xorriso genisoimage 7zip libarchive-tools libcdio-utils python3 python3-pycdlib
  # libFuzzer for the import fuzz target (tests/fuzz/run_import_fuzz.sh)
  clang libclang-rt-14-dev
  # Qt 6 for the desktop application and the upgrade library, and a real X
  # server with a window manager in which the application's test drives it
  # with the keyboard and takes screenshots
  qt6-base-dev xvfb xauth openbox xdotool imagemagick x11-utils
  # bench/: GNU time measures the peak memory of each run
  time
  # the Debian package (scripts/package.sh) and its test: dependencies,
  # Debian's checks, the desktop entry's and AppStream's validators, man
  dpkg-dev fakeroot lintian desktop-file-utils appstream man-db
  # logind's sleep lock and UDisks2's unmount over the system bus (sd-bus),
  # tested against mocks of both on a private bus; quillon --json's events
  # checked against their schema
  libsystemd-dev dbus python3-dbusmock python3-jsonschema
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
