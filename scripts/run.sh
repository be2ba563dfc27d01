#!/usr/bin/env bash
# Installs what is missing, builds and starts Mirelka.
#   scripts/run.sh              start it on this computer's network
#   scripts/run.sh --isolated   start it inside an empty network namespace (root),
#                               for trying it on a machine that must not browse its LAN
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# What the program needs at run time, and nothing else (no test programs):
# the program, the companion library it loads by name and the SMB helper it
# starts. Another helper program belongs on this list too.
program_targets=(mirelka_exe mirelka mirelka_smb)
TARGETS="${program_targets[*]}" scripts/build.sh >/dev/null
program="$PWD/${BUILD:-build}/bin/mirelka"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
There is no display to open the window on. To run Mirelka under a virtual one:
  Xvfb :99 -screen 0 1024x768x24 &
  DISPLAY=:99 $0 ${1:-}
MSG
  exit 1
fi

if [ "${1:-}" = "--isolated" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "--isolated makes a network namespace, which needs root: run it as root (or with sudo)." >&2
    exit 1
  fi
  exec unshare --net -- sh -c "ip link set lo up && exec '$program'"
fi
exec "$program"
