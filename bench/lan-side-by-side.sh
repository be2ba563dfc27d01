#!/bin/bash
# Warm timings on the test LAN, our calls beside the tools a user would
# otherwise run, from the LAN's client namespace. Needs root, hyperfine and
# the Samba tools; builds nothing: pass the folder holding mlk_probe,
# mlk_enum and libmirelka.so.
#
#   bench/lan-side-by-side.sh [BIN_DIR] [RUNS]
#
# With BASE_BIN set to a folder holding an earlier build's mlk_probe and
# libmirelka.so, the NetBIOS lookups are also timed with that build in the
# same run ("before").
#
# Each row is the median wall time of RUNS whole-process runs after 3 warm-up
# runs (hyperfine); "in-process" is the median of one call repeated RUNS times
# inside one mlk_probe or mlk_enum process. Failing calls are compared with the bound that
# the companion library sets itself.
#
# First the subcommands, whole process, each beside its peer in one hyperfine
# run (mean of RUNS, after one warm-up): `mirelka --json list TESTGROUP`
# beside `smbtree -S` (with the computers each found), and `mirelka shares`
# over 18 hosts beside a `smbclient -L` loop over the same names. ONLY=cli
# stops after them.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-20}
SLOW_RUNS=5
. "$ROOT/bench/lan-bench.sh"
PROBE="$BIN/mlk_probe"
ENUM="$BIN/mlk_enum"

bench_needs mlk_probe mlk_enum hyperfine

start_bench_lan "$@"
TOOLS="$MLK_LAN_DIR/client/tools.conf"  # the client's settings plus SMB1 for browsing

# Bounds of a failing call, from the companion library's own limits:
# a name query gives up after 250 ms (companion/exchange.h),
# a connection check waits 1000 ms on each of 445 and 139 (companion/resolve.cpp).
BOUND_NAME_MS=250
BOUND_CONNECT_MS=2000

