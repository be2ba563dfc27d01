#!/usr/bin/env bash
# Process start to the main window mapped on a virtual display, then the
# window's idle CPU time and memory. Each program given is started in turn,
# RUNS times, alternating (a change of the machine's load meets them alike);
# prints each run and each program's medians.
#   bench/startup-xvfb.sh [PROGRAM...]      default: build/bin/mirelka
#   RUNS=5 IDLE=30 SETTLE=3                 runs; seconds idle measured after
#                                           SETTLE seconds (IDLE=0: none)
# Runs inside an empty network namespace (the program browses at start-up).
# Each look for the window is bounded: xwininfo was seen to wait for ever
# for a reply about a window that went away meanwhile.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- "$here/build/bin/mirelka"
runs=${RUNS:-5} idle=${IDLE:-30} settle=${SETTLE:-3}
command -v xwininfo >/dev/null || { echo "needs xwininfo (x11-utils)"; exit 1; }
# shellcheck disable=SC2016  # expanded by the inner shell
[ "${MLK_IN_NS:-}" = 1 ] || exec unshare --net -- env MLK_IN_NS=1 RUNS="$runs" IDLE="$idle" SETTLE="$settle" \
  bash -c 'ip link set lo up; exec "$0" "$@"' "$0" "$@"

# A display number of its own: Xvfb picks a free one and writes it to a file.
numbers=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numbers" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$numbers" ] && break; sleep 0.1; done
display=:$(head -n 1 "$numbers")
rm -f "$numbers"
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

ticks=$(getconf CLK_TCK)
cpu_ms() { awk -v t="$ticks" '{print ($14 + $15) * 1000 / t}' "/proc/$1/stat"; }
declare -A starts cpus rss
for run in $(seq "$runs"); do
  for program in "$@"; do
    work=$(mktemp -d)
    cp "$program" "$(dirname "$program")/libmirelka.so" "$work/"
    start=$(date +%s%N)
    HOME=$work XDG_CONFIG_HOME=$work DISPLAY=$display "$work/mirelka" 2>"$work/stderr" &
    pid=$!
    until DISPLAY=$display timeout 1 xwininfo -name 'Mirelka β1' >/dev/null 2>&1; do
      kill -0 $pid 2>/dev/null || break
      sleep 0.005
    done
    if ! kill -0 $pid 2>/dev/null; then
      # Not counted: said with the program's last words.
      echo "$program run $run: ended before its window showed: $(grep -v XDG_RUNTIME "$work/stderr" | tail -n 2)"
      rm -rf "$work"
      continue
    fi
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    line="$program run $run: ${ms} ms to window"
    starts[$program]+="$ms "
    if [ "$idle" -gt 0 ]; then
      sleep "$settle"
      before=$(cpu_ms $pid)
      sleep "$idle"
      used=$(echo "$(cpu_ms $pid) - $before" | bc)
      kib=$(awk '/^VmRSS/{print $2}' "/proc/$pid/status")
      cpus[$program]+="$used "
      rss[$program]+="$kib "
      line+=", idle ${idle} s: cpu ${used} ms, rss ${kib} KiB"
    fi
    echo "$line"
    kill $pid; wait $pid 2>/dev/null || true
    rm -rf "$work"
    while DISPLAY=$display timeout 1 xwininfo -name 'Mirelka β1' >/dev/null 2>&1; do sleep 0.05; done
  done
done
# shellcheck disable=SC2086  # a list of numbers
median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
for program in "$@"; do
  line="$program: median ${runs} runs: $(median "${starts[$program]}") ms to window"
  [ "$idle" -gt 0 ] && line+=", idle cpu $(median "${cpus[$program]}") ms per ${idle} s, rss $(median "${rss[$program]}") KiB"
  echo "$line"
done
