#!/usr/bin/env bash
# Process start to the main window mapped on one virtual display, the Linux
# program and the cross-built mirelka.exe under Wine (windows platform), in
# one run, alternating, median of 5 each. The Wine prefix is made once
# beforehand (its first start is not timed); the copy of build-win/bin runs
# from a folder of its own, so its list file starts empty as the Linux one does.
#   bench/startup-wine.sh [LINUX_PROGRAM [WINDOWS_BIN_FOLDER]]
# Runs inside an empty network namespace (the program browses at start-up).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
linux=${1:-$here/build/bin/mirelka}
winbin=${2:-$here/build-win/bin}
command -v xwininfo >/dev/null || { echo "needs xwininfo (x11-utils)"; exit 1; }
[ -x "$linux" ] || { echo "no $linux (scripts/build.sh)"; exit 1; }
[ -f "$winbin/mirelka.exe" ] && [ -f "$winbin/Qt6Widgets.dll" ] || { echo "no mirelka.exe with Qt in $winbin (scripts/build-windows.sh with a Qt for MinGW)"; exit 1; }
[ "${MLK_IN_NS:-}" = 1 ] || exec unshare --net -- env MLK_IN_NS=1 sh -c "ip link set lo up; exec '$0' '$linux' '$winbin'"

work=$(mktemp -d "${TMPDIR:-/tmp}/mirelka-bench-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINELOADER=/usr/lib/wine/wine64
n=250
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n
trap '"$here/scripts/wine-run.sh" --stop; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
mkdir -p "$WINEPREFIX"
prefix_start=$(date +%s%N)
"$here/scripts/wine-run.sh" --start
echo "fresh Wine prefix: $(( ($(date +%s%N) - prefix_start) / 1000000 )) ms (not in the figures below)"

# time_to_window COMMAND...: ms from start to a window named Mirelka mapped.
time_to_window() {
  local start end pid
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -root -tree 2>/dev/null | grep -q '"Mirelka'; do sleep 0.005; done
  end=$(date +%s%N)
  # Closed as a user would (WM_CLOSE under Wine), so the next start finds
  # nothing of this one left behind.
  # A WM_CLOSE that comes while the start-up splash is the only window closes
  # the splash alone: ask again until the program has ended.
  if [ "$1" = /usr/lib/wine/wine64 ]; then
    for _ in $(seq 20); do
      /usr/lib/wine/wine64 taskkill /im mirelka.exe >/dev/null 2>&1 || true
      for _ in $(seq 20); do kill -0 $pid 2>/dev/null || break 2; sleep 0.1; done
    done
  else
    kill $pid 2>/dev/null || true
  fi
  wait $pid 2>/dev/null || true
  until ! xwininfo -root -tree 2>/dev/null | grep -q '"Mirelka'; do sleep 0.05; done
  echo $(( (end - start) / 1000000 ))
}

linux_times=() wine_times=()
for run in 1 2 3 4 5; do
  rm -rf "$work/linux" "$work/win"
  mkdir "$work/linux"
  cp "$linux" "$(dirname "$linux")/libmirelka.so" "$work/linux/"
  mkdir "$work/win"
  cp "$winbin"/mirelka.exe "$winbin"/*.dll "$work/win/"
  cp -r "$winbin/platforms" "$winbin/styles" "$work/win/"
  linux_times+=("$(time_to_window "$work/linux/mirelka")")
  wine_times+=("$(cd "$work/win" && time_to_window /usr/lib/wine/wine64 ./mirelka.exe)")
  echo "run $run: Linux ${linux_times[-1]} ms, Wine ${wine_times[-1]} ms"
done
lm=$(printf '%s\n' "${linux_times[@]}" | sort -n | sed -n 3p)
wm=$(printf '%s\n' "${wine_times[@]}" | sort -n | sed -n 3p)
echo "median start to window: Linux $lm ms, Wine $wm ms (Wine/Linux $(awk "BEGIN { printf \"%.1f\", $wm / $lm }"))"
