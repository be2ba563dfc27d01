#!/usr/bin/env bash
# Process start to the main window mapped on a virtual display, median of 5.
# Runs inside an empty network namespace (the program browses at start-up).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$here/build/bin/mirelka}
command -v xwininfo >/dev/null || { echo "needs xwininfo (x11-utils)"; exit 1; }
[ "${MLK_IN_NS:-}" = 1 ] || exec unshare --net -- env MLK_IN_NS=1 sh -c "ip link set lo up; exec '$0' '$program'"

display=:93
Xvfb $display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

times=()
for run in 1 2 3 4 5; do
  work=$(mktemp -d)
  cp "$program" "$(dirname "$program")/libmirelka.so" "$work/"
  start=$(date +%s%N)
  DISPLAY=$display "$work/mirelka" 2>/dev/null &
  pid=$!
  until DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q 'Mirelka β1'; do sleep 0.005; done
  end=$(date +%s%N)
  kill $pid; wait $pid 2>/dev/null || true
  rm -rf "$work"
  times+=($(( (end - start) / 1000000 )))
  echo "run $run: ${times[-1]} ms"
done
printf '%s\n' "${times[@]}" | sort -n | sed -n 3p | xargs printf 'median: %s ms (start to window mapped)\n'
