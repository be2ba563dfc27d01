#!/usr/bin/env bash
# The Windows setup program under Wine, on a virtual display, inside a network
# namespace of its own with a throw-away Wine prefix: a silent install (/S),
# the installed console twin answering at a prompt (mirelka --version),
# the installed mirelka.exe starting with the windows platform and reading the
# user's list from the roaming folder, closing on WM_CLOSE and writing it back,
# then a silent uninstall that removes the program and leaves the list.
#   windows_setup.sh SETUP.EXE [SCREENSHOT.png]
# Prints the time from start to the window being mapped. Needs root (the
# namespace), Wine, Xvfb, xwininfo; with a screenshot path, python3-xlib.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
setup=$(realpath "$1")
shot=${2:+$(realpath -m "$2")}
[ "${MLK_IN_NS:-}" = 1 ] || exec unshare --net -- env MLK_IN_NS=1 "$0" "$setup" ${shot:+"$shot"}
ip link set lo up

export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/mirelka-setup.XXXXXX")
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINELOADER=/usr/lib/wine/wine64
wine=/usr/lib/wine/wine64
# A display number of our own: the first free one from 240 on.
n=240
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n
app=""
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  "$here/scripts/wine-run.sh" --stop
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
"$here/scripts/wine-run.sh" --start

fail() { echo "windows_setup.sh: $*" >&2; exit 1; }
drive=$WINEPREFIX/drive_c
instdir="$drive/Program Files/Mirelka"
link="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Mirelka.lnk"
list="$drive/users/$(id -un)/AppData/Roaming/mirelka/mirelka.ini"
mkdir -p "$(dirname "$list")"
printf '[WGPCLIST]\r\n1\r\nKEEPME\r\n' > "$list"

"$wine" "$setup" /S </dev/null || fail "the setup program answered $?"
[ -f "$instdir/mirelka.exe" ] || fail "silent install: no mirelka.exe in Program Files"
[ -f "$instdir/mirelka.com" ] || fail "silent install: no mirelka.com (the console twin)"
[ -f "$instdir/platforms/qwindows.dll" ] || fail "silent install: no platforms/qwindows.dll"
[ -f "$instdir/uninstall.exe" ] || fail "silent install: no uninstaller"
[ -f "$link" ] || fail "silent install: no Start menu entry"
echo "installed: $(find "$instdir" -type f | wc -l) files"
# Typed at a prompt in the installed folder, `mirelka` is the console twin,
# which cmd waits for (it would end before the window program printed).
# One line: Wine's cmd reads a pipe's first line only.
typed=$(printf 'cd /d "C:\\Program Files\\Mirelka" & mirelka --version\r\n' | "$wine" cmd | tr -d '\r')
grep -q '^mirelka [0-9]' <<<"${typed//>/$'\n'}" || fail "mirelka --version at the installed folder's prompt: $typed"

start=$(date +%s%N)
"$wine" "C:\\Program Files\\Mirelka\\mirelka.exe" </dev/null >/dev/null 2>&1 &
app=$!
for _ in $(seq 600); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Mirelka' && break
  kill -0 "$app" 2>/dev/null || fail "the installed mirelka.exe ended before showing its window"
  sleep 0.05
done
xwininfo -root -tree | grep -q '"Mirelka' || fail "the installed mirelka.exe showed no window in 30 s"
echo "installed mirelka.exe: start to window $(( ($(date +%s%N) - start) / 1000000 )) ms"
if [ -n "$shot" ]; then
  sleep 3  # let the start-up work settle
  # The window alone: its geometry as xwininfo gives it (WxH+X+Y).
  geometry=$(xwininfo -root -tree | grep '"Mirelka' | head -1 | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -1)
  /usr/bin/python3 "$here/scripts/x11-shot.py" "$shot" "$geometry"  # Debian's python3-xlib
  echo "screenshot: $shot"
fi
# A WM_CLOSE that comes while the start-up splash is the only window closes
# the splash alone: ask again, a few times, until the program has ended.
for _ in $(seq 10); do
  "$wine" taskkill /im mirelka.exe </dev/null >/dev/null 2>&1 || true
  for _ in $(seq 20); do kill -0 "$app" 2>/dev/null || break 2; sleep 0.1; done
done
kill -0 "$app" 2>/dev/null && fail "mirelka.exe did not end on WM_CLOSE"
app=""
grep -q KEEPME "$list" || fail "the user's list lost its row"

"$wine" "C:\\Program Files\\Mirelka\\uninstall.exe" /S </dev/null
# The uninstaller goes on from a copy of itself in the temporary folder.
for _ in $(seq 300); do [ -e "$instdir" ] || break; sleep 0.1; done
[ ! -e "$instdir" ] || fail "silent uninstall left $(find "$instdir" | head -3 | tr '\n' ' ')"
[ ! -e "$link" ] || fail "silent uninstall left the Start menu entry"
grep -q KEEPME "$list" || fail "silent uninstall removed the user's list"
echo "setup under Wine: install, start, WM_CLOSE, uninstall: ok; the user's list kept"