# hyperfine in the client namespace; prints the median in ms.
median() {  # RUNS COMMAND
  local runs=$1 json
  json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -N -i --warmup 3 --runs "$runs" --export-json "$json" "$2" >/dev/null 2>&1
  python3 -c 'import json, sys
print("%.1f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

# Median of one call inside one process (-r of the probes).
in_process() {  # TOOL ARGS...
  local tool=$1
  shift
  "$LAN" exec-client "$tool" -r "$RUNS" "$@" 2>&1 >/dev/null | sed -n 's/^median \([0-9.]*\) ms.*/\1/p'
}

ratio() {
  python3 -c 'import sys; a, b = map(float, sys.argv[1:]); print("%.2f" % (a / b) if b else "-")' "$1" "$2"
}

rows=()
row() {  # LABEL OURS_CMD PEER_LABEL PEER_CMD RUNS [IN_PROCESS_TOOL ARGS...]
  local label=$1 ours=$2 peerLabel=$3 peer=$4 runs=$5
  shift 5
  local a b c="-"
  a=$(median "$runs" "$ours")
  b=$(median "$runs" "$peer")
  if [ $# -gt 0 ]; then c=$(in_process "$@"); fi
  rows+=("$(printf '| %s | %s | %s | %s | %s | %s |' "$label" "$a" "$c" "$peerLabel" "$b" \
    "$(ratio "$a" "$b")")")
  echo "${rows[-1]}" >&2
}

bound_row() {  # LABEL OURS_CMD BOUND_MS
  local a
  a=$(median "$SLOW_RUNS" "$2")
  rows+=("$(printf '| %s | %s | - | bound | %s | %s |' "$1" "$a" "$3" "$(ratio "$a" "$3")")")
  echo "${rows[-1]}" >&2
}

# Both commands in one hyperfine run; prints "ours_ms peer_ms" (means).
side_by_side() {  # OURS PEER
  local json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -N -i --warmup 1 --runs "$RUNS" --export-json "$json" "$1" "$2" >/dev/null 2>&1
  python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"]
print("%.1f %.1f" % (r[0]["mean"] * 1000, r[1]["mean"] * 1000))' "$json"
}
MIRELKA="$BIN/mirelka"
if [ -x "$MIRELKA" ]; then
  echo "subcommands (runs: $RUNS) ..." >&2
  read -r a b <<<"$(side_by_side "$MIRELKA --json list TESTGROUP" "smbtree -s $TOOLS -U guest% -S")"
  found=$("$LAN" exec-client "$MIRELKA" --json list TESTGROUP | python3 -c 'import json, sys
print(len(json.load(sys.stdin)["computers"]))')
  theirs=$("$LAN" exec-client smbtree -s "$TOOLS" -U guest% -S 2>/dev/null |
    awk '/^[^\t]/ { in_group = ($1 == "TESTGROUP") } in_group && /^\t\\\\/ { n++ } END { print n + 0 }')
  rows+=("$(printf '| mirelka --json list TESTGROUP (%s computers) | %s | - | smbtree -S (%s in TESTGROUP) | %s | %s |' \
    "$found" "$a" "$theirs" "$b" "$(ratio "$a" "$b")")")
  echo "${rows[-1]}" >&2
  hosts="MEMBER1 MEMBER2 $(printf 'FARM%02d ' $(seq 1 16))"
  read -r a b <<<"$(side_by_side "$MIRELKA shares $hosts" \
    "sh -c 'for h in $hosts; do smbclient -s $TOOLS -N -L //\$h >/dev/null 2>&1; done'")"
  rows+=("$(printf '| mirelka shares (18 hosts) | %s | - | smbclient -L loop (18 hosts) | %s | %s |' "$a" "$b" \
    "$(ratio "$a" "$b")")")
  echo "${rows[-1]}" >&2
fi
if [ "${ONLY:-}" = cli ]; then
  echo
  echo "| ours | mean ms | in-process ms | peer | mean ms | ratio |"
  echo "|---|---:|---:|---|---:|---:|"
  printf '%s\n' "${rows[@]}"
  exit 0
fi

echo "timing (runs: $RUNS, failing calls: $SLOW_RUNS) ..." >&2
row "nametoip MEMBER2" "$PROBE nametoip MEMBER2" "nmblookup MEMBER2" "nmblookup MEMBER2" "$RUNS" \
  "$PROBE" nametoip MEMBER2
# Against the earlier build: in-process medians (RUNS * 5 calls each), ours
# and before taken turn about three times so that load on the machine falls
# on both; the row shows the median of the three medians.
before_row() {  # CALL ARG
  local a=() b=() i
  for i in 1 2 3; do
    a+=("$(RUNS=$((RUNS * 5)) in_process "$PROBE" "$1" "$2")")
    b+=("$(RUNS=$((RUNS * 5)) in_process "$BASE_PROBE" "$1" "$2")")
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | sort -n | sed -n 2p)
  mb=$(printf '%s\n' "${b[@]}" | sort -n | sed -n 2p)
  rows+=("$(printf '| %s %s | - | %s | before: %s %s (in-process) | %s | %s |' "$1" "$2" "$ma" "$1" "$2" "$mb" "$(ratio "$ma" "$mb")")")
  echo "${rows[-1]}" >&2
}
if [ -n "${BASE_BIN:-}" ]; then
  BASE_PROBE="$(cd "$BASE_BIN" && pwd)/mlk_probe"
  before_row nametoip MEMBER2
  before_row iptoname 10.231.0.12
  before_row connectpc MEMBER2
fi
# Names only multicast DNS or only LLMNR knows, beside the desktop's own
# mDNS lookup (through the client's avahi-daemon) of MDNSHOST.
row "nametoip MDNSHOST (mDNS only)" "$PROBE nametoip MDNSHOST" "avahi-resolve -n mdnshost.local" \
  "avahi-resolve -n mdnshost.local" "$RUNS" "$PROBE" nametoip MDNSHOST
row "nametoip WSDHOST (LLMNR only)" "$PROBE nametoip WSDHOST" "avahi-resolve -n mdnshost.local" \
  "avahi-resolve -n mdnshost.local" "$RUNS" "$PROBE" nametoip WSDHOST
row "iptoname 10.231.0.31 (mDNS only)" "$PROBE iptoname 10.231.0.31" "avahi-resolve -a 10.231.0.31" \
  "avahi-resolve -a 10.231.0.31" "$RUNS" "$PROBE" iptoname 10.231.0.31
row "iptoname 10.231.0.12" "$PROBE iptoname 10.231.0.12" "nmblookup -A 10.231.0.12" \
  "nmblookup -A 10.231.0.12" "$RUNS" "$PROBE" iptoname 10.231.0.12
row "connectpc MEMBER2" "$PROBE connectpc MEMBER2" "nmblookup MEMBER2" "nmblookup MEMBER2" "$RUNS" \
  "$PROBE" connectpc MEMBER2
row "enum TESTGROUP" "$ENUM TESTGROUP" "smbtree -S" "smbtree -s $TOOLS -U guest% -S" "$RUNS" \
  "$ENUM" TESTGROUP
row "enum TESTGROUP" "$ENUM TESTGROUP" "smbtree -D" "smbtree -s $TOOLS -U guest% -D" "$RUNS"
row "enum TESTGROUP" "$ENUM TESTGROUP" "nmblookup -M TESTGROUP" "nmblookup -M TESTGROUP" "$RUNS"
row "workgroup name (start-up)" "$ENUM -w" "smbtree -D" "smbtree -s $TOOLS -U guest% -D" "$RUNS" "$ENUM" -w
row "enum \\\\MEMBER2 (2 shares)" "$ENUM '\\\\MEMBER2' ''" "smbclient -L //MEMBER2 -N" \
  "smbclient -L //MEMBER2 -N" "$RUNS" "$ENUM" '\\MEMBER2' ''
row "enum \\\\BIGSHARE (501 shares)" "$ENUM '\\\\BIGSHARE' ''" "smbclient -L //BIGSHARE -N" \
  "smbclient -L //BIGSHARE -N" "$RUNS" "$ENUM" '\\BIGSHARE' ''
row "enum \\\\10.231.0.12 (by address)" "$ENUM '\\\\10.231.0.12' ''" "smbclient -L //10.231.0.12 -N" \
  "smbclient -L //10.231.0.12 -N" "$RUNS" "$ENUM" '\\10.231.0.12' ''
row "nametoip NOSUCHPC (fails)" "$PROBE nametoip NOSUCHPC" "nmblookup NOSUCHPC" "nmblookup NOSUCHPC" \
  "$SLOW_RUNS"
row "enum \\\\NOSUCHPC (fails)" "$ENUM '\\\\NOSUCHPC' ''" "smbclient -L //NOSUCHPC -N" \
  "smbclient -L //NOSUCHPC -N" "$SLOW_RUNS"
row "enum \\\\10.231.0.77 (fails)" "$ENUM '\\\\10.231.0.77' ''" "smbclient -L //10.231.0.77 -N" \
  "smbclient -L //10.231.0.77 -N" "$SLOW_RUNS"
bound_row "connectpc 10.231.0.77 (unused address)" "$PROBE connectpc 10.231.0.77" "$BOUND_CONNECT_MS"
bound_row "connectpc NOSUCHPC (unknown name)" "$PROBE connectpc NOSUCHPC" "$BOUND_NAME_MS"
bound_row "nametoip GARBLER (garbage answers)" "$PROBE nametoip GARBLER" "$BOUND_NAME_MS"

echo
echo "| ours | median ms | in-process ms | peer | median ms | ratio |"
echo "|---|---:|---:|---|---:|---:|"
printf '%s\n' "${rows[@]}"
