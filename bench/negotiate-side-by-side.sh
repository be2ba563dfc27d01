#!/bin/bash
# The SMB negotiate probe's added cost on an answering computer, beside the
# present TCP-only check, in one run: negotiate_bench against a real smbd on
# 127.0.0.1, inside an empty network namespace of its own, for a current
# server (SMB2 on 445), an SMB1-only one (445) and one on 139 alone (NetBIOS
# session first). smbd is started and stopped by tests/netinfo/smbd_fixture.sh.
# Needs root and smbd; builds nothing: pass the folder holding negotiate_bench.
#
#   bench/negotiate-side-by-side.sh [BIN_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
if [ "${MLK_IN_NETNS:-}" != 1 ]; then
  exec unshare --net env MLK_IN_NETNS=1 bash "$0" "$BIN"
fi
ip link set lo up
dir=$(mktemp -d /tmp/mirelka-negotiate-bench.XXXXXX)
trap 'bash "$ROOT/tests/netinfo/smbd_fixture.sh" stop "$dir/server" >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT

run() {  # TITLE [GLOBAL LINES...]
  local title=$1
  shift
  bash "$ROOT/tests/netinfo/smbd_fixture.sh" stop "$dir/server" >/dev/null 2>&1 || true
  rm -rf "$dir/server"
  mkdir -p "$dir/server"
  printf '%s\n' "$@" >"$dir/server/extra-global"
  bash "$ROOT/tests/netinfo/smbd_fixture.sh" start "$dir/server" >/dev/null
  echo "== $title"
  # One row at a time, a pause between: smbd forks a child for every
  # connection, and the children of one row must not run into the next.
  for row in Negotiate TcpOnly Connectpc NegotiateInstantPeer; do
    sleep 2
    "$BIN/negotiate_bench" --benchmark_filter="^$row/" 2>/dev/null | grep -E "^$row/"
  done
}

run "SMB2 server on 445"
run "SMB1-only server on 445" "server min protocol = NT1" "server max protocol = NT1"
run "SMB2 server on 139 alone" "smb ports = 139"
