#!/bin/bash
# The share tree ("リソース展開") on the test LAN, end to end, side by side in
# one run over the same rows:
#   - the window: the real window clicked, from the click to the status
#     "終了", with the longest a 10 ms heartbeat timer on the window's thread
#     was kept waiting (mlk_tree);
#   - serial: the same rows through the share tree's engine one at a time,
#     the order the window used to follow (mlk_tree -w 1, the sum of the rows'
#     own times), and the engine alone with 8 and 16 workers (the pool size);
#   - a shell loop of `smbclient -N -L` over the same rows, as the peer.
# Row sets: 28 rows of which 10 are silent (6 names nobody holds, 4 unused
# addresses), and 100 answering rows (20 computers five times over).
# Needs root and the Samba tools; builds nothing: pass the folder holding
# mlk_tree and libmirelka.so.
#
#   bench/share-tree-side-by-side.sh [BIN_DIR] [RUNS]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-3}
. "$ROOT/bench/lan-bench.sh"
TREE="$BIN/mlk_tree"

bench_needs mlk_tree smbclient

start_bench_lan "$@"

farm() { for i in $(seq -w "$1" "$2"); do printf 'FARM%s ' "$i"; done; }
ANSWERING28="WGMASTER MEMBER1 MEMBER2 BIGSHARE OTHERPC $(farm 1 13)"
SILENT="NOBODY1 NOBODY2 NOBODY3 NOBODY4 NOBODY5 NOBODY6 10.231.0.90 10.231.0.91 10.231.0.92 10.231.0.93"
# The silent rows spread among the answering ones, as on an office list.
ROWS28=$(paste -d' ' <(tr ' ' '\n' <<<"$ANSWERING28" | grep .) <(tr ' ' '\n' <<<"$SILENT" | grep .; yes '' | head -8) | tr -s ' ' | tr '\n' ' ')
ROWS100=""
for _ in 1 2 3 4 5; do ROWS100+="WGMASTER MEMBER1 MEMBER2 OTHERPC $(farm 1 16) "; done

client() { "$LAN" exec-client "$@"; }

smbclient_loop() {  # ROWS...
  local start end row
  start=$(date +%s%N)
  for row in "$@"; do
    client timeout 30 smbclient -N -g -L "//$row" >/dev/null 2>&1 || true
  done
  end=$(date +%s%N)
  echo "smbclient loop $(((end - start) / 1000000)) ms"
}

for set in 28 100; do
  rows=ROWS$set
  read -r -a list <<<"${!rows}"
  echo "== ${#list[@]} rows"
  for _ in $(seq "$RUNS"); do client "$TREE" "${list[@]}" 2>/dev/null; done
  for workers in 1 8 16; do client "$TREE" -w "$workers" "${list[@]}" 2>/dev/null; done
  smbclient_loop "${list[@]}"
done
