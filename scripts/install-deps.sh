#!/usr/bin/env bash
# Installs what building, running and testing need from Debian 12's packages.
# Samba is installed for the tests' own servers: no daemon may start on the
# machine's interfaces, so service starts are refused while apt runs.
set -euo pipefail

packages=(
  cmake g++ make pkg-config qt6-base-dev qt6-l10n-tools libsmbclient-dev libkrb5-dev
  fonts-ipafont-gothic fonts-noto-cjk fonts-vlgothic xvfb xauth xdg-utils x11-utils
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  samba smbclient samba-common-bin iproute2 python3 hyperfine
  clang libclang-rt-14-dev
  libavahi-client-dev
  qt6-svg-dev
  dpkg-dev fakeroot file lintian appstream desktop-file-utils python3-xlib
  wsdd llmnrd avahi-daemon avahi-utils dbus-daemon
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 nsis zip unzip
  qtkeychain-qt6-dev
  gnome-keyring libsecret-tools dbus-daemon dbus-bin
  krb5-user samba-ad-dc samba-ad-provision
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null; then exec sudo "$0" "$@"; fi
  echo "Missing packages (install them as root): ${missing[*]}" >&2
  exit 1
fi

made_policy=""
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
  chmod 755 /usr/sbin/policy-rc.d
  made_policy=1
fi
trap '[ -n "$made_policy" ] && rm -f /usr/sbin/policy-rc.d' EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"

# Samba's packages may enable their units for the next boot; the tests start
# their own servers, so keep the system ones off.
for unit in smbd nmbd samba-ad-dc; do
  systemctl disable "$unit" >/dev/null 2>&1 || true
done
# The same for the announcers the test LAN starts in its own namespaces.
for unit in wsdd llmnrd avahi-daemon.service avahi-daemon.socket; do
  systemctl disable "$unit" >/dev/null 2>&1 || true
done
