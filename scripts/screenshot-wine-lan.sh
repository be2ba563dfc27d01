#!/bin/bash
# Makes the README's picture of the Windows program on the test LAN: the
# cross-built mirelka.exe under Wine in the LAN's client namespace, on a
# virtual display of its own, 「実行」 clicked, the window grabbed once the
# listing has ended. Needs root, what tests/lan/run-e2e.sh needs, a
# build-win/bin with the window, and Xvfb, xdotool, xwd and netpbm.
#
#   scripts/screenshot-wine-lan.sh [OUT.png]   (default: docs/screenshot-wine-lan.png)
set -euo pipefail
export PATH=$PATH:/usr/sbin:/sbin
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$here/docs/screenshot-wine-lan.png}")
for tool in Xvfb xdotool xwd xwdtopnm pngtopnm pnmcut pnmtopng; do
  command -v "$tool" >/dev/null || { echo "screenshot-wine-lan.sh: needs $tool" >&2; exit 1; }
done
if [ -z "${MLK_LAN_ISOLATED:-}" ]; then
  exec unshare --net env MLK_LAN_ISOLATED=1 sh -c 'ip link set lo up; exec "$0" "$@"' "$0" "$@"
fi
lan=$here/tests/lan/testlan.sh
export MLK_LAN_DIR
MLK_LAN_DIR=$(mktemp -d /tmp/mlk-lan-XXXXXX)
work=$(mktemp -d /tmp/mlk-wineshot-XXXXXX)
trap '"$lan" exec-client env WINEPREFIX="$work/prefix" "$here/scripts/wine-run.sh" --stop || true;
      [ -z "${xvfb:-}" ] || kill "$xvfb" 2>/dev/null; "$lan" stop; rm -rf "$work"' EXIT
"$lan" start
# A copy of the portable program, so that its list file starts empty and
# lands outside the build.
cp -r "$here/build-win/bin" "$work/bin"
rm -f "$work/bin/mirelka.ini"
"$lan" exec-client Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
"$lan" exec-client env DISPLAY=:77 WINEPREFIX="$work/prefix" WINEDEBUG=-all \
  WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d' sh -c '
    "$1/scripts/wine-run.sh" --start
    cd "$2/bin" && /usr/lib/wine/wine64 mirelka.exe >/dev/null 2>&1 &
    for _ in $(seq 60); do xdotool search --name Mirelka >/dev/null && break; sleep 1; done
    sleep 5  # start-up reads the workgroup
    window=$(xdotool search --name Mirelka | head -1)
    xdotool mousemove --window "$window" 44 140 click 1  # 実行 (Button5)
    sleep 6  # the listing window, then its end
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xwd -root -silent | xwdtopnm 2>/dev/null |
      pnmcut -left "$X" -top "$Y" -width "$WIDTH" -height "$HEIGHT" | pnmtopng >"$2/shot.png"' sh "$here" "$work"
[ -s "$work/shot.png" ] || { echo "screenshot-wine-lan.sh: no picture" >&2; exit 1; }
mv "$work/shot.png" "$out"
echo "screenshot: $out"
