#!/bin/sh
# Runs nmbd_test against a real nmbd: two network namespaces of our own joined
# by a veth pair (10.77.0.1 test side, 10.77.0.2 nmbd), nothing else. Skips
# (through the test binary, so ctest reports it) when that cannot be set up.
# Usage: nmbd_netns.sh TEST_BINARY [gtest args...]
set -u
. "$(dirname "$0")/../samba_private.sh"
bin=$1
shift
a=mlk-nb-$$-a
b=mlk-nb-$$-b
dir=
pid=

cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  ip netns del "$a" 2>/dev/null
  ip netns del "$b" 2>/dev/null
  [ -n "$dir" ] && rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

skip() {
  MLK_NB_SKIP="$1" "$bin"
  exit $?
}

[ "$(id -u)" = 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null 2>&1 || skip "ip (iproute2) is not installed"
command -v nmbd >/dev/null 2>&1 || skip "nmbd (samba) is not installed"
ip netns add "$a" 2>/dev/null || skip "ip netns add failed (no namespace support?)"
ip netns add "$b" 2>/dev/null || skip "ip netns add failed (no namespace support?)"
ip -n "$a" link add mlk-nb-a type veth peer name mlk-nb-b netns "$b" || skip "cannot create a veth pair"
ip -n "$a" addr add 10.77.0.1/24 brd + dev mlk-nb-a
ip -n "$b" addr add 10.77.0.2/24 brd + dev mlk-nb-b
for ns in "$a" "$b"; do ip -n "$ns" link set lo up; done
ip -n "$a" link set mlk-nb-a up
ip -n "$b" link set mlk-nb-b up

dir=$(mktemp -d /tmp/mlk-nb.XXXXXX)
mkdir -p "$dir/lock" "$dir/state" "$dir/cache" "$dir/pid" "$dir/private" "$dir/ncalrpc"
cat >"$dir/smb.conf" <<CONF
[global]
  netbios name = MLKPEER
  workgroup = MLKGROUP
  interfaces = 10.77.0.2/24
  bind interfaces only = yes
$(samba_private_dirs "$dir")
  log file = $dir/log.%m
  disable spoolss = yes
  load printers = no
  printcap name = /dev/null
  local master = no
  dns proxy = no
CONF
# ip netns exec and setsid (we are no group leader here) exec in place, so $! is nmbd.
ip netns exec "$b" setsid nmbd -F --no-process-group -s "$dir/smb.conf" </dev/null >"$dir/nmbd.out" 2>&1 &
pid=$!

MLK_NB_NAME=mlkpeer MLK_NB_ADDR=10.77.0.2 MLK_NB_WORKGROUP=mlkgroup ip netns exec "$a" "$bin" "$@"
status=$?
if [ "$status" != 0 ]; then
  echo "--- nmbd log"
  tail -n 20 "$dir/log.nmbd" "$dir/nmbd.out" 2>/dev/null
fi
exit "$status"
