#!/bin/bash
# The window's merged workgroup listing ("実行": browse list, WS-Discovery and
# DNS-SD) on the test LAN, beside the tools a user would otherwise run:
# avahi-browse for DNS-SD and smbtree for the browse list. Needs root,
# hyperfine, avahi-utils and the Samba tools; builds nothing: pass the folder
# holding mlk_listing and libmirelka.so.
#
#   bench/listing-side-by-side.sh [BIN_DIR] [RUNS]
#
# "click to 終了" is the median of RUNS listings inside one mlk_listing
# process (the window's Button5Click, from the click to the status "終了");
# the peers' figures are medians of RUNS whole-process runs after 3 warm-up
# runs (hyperfine).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-10}
LAN="$ROOT/tests/lan/testlan.sh"
LISTING="$BIN/mlk_listing"

[ "$(id -u)" = 0 ] || { echo "needs root" >&2; exit 1; }
[ -x "$LISTING" ] || { echo "no $LISTING: build the mlk_listing target" >&2; exit 1; }
for tool in hyperfine avahi-browse smbtree; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

# The LAN is built from a network namespace of its own, like the tests.
if [ -z "${MLK_LAN_ISOLATED:-}" ]; then
  exec unshare --net env MLK_LAN_ISOLATED=1 sh -c 'ip link set lo up; exec "$0" "$@"' "$0" "$@"
fi

export MLK_LAN_DIR
MLK_LAN_DIR=$(mktemp -d /tmp/mlk-bench-XXXXXX)
OUT=$(mktemp -d /tmp/mlk-bench-out-XXXXXX)
trap '"$LAN" stop; rm -rf "$OUT"' EXIT
"$LAN" start >&2
TOOLS="$MLK_LAN_DIR/client/tools.conf"  # the client's settings plus SMB1 for browsing

median() {  # COMMAND
  local json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -N -i --warmup 3 --runs "$RUNS" --export-json "$json" "$1" >/dev/null 2>&1
  python3 -c 'import json, sys
print("%.1f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

listing() {  # WORKGROUP: median ms, then the rows found
  "$LAN" exec-client "$LISTING" -r "$RUNS" "$1" >"$OUT/rows" 2>"$OUT/err"
  sed -n 's/^median \([0-9.]*\) ms.*/\1/p' "$OUT/err"
}

echo "timing (runs: $RUNS) ..." >&2
ours=$(listing TESTGROUP)
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
other=$(listing OTHERGRP)

ratio() { python3 -c 'import sys; a, b = map(float, sys.argv[1:]); print("%.2f" % (a / b))' "$1" "$2"; }

echo
echo "| what | median ms | rows | ours / this |"
echo "|---|---:|---:|---:|"
echo "| ours: 実行 TESTGROUP, click to $status | $ours | $rows | - |"
echo "| ours: 実行 OTHERGRP, click to 終了 | $other | $(grep -vc '^status: ' "$OUT/rows") | - |"
echo "| avahi-browse -rt _smb._tcp (DNS-SD only) | $avahi | - | $(ratio "$ours" "$avahi") |"
echo "| smbtree -S (browse list only) | $smbtree | - | $(ratio "$ours" "$smbtree") |"
