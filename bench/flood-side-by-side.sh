#!/bin/bash
# A name query under a flood beside the same query on a quiet LAN, on the
# test LAN of tests/lan/testlan.sh: FLOODER answers every query for FLOODME
# with a second of the largest answers there are (tests/lan/floodpeer.py);
# nobody answers NOSUCHPC. Both lookups fail, so both are bounded by the
# 250 ms the companion library gives a name. Needs root and hyperfine; pass
# the folder holding mlk_probe and libmirelka.so. With BASE_BIN set to an
# earlier build's folder, that build is timed too, turn about with ours.
#
#   bench/flood-side-by-side.sh [BIN_DIR] [RUNS]
#
# Each row: the median and the slowest of RUNS whole-process runs of
# mlk_probe after one warm-up run (hyperfine), and its ratio to the bound.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-20}
. "$ROOT/bench/lan-bench.sh"
BOUND_NAME_MS=250

bench_needs mlk_probe hyperfine

start_bench_lan "$@"

row() {  # LABEL PROBE NAME
  local json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -N -i --warmup 1 --runs "$RUNS" --export-json "$json" "$2 nametoip $3" >/dev/null 2>&1
  python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
med, top, bound = r["median"] * 1000, r["max"] * 1000, float(sys.argv[3])
print("| %s | %.1f | %.1f | %.2f |" % (sys.argv[2], med, top, med / bound))' "$json" "$1" "$BOUND_NAME_MS"
}

echo "| call | median ms | slowest ms | median / 250 ms bound |"
echo "|---|---:|---:|---:|"
for turn in 1 2; do
  sleep 2  # the last flood is over
  row "nametoip NOSUCHPC (quiet, turn $turn)" "$BIN/mlk_probe" NOSUCHPC
  row "nametoip FLOODME (flood, turn $turn)" "$BIN/mlk_probe" FLOODME
  if [ -n "${BASE_BIN:-}" ]; then
    sleep 2
    row "before: nametoip NOSUCHPC (quiet, turn $turn)" "$(cd "$BASE_BIN" && pwd)/mlk_probe" NOSUCHPC
    row "before: nametoip FLOODME (flood, turn $turn)" "$(cd "$BASE_BIN" && pwd)/mlk_probe" FLOODME
  fi
done
