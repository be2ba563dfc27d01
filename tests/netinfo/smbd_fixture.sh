#!/bin/bash
# Starts or stops a private smbd on 127.0.0.1:445 for the share listing tests.
# Meant to run inside a network namespace of its own (unshare --net).
#   smbd_fixture.sh start DIR   -> prints smbd's pid once the port answers
#   smbd_fixture.sh stop DIR    -> stops smbd and its RPC helpers by pid
# Everything (config, state, pid files, shared folders) lives under DIR; a
# test that wants more shares names them in DIR/extra-shares first, other
# [global] lines in DIR/extra-global (they override the ones here; the
# port waited for is the first of its "smb ports", else 445). With
# MLK_FIXTURE_OWNER set, smbd is also stopped once that process is gone.
set -eu
. "$(dirname "${BASH_SOURCE[0]}")/../samba_private.sh"
cmd=$1
dir=$2

stop() {
  for f in "$dir"/pid/*.pid; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  if [ -f "$dir/smbd.pid" ]; then
    pid=$(cat "$dir/smbd.pid")
    # smbd was started as a session leader: its group holds its helpers
    kill -TERM -- "-$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -KILL -- "-$pid" 2>/dev/null || true
    rm -f "$dir/smbd.pid"
  fi
}

start() {
  mkdir -p "$dir"/share "$dir"/spool
  chmod 1777 "$dir/spool"
  printf 'printer1:\n' >"$dir/printcap"
  cat >"$dir/smb.conf" <<CONF
[global]
  workgroup = MIRELKA
  netbios name = LOOPSRV
  server role = standalone server
  interfaces = lo
  bind interfaces only = yes
  smb ports = 445
  disable netbios = yes
$(samba_test_globals "$dir")
  printcap name = $dir/printcap
  disable spoolss = no
$(cat "$dir/extra-global" 2>/dev/null || true)
$(samba_guest_share 公開 "$dir/share")
$(samba_guest_share 共有データ "$dir/share")
$(samba_guest_share "my docs" "$dir/share")
[x\$]
  path = $dir/share
  guest ok = yes
[printer1]
  path = $dir/spool
  printable = yes
  guest ok = yes
CONF
  # Shares a test adds: one name per line of DIR/extra-shares, bytes as they are.
  if [ -f "$dir/extra-shares" ]; then
    while IFS= read -r name; do
      samba_guest_share "$name" "$dir/share" >>"$dir/smb.conf"
    done <"$dir/extra-shares"
  fi
  ip link set lo up 2>/dev/null || true
  setsid smbd -F --no-process-group --debug-stdout -d 1 -s "$dir/smb.conf" >"$dir/smbd.out" 2>&1 &
  echo $! >"$dir/smbd.pid"
  stop_when_owner_exits stop
  port=$(sed -n 's/^ *smb ports *= *\([0-9][0-9]*\).*/\1/p' "$dir/extra-global" 2>/dev/null | tail -n 1)
  port=${port:-445}
  i=0
  until (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$(cat "$dir/smbd.pid")" 2>/dev/null; then
      cat "$dir/smbd.out" >&2
      stop
      exit 1
    fi
    sleep 0.1
  done
  cat "$dir/smbd.pid"
}

case $cmd in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
