#!/bin/bash
# Runs the window's end-to-end tests on a fresh test LAN: starts the LAN,
# runs the test binary in its client namespace, stops the LAN whatever
# happened. Exit 77 (skipped) when the machine cannot build the LAN.
#
#   run-e2e.sh TEST_BINARY [gtest arguments...]
#   run-e2e.sh WRAPPER TEST_BINARY [gtest arguments...]   (keyring-session.sh)
# MLK_LAN_WINDOWS=FOLDER MLK_LAN_LINUX_PROGRAM=PROGRAM: also windows_lan.sh.
set -uo pipefail
export PATH=$PATH:/usr/sbin:/sbin

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
skip() { echo "SKIP: $*" >&2; exit 77; }

[ $# -ge 1 ] || { echo "usage: run-e2e.sh TEST_BINARY [args...]" >&2; exit 2; }
[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
command -v ip >/dev/null || skip "no iproute2"
for tool in nmbd smbd nmblookup smbclient smbtree python3 setsid wsdd llmnrd dbus-daemon avahi-daemon avahi-browse; do
  command -v "$tool" >/dev/null || skip "no $tool"
done

# Belt and braces: the LAN never touches the machine's interfaces, but run
# the whole of it from a network namespace of its own all the same.
if [ -z "${MLK_LAN_ISOLATED:-}" ]; then
  unshare --net true 2>/dev/null || skip "cannot create network namespaces"
  exec unshare --net env MLK_LAN_ISOLATED=1 sh -c 'ip link set lo up; exec "$0" "$@"' "$0" "$@"
fi
ip netns add "mlkprobe$$" 2>/dev/null || skip "ip netns does not work here"
ip netns del "mlkprobe$$"

export MLK_LAN_DIR
MLK_LAN_DIR=$(mktemp -d /tmp/mlk-lan-XXXXXX)
LAN="$HERE/testlan.sh"
status=1
finish() {
  if [ "$status" != 0 ] && [ -d "$MLK_LAN_DIR/h" ]; then
    echo "--- LAN logs (last lines) ---" >&2
    tail -n 5 "$MLK_LAN_DIR"/h/*/log/log.nmbd "$MLK_LAN_DIR"/h/*/log/*.out 2>/dev/null >&2
  fi
  "$LAN" stop
}
trap finish EXIT
trap 'exit 130' INT TERM

"$LAN" start || exit 1
# With MLK_LAN_WINDOWS (the cross-build's bin folder) and MLK_LAN_LINUX_PROGRAM,
# the Windows program runs first under Wine on the same LAN, beside the Linux
# one (windows_lan.sh): one LAN for both, while it is as started.
windows=0
if [ -n "${MLK_LAN_WINDOWS:-}" ]; then
  if [ -f "$MLK_LAN_WINDOWS/mirelka.com" ] && [ -x /usr/lib/wine/wine64 ]; then
    "$LAN" exec-client "$HERE/windows_lan.sh" "$MLK_LAN_WINDOWS" "${MLK_LAN_LINUX_PROGRAM:?}" || windows=1
  else
    echo "SKIP: the Windows program on the LAN: no $MLK_LAN_WINDOWS/mirelka.com (scripts/build-windows.sh) or no Wine" >&2
  fi
fi
binary=$1
shift
"$LAN" exec-client env QT_QPA_PLATFORM=offscreen MLK_LAN_SCRIPT="$LAN" "$binary" "$@"
status=$?
[ "$windows" = 0 ] || status=1
# A LAN where nobody answers: one interface that leads nowhere, no mDNS daemon.
unshare --net env QT_QPA_PLATFORM=offscreen MLK_LAN_EMPTY=1 DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
  sh -c 'ip link set lo up && ip link add e0 type veth peer name e1 && ip addr add 10.232.0.1/24 dev e0 &&
         ip link set e1 up && ip link set e0 up && exec "$0" "$@" --gtest_filter=LanWindow.EmptyLan*' "$binary" "$@" ||
  status=1
exit $status
