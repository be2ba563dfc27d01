#!/usr/bin/env bash
# The companion library's two loopback cases of companion_bench (nametoip of
# a dotted address, connectpc to 127.0.0.1 whose ports 445 and 139 are
# closed) through mlk_probe, side by side: libmirelka.so on Linux and
# mirelka.dll under Wine, in one network namespace of their own (loopback
# only). Needs root, the native build (BUILD, default build) and the Windows
# build (BUILD_WIN, default build-win) with the target mlk_probe in both:
#
#   cmake --build build --target mlk_probe && scripts/build-windows.sh
#   sudo bench/wine-companion.sh [CALLS]
#
# Prints the median time of one call inside one process (CALLS calls, 200 by
# default) and the median wall time of whole-process runs (one call each).
set -euo pipefail
cd "$(dirname "$0")/.."
calls=${1:-200}
build=${BUILD:-build}
build_win=${BUILD_WIN:-build-win}
for f in "$build/bin/mlk_probe" "$build_win/bin/mlk_probe.exe" "$build_win/bin/mirelka.dll"; do
  [ -e "$f" ] || { echo "missing $f (see the header of this script)" >&2; exit 2; }
done
prefix=$(mktemp -d "${TMPDIR:-/tmp}/mirelka-wine.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

WINEPREFIX=$prefix unshare --net -- bash -s "$calls" "$build" "$build_win" <<'INNER'
set -euo pipefail
calls=$1 build=$2 build_win=$3
ip link set lo up
scripts/wine-run.sh --start
trap 'scripts/wine-run.sh --stop' EXIT

# "median X ms over N calls" from the probe's standard error.
in_process() { "$@" 2>&1 >/dev/null | sed -n 's/^median \([0-9.]*\) ms.*/\1/p'; }
# Median wall time in ms of 21 whole-process runs.
per_process() {
  local times=()
  for _ in $(seq 21); do
    local t0 t1
    t0=$(date +%s%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 11p | awk '{ printf "%.1f", $1 / 1000 }'
}

linux=("$build/bin/mlk_probe")
wine=(scripts/wine-run.sh "$build_win/bin/mlk_probe.exe")
printf '%-36s %14s %14s %14s %14s\n' case "Linux ms/call" "Wine ms/call" "Linux ms/run" "Wine ms/run"
for c in "nametoip 192.168.10.20" "connectpc 127.0.0.1"; do
  read -r entry input <<<"$c"
  printf '%-36s %14s %14s %14s %14s\n' "$c" \
    "$(in_process "${linux[@]}" -r "$calls" "$entry" "$input")" \
    "$(in_process "${wine[@]}" -r "$calls" "$entry" "$input")" \
    "$(per_process "${linux[@]}" "$entry" "$input")" \
    "$(per_process "${wine[@]}" "$entry" "$input")"
done
INNER
