#!/bin/bash
# A small workgroup LAN for the browsing tests, built inside the caller's own
# network namespace: a bridge 10.77.0.1/24 there, and one namespace per host
# (ip netns), each running nmbd and smbd with SMB1 allowed.
#   workgroup_fixture.sh start DIR WORKGROUP NAME  -> the master browser host
#   workgroup_fixture.sh add DIR WORKGROUP NAME    -> a member host
#   workgroup_fixture.sh stop DIR                  -> stops every daemon by pid, deletes the namespaces
# Never run it in the machine's own namespace: the caller checks that. With
# MLK_FIXTURE_OWNER set, everything is also stopped once that process is gone.
set -eu
. "$(dirname "${BASH_SOURCE[0]}")/../samba_private.sh"
cmd=$1
dir=$2

hosts_file="$dir/hosts"

write_conf() {  # conf name workgroup address hostdir master
  local conf=$1 name=$2 wg=$3 addr=$4 h=$5 master=$6
  cat >"$conf" <<CONF
[global]
  workgroup = $wg
  netbios name = $name
  server string = $name
  interfaces = $addr/24
  bind interfaces only = yes
  server role = standalone server
  server min protocol = NT1
  local master = $master
  preferred master = $master
  domain master = no
  os level = $([ "$master" = yes ] && echo 65 || echo 0)
  dns proxy = no
  name resolve order = bcast
$(samba_test_globals "$h")
  printcap name = /dev/null
  disable spoolss = yes
$(samba_guest_share pub "$h/share")
CONF
}

bridge_up() {
  ip link set lo up
  if ! ip link show mlbr0 >/dev/null 2>&1; then
    ip link add mlbr0 type bridge
    ip addr add 10.77.0.1/24 brd + dev mlbr0
    ip link set mlbr0 up
  fi
}

add_host() {  # workgroup name master
  local wg=$1 name=$2 master=$3
  mkdir -p "$dir"
  local n
  n=$(($(wc -l <"$hosts_file" 2>/dev/null || echo 0) + 1))
  local ns="mirelka-ni-$$-$n" addr="10.77.0.$((10 + n))" h="$dir/h$n"
  echo "$ns" >>"$hosts_file"
  mkdir -p "$h"/lock "$h"/state "$h"/cache "$h"/pid "$h"/private "$h"/ncalrpc "$h"/share
  write_conf "$h/smb.conf" "$name" "$wg" "$addr" "$h" "$master"
  ip netns add "$ns"
  ip link add "mlc$n" type veth peer name "mlh$n"
  ip link set "mlh$n" netns "$ns"
  ip link set "mlc$n" master mlbr0 up
  ip netns exec "$ns" ip link set lo up
  ip netns exec "$ns" ip addr add "$addr/24" brd + dev "mlh$n"
  ip netns exec "$ns" ip link set "mlh$n" up
  for daemon in smbd nmbd; do
    ip netns exec "$ns" setsid "$daemon" -F --no-process-group --debug-stdout -d 1 -s "$h/smb.conf" \
      >"$h/$daemon.out" 2>&1 </dev/null &
    echo $! >"$h/$daemon.launch.pid"
  done
  echo "$addr"
}

stop_all() {
  [ -f "$hosts_file" ] || return 0
  local n=0
  while read -r ns; do
    n=$((n + 1))
    local h="$dir/h$n"
    for f in "$h"/pid/*.pid "$h"/*.launch.pid; do
      [ -f "$f" ] || continue
      pid=$(cat "$f")
      [ -n "$pid" ] && kill -TERM -- "-$pid" 2>/dev/null || true
      [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
    done
    sleep 0.2
    for f in "$h"/pid/*.pid "$h"/*.launch.pid; do
      [ -f "$f" ] || continue
      pid=$(cat "$f")
      [ -n "$pid" ] && kill -KILL -- "-$pid" 2>/dev/null || true
      [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    done
    ip netns del "$ns" 2>/dev/null || true
    ip link del "mlc$n" 2>/dev/null || true
  done <"$hosts_file"
  rm -f "$hosts_file"
}

case $cmd in
  start) bridge_up; stop_when_owner_exits stop_all; add_host "$3" "$4" yes ;;
  add) add_host "$3" "$4" no ;;
  stop) stop_all ;;
  *) echo "usage: $0 start|add DIR WORKGROUP NAME | stop DIR" >&2; exit 2 ;;
esac
