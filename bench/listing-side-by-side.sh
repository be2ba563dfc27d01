#!/bin/bash
# The window's merged workgroup listing ("実行": browse list, WS-Discovery and
# DNS-SD) on the test LAN, beside the tools a user would otherwise run:
# avahi-browse for DNS-SD and smbtree for the browse list. Needs root,
# hyperfine, avahi-utils and the Samba tools; builds nothing: pass the folder
# holding mlk_listing and libmirelka.so.
#
#   bench/listing-side-by-side.sh [BIN_DIR] [RUNS] [IDLE_SECONDS]
#
# "warm" is the median of RUNS listings inside one mlk_listing process (the
# window's Button5Click, from the click to the status "終了", 200 ms apart,
# after a first one); "cold" is that first click, right after start-up, while
# the sources' first search runs. The peers' figures are medians of RUNS
# whole-process runs after 3 warm-up runs (hyperfine). Then the window idles
# IDLE_SECONDS (60) with its sources running and without them: CPU time and
# peak memory.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-10}
IDLE=${3:-60}
. "$ROOT/bench/lan-bench.sh"
LISTING="$BIN/mlk_listing"

bench_needs mlk_listing hyperfine avahi-browse smbtree

start_bench_lan "$@"
TOOLS="$MLK_LAN_DIR/client/tools.conf"  # the client's settings plus SMB1 for browsing

median() {  # COMMAND
  local json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -N -i --warmup 3 --runs "$RUNS" --export-json "$json" "$1" >/dev/null 2>&1
  python3 -c 'import json, sys
print("%.1f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

listing() {  # WORKGROUP: cold and warm ms, then the rows found
  "$LAN" exec-client "$LISTING" -r "$RUNS" "$1" >"$OUT/rows" 2>"$OUT/err"
  printf '%s %s\n' "$(sed -n 's/^first \([0-9.]*\) ms.*/\1/p' "$OUT/err")" \
    "$(sed -n 's/^median \([0-9.]*\) ms.*/\1/p' "$OUT/err")"
}

echo "timing (runs: $RUNS) ..." >&2
read -r cold ours <<<"$(listing TESTGROUP)"
rows=$(grep -vc '^status: ' "$OUT/rows")
status=$(sed -n 's/^status: //p' "$OUT/rows")
# hyperfine -i would time a failing avahi-browse as a fast one: make sure it
# really sees the DNS-SD host before timing it.
if "$LAN" exec-client avahi-browse -rtpk _smb._tcp 2>/dev/null | grep -q ';mdnshost\.local;'; then
  avahi=$(median "avahi-browse -rt _smb._tcp")
else
  echo "avahi-browse does not see MDNSHOST on the client; not timed" >&2
  avahi=nan
fi
smbtree=$(median "smbtree -s $TOOLS -U guest% -S")
read -r _ other <<<"$(listing OTHERGRP)"
otherRows=$(grep -vc '^status: ' "$OUT/rows")
idle() {  # [-n]: CPU ms and peak KiB of IDLE seconds
  "$LAN" exec-client "$LISTING" -i "$IDLE" "$@" TESTGROUP 2>&1 >/dev/null |
    sed -n 's/^idle [0-9]* s: cpu \([0-9.]*\) ms, peak rss \([0-9]*\) KiB/\1 \2/p'
}
echo "idling (${IDLE} s twice) ..." >&2
read -r liveCpu liveRss <<<"$(idle)"
read -r quietCpu quietRss <<<"$(idle -n)"

ratio() { python3 -c 'import sys; a, b = map(float, sys.argv[1:]); print("%.2f" % (a / b))' "$1" "$2"; }

echo
echo "| what | median ms | rows | ours / this |"
echo "|---|---:|---:|---:|"
echo "| ours: 実行 TESTGROUP warm, click to $status | $ours | $rows | - |"
echo "| ours: 実行 TESTGROUP cold (first click after start-up) | $cold | - | - |"
echo "| ours: 実行 OTHERGRP warm, click to 終了 | $other | $otherRows | - |"
echo "| avahi-browse -rt _smb._tcp (DNS-SD only) | $avahi | - | $(ratio "$ours" "$avahi") |"
echo "| smbtree -S (browse list only) | $smbtree | - | $(ratio "$ours" "$smbtree") |"

echo
echo "| idle ${IDLE} s | CPU ms | CPU ms per minute | peak RSS KiB |"
echo "|---|---:|---:|---:|"
perMinute() { python3 -c 'import sys; print("%.1f" % (float(sys.argv[1]) * 60 / float(sys.argv[2])))' "$1" "$IDLE"; }
echo "| sources live (Hello/Bye, DNS-SD browser, checks every 2 s) | $liveCpu | $(perMinute "$liveCpu") | $liveRss |"
echo "| no sources beside the browse list | $quietCpu | $(perMinute "$quietCpu") | $quietRss |"
