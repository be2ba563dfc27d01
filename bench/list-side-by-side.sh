#!/bin/bash
# The one-shot `mirelka list` on the test LAN, in one run beside the tools a
# user would otherwise run: `smbtree -S` (the browse list) and
# `avahi-browse -rt _smb._tcp` (DNS-SD through the client's avahi-daemon).
# Then DNS-SD alone: `mirelka list` without the client's avahi bus (DNS-SD
# through its own multicast DNS browse) beside avahi-browse, for the rows
# each finds and the time to its last row. Needs root, hyperfine,
# avahi-utils and the Samba tools; builds nothing: pass the folder holding
# the mirelka program and libmirelka.so.
#
#   bench/list-side-by-side.sh [BIN_DIR] [RUNS]
#
# Times are medians of RUNS whole-process runs after 3 warm-up runs
# (hyperfine), in ms. "time to last row" is the median, over RUNS runs, of the
# moment after the start at which the command printed its last line that
# names a computer (a peer's output is read line by line as it comes).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-10}
. "$ROOT/bench/lan-bench.sh"
MIRELKA="$BIN/mirelka"

bench_needs hyperfine avahi-browse smbtree
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

# Median time to the last line matching PATTERN, and the rows of the last
# run (the lines matching it), over RUNS runs of COMMAND.
last_row() {  # PATTERN COMMAND...
  "$LAN" exec-client python3 - "$RUNS" "$@" <<'PY'
import re, statistics, subprocess, sys, time
runs, pattern, command = int(sys.argv[1]), re.compile(sys.argv[2]), sys.argv[3:]
times, rows = [], []
for _ in range(runs):
    start = time.monotonic()
    last, rows = None, []
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True) as p:
        for line in p.stdout:
            if pattern.search(line):
                last = time.monotonic() - start
                rows.append(line.strip())
    if last is not None:
        times.append(last * 1000)
print("%.1f %d" % (statistics.median(times) if times else -1, len(rows)))
PY
}

echo "# \`mirelka list\` on the test LAN, $(date -u +%F), medians of $RUNS runs (ms)"
echo
echo "| command | ms | rows |"
echo "|---|---|---|"
count_json() { python3 -c 'import json, sys; print(len(json.load(sys.stdin)["computers"]))'; }
ours=$(median "$MIRELKA --json list TESTGROUP")
rows=$("$LAN" exec-client "$MIRELKA" --json list TESTGROUP | count_json)
echo "| mirelka --json list TESTGROUP | $ours | $rows |"
nobus=$(median "$NOBUS $MIRELKA --json list TESTGROUP")
rows=$("$LAN" exec-client $NOBUS "$MIRELKA" --json list TESTGROUP | count_json)
echo "| the same without avahi-daemon (own mDNS browse) | $nobus | $rows |"
tree=$(median "smbtree -s $TOOLS -U guest% -S")
rows=$("$LAN" exec-client smbtree -s "$TOOLS" -U guest% -S 2>/dev/null | grep -c '^\\\\' || true)
echo "| smbtree -S | $tree | $rows |"
avahi=$(median "avahi-browse -rt _smb._tcp")
rows=$("$LAN" exec-client avahi-browse -rtp _smb._tcp 2>/dev/null | grep -c '^=' || true)
echo "| avahi-browse -rt _smb._tcp | $avahi | $rows |"
echo
echo "DNS-SD alone: time to the last row (ms) and rows found"
echo
echo "| command | to last row | rows |"
echo "|---|---|---|"
# The listing's rows with DNS-SD among their sources (JSON, one field a line).
read -r t n <<<"$(last_row '"dns-sd"' $NOBUS "$MIRELKA" --json list TESTGROUP)"
echo "| mirelka list, own mDNS browse (rows from DNS-SD) | $t | $n |"
read -r t n <<<"$(last_row '^=' avahi-browse -rtp _smb._tcp)"
echo "| avahi-browse -rtp _smb._tcp (resolved rows) | $t | $n |"
