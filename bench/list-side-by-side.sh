#!/bin/bash
# The one-shot `mirelka list` on the test LAN, in one run beside the tools a
# user would otherwise run: `smbtree -S` (the browse list) and
# `avahi-browse -rt _smb._tcp` (DNS-SD through the client's avahi-daemon),
# and the same list without the client's avahi bus (DNS-SD through the
# program's own multicast DNS browse). Then DNS-SD alone: one search of the
# own browse (mlk_dnssd -o) beside avahi-browse, for the rows each finds and
# the time to its last row. Needs root, hyperfine, avahi-utils and the Samba
# tools; builds nothing: pass the folder holding mirelka, mlk_dnssd and
# libmirelka.so.
#
#   bench/list-side-by-side.sh [BIN_DIR] [RUNS]
#
# With BASE_BIN set to a folder holding an earlier build's mirelka,
# mirelka-smb and libmirelka.so, its list is timed too, in the same run
# ("before").
#
# Whole commands: medians of RUNS whole-process runs after 3 warm-up runs
# (hyperfine), in ms. DNS-SD alone: over RUNS runs, the medians of the moment
# after the start at which the command printed its last line naming a
# computer ("to last row") and of its exit ("to end"), each output read line
# by line as it comes.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-10}
. "$ROOT/bench/lan-bench.sh"
MIRELKA="$BIN/mirelka"

bench_needs mlk_dnssd hyperfine avahi-browse smbtree
[ -x "$MIRELKA" ] || { echo "no $MIRELKA: build the mirelka_exe target" >&2; exit 1; }

start_bench_lan "$@"
TOOLS="$MLK_LAN_DIR/client/tools.conf"  # the client's settings plus SMB1 for browsing
NOBUS="env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"

median() {  # COMMAND
  local json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -N -i --warmup 3 --runs "$RUNS" --export-json "$json" "$1" >/dev/null 2>&1
  python3 -c 'import json, sys
print("%.1f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

# "TO_LAST_ROW TO_END ROWS" over RUNS runs of COMMAND; rows are the lines
# matching PATTERN (ROWS: of the last run).
last_row() {  # PATTERN COMMAND...
  "$LAN" exec-client python3 - "$RUNS" "$@" <<'PY'
import re, statistics, subprocess, sys, time
runs, pattern, command = int(sys.argv[1]), re.compile(sys.argv[2]), sys.argv[3:]
rows_at, ends, rows = [], [], 0
for _ in range(runs):
    start = time.monotonic()
    last, rows = None, 0
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True) as p:
        for line in p.stdout:
            if pattern.search(line):
                last = time.monotonic() - start
                rows += 1
    ends.append((time.monotonic() - start) * 1000)
    if last is not None:
        rows_at.append(last * 1000)
print("%.1f %.1f %d" % (statistics.median(rows_at) if rows_at else -1, statistics.median(ends), rows))
PY
}

count_json() { python3 -c 'import json, sys; print(len(json.load(sys.stdin)["computers"]))'; }

echo "mirelka list on the test LAN, $(date -u +%F), medians of $RUNS runs (ms)"
echo
echo "| command | ms | rows |"
echo "|---|---|---|"
t=$(median "$MIRELKA --json list TESTGROUP")
n=$("$LAN" exec-client "$MIRELKA" --json list TESTGROUP | count_json)
echo "| mirelka --json list TESTGROUP | $t | $n |"
if [ -n "${BASE_BIN:-}" ]; then
  t=$(median "$BASE_BIN/mirelka --json list TESTGROUP")
  n=$("$LAN" exec-client "$BASE_BIN/mirelka" --json list TESTGROUP | count_json)
  echo "| the same, before (BASE_BIN) | $t | $n |"
fi
t=$(median "$NOBUS $MIRELKA --json list TESTGROUP")
n=$("$LAN" exec-client $NOBUS "$MIRELKA" --json list TESTGROUP | count_json)
echo "| the same without avahi-daemon (own mDNS browse) | $t | $n |"
t=$(median "smbtree -s $TOOLS -U guest% -S")
n=$("$LAN" exec-client smbtree -s "$TOOLS" -U guest% -S 2>/dev/null |
  awk '/^[^\t]/ { in_group = ($1 == "TESTGROUP") } in_group && /^\t\\\\/ { n++ } END { print n + 0 }')
echo "| smbtree -S (computers in TESTGROUP) | $t | $n |"
t=$(median "avahi-browse -rt _smb._tcp")
n=$("$LAN" exec-client avahi-browse -rtp _smb._tcp 2>/dev/null | grep -c '^=' || true)
echo "| avahi-browse -rt _smb._tcp | $t | $n |"
echo
echo "DNS-SD alone, one search (ms)"
echo
echo "| command | to last row | to end | rows |"
echo "|---|---|---|---|"
read -r t e n <<<"$(last_row ' [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+' "$BIN/mlk_dnssd" -o)"
echo "| mlk_dnssd -o (own mDNS browse) | $t | $e | $n |"
read -r t e n <<<"$(last_row '^=' avahi-browse -rtp _smb._tcp)"
echo "| avahi-browse -rtp _smb._tcp (the daemon's cache warm) | $t | $e | $n |"
