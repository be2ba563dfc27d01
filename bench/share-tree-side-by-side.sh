#!/bin/bash
# The share tree ("リソース展開") on the test LAN, end to end, side by side in
# one run over the same rows:
#   - the window: the real window clicked, from the click to the status
#     "終了", with the longest a 10 ms heartbeat timer on the window's thread
#     was kept waiting, and the resident memory of the window and of its SMB
#     helpers afterwards (mlk_tree);
#   - with BASE_BIN_DIR, the same window of another build (mlk_tree there),
#     run alternately with this one on the same LAN;
#   - serial: the same rows through the share tree's engine one at a time
#     (mlk_tree -w 1, the sum of the rows' own times), and the engine alone
#     with 8 and 16 workers;
#   - a shell loop of `smbclient -N -L` over the same rows, as the peer.
# Row sets: 28 rows of which 10 are silent (6 names nobody holds, 4 unused
# addresses), first with every answering server cold (its smbd restarted
# just before, so that its RPC workers start on the first listing) and then
# warm; 22 rows of which 4 are hung servers (accept TCP on 445 and 139,
# never answer); 100 answering rows (20 computers five times over); 4 rows
# of which one is an unknown name, with the time its box came. Then a
# share listing's own cost (mlk_enum -r: the median of 50 calls in one
# process) and the resident memory of each window left idle for 6 s.
# Needs root and the Samba tools; builds nothing: pass the folder holding
# mlk_tree, mlk_enum, mirelka and libmirelka.so (and mirelka-smb).
#
#   bench/share-tree-side-by-side.sh [BIN_DIR] [RUNS] [BASE_BIN_DIR]
#
# With ONLY=hung, only the 22 rows of which 4 are hung, every answering
# server cold before each run, RUNS times alternately, with the time each
# row's box came (the hung rows' among them).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-3}
BASE=""
if [ -n "${3:-}" ]; then BASE=$(cd "$3" && pwd); fi
. "$ROOT/bench/lan-bench.sh"

bench_needs mlk_tree mlk_enum smbclient

start_bench_lan "$@"

farm() { for i in $(seq -w "$1" "$2"); do printf 'FARM%s ' "$i"; done; }
ANSWERING28="WGMASTER MEMBER1 MEMBER2 BIGSHARE OTHERPC $(farm 1 13)"
SILENT="NOBODY1 NOBODY2 NOBODY3 NOBODY4 NOBODY5 NOBODY6 10.231.0.90 10.231.0.91 10.231.0.92 10.231.0.93"
HUNG="TARPIT TARPIT2 TARPIT3 TARPIT4"
# The silent and hung rows spread among the answering ones, as on an office list.
spread() { paste -d' ' <(tr ' ' '\n' <<<"$1" | grep .) <(tr ' ' '\n' <<<"$2" | grep .; yes '' | head -"$3") | tr -s ' ' | tr '\n' ' '; }
ROWS28=$(spread "$ANSWERING28" "$SILENT" 8)
ROWS22=$(spread "$ANSWERING28" "$HUNG" 14)
ROWS100=""
for _ in 1 2 3 4 5; do ROWS100+="WGMASTER MEMBER1 MEMBER2 OTHERPC $(farm 1 16) "; done

client() { "$LAN" exec-client "$@"; }

# The builds to compare: this one, and the base one when given.
BUILDS=("$BIN")
[ -z "$BASE" ] || BUILDS+=("$BASE")
name_of() { if [ "$1" = "$BIN" ]; then echo this; else echo base; fi; }

window() {  # BUILD ROWS...
  local build=$1
  shift
  client "$build/mlk_tree" "$@" 2>/dev/null | sed "s/^/$(name_of "$build"): /"
}

smbclient_loop() {  # ROWS...
  local start end row
  start=$(date +%s%N)
  for row in "$@"; do
    client timeout 30 smbclient -N -g -L "//$row" >/dev/null 2>&1 || true
  done
  end=$(date +%s%N)
  echo "smbclient loop $(((end - start) / 1000000)) ms"
}

if [ "${ONLY:-}" = hung ]; then
  read -r -a list <<<"$ROWS22"
  read -r -a answering <<<"$ANSWERING28"
  echo "== ${#list[@]} rows, 4 hung, cold servers"
  for _ in $(seq "$RUNS"); do
    for build in "${BUILDS[@]}"; do
      "$LAN" cold-smbd "${answering[@]}"
      client "$build/mlk_tree" "${list[@]}" 2>&1 | grep -E '^(window|box at)' | sed "s/^/$(name_of "$build"): /"
    done
  done
  exit 0
fi

read -r -a list <<<"$ROWS28"
echo "== ${#list[@]} rows, 10 silent, cold servers"
read -r -a answering <<<"$ANSWERING28"
for build in "${BUILDS[@]}"; do
  "$LAN" cold-smbd "${answering[@]}"
  window "$build" "${list[@]}"
done

for set in 28 22 100; do
  rows=ROWS$set
  read -r -a list <<<"${!rows}"
  echo "== ${#list[@]} rows, warm"
  for _ in $(seq "$RUNS"); do
    for build in "${BUILDS[@]}"; do window "$build" "${list[@]}"; done
  done
  [ "$set" = 22 ] && continue
  for workers in 1 8 16; do client "$BIN/mlk_tree" -w "$workers" "${list[@]}" 2>/dev/null; done
  smbclient_loop "${list[@]}"
done

echo "== 4 rows, one an unknown name: when its box comes after the click"
for _ in $(seq "$RUNS"); do
  for build in "${BUILDS[@]}"; do
    client "$build/mlk_tree" WGMASTER MEMBER1 NOSUCHPC MEMBER2 2>&1 | grep -E '^(window|box at)' |
      sed "s/^/$(name_of "$build"): /"
  done
done

echo "== one share listing of FARM01, warm (median of 50 in one process)"
for build in "${BUILDS[@]}"; do
  printf '%s: ' "$(name_of "$build")"
  client "$build/mlk_enum" -r 50 '\\FARM01' 2>&1 >/dev/null | tail -n 1
done

echo "== the window idle 6 s after start-up (offscreen), resident memory"
for build in "${BUILDS[@]}"; do
  # A copy of its own, so that its list file goes there and not beside the build.
  copy=$(mktemp -d "$OUT/window-XXXXXX")
  cp "$build/mirelka" "$build/libmirelka.so" "$copy/"
  [ ! -e "$build/mirelka-smb" ] || cp "$build/mirelka-smb" "$copy/"
  printf '%s: ' "$(name_of "$build")"
  client env QT_QPA_PLATFORM=offscreen HOME="$copy" sh -c '
    "$1/mirelka" >/dev/null 2>&1 & pid=$!
    sleep 6
    window=$(awk "/^VmRSS/ { print \$2 }" /proc/$pid/status)
    helpers=$(for c in $(pgrep -P $pid); do awk "/^VmRSS/ { print \$2 }" /proc/$c/status; done | tr "\n" " ")
    smb=$(grep -c libsmbclient /proc/$pid/maps || true)
    kill -KILL $pid; wait $pid 2>/dev/null
    echo "window $window KiB (libsmbclient mapped: $smb), helpers [ $helpers] KiB"' sh "$copy"
done
