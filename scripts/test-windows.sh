#!/usr/bin/env bash
# Cross-builds for Windows (scripts/build-windows.sh) and runs those tests
# under Wine, inside a network namespace of their own (loopback only), with a
# Wine prefix under a temporary directory that is removed afterwards. With a
# Qt for MinGW (scripts/qt-mingw.sh) the window's tests and the other Qt
# tests that need no LAN run too, on the offscreen platform.
# Skips, saying so, when MinGW-w64 or Wine is missing or there is no namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WIN:-build-win}

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -x /usr/lib/wine/wine64 ]; then
  echo "Windows tests skipped: MinGW-w64 (g++-mingw-w64-x86-64-posix) or Wine (wine64) is not installed."
  exit 0
fi
. scripts/qt-mingw.sh
[ -n "$MIRELKA_QT_MINGW" ] || echo "Windows window tests skipped: $qt_mingw_missing"
start=$(date +%s)
log=$(mktemp)
if ! scripts/build-windows.sh >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  echo "The Windows cross-build failed." >&2
  exit 1
fi
rm -f "$log"
built=$(date +%s)
if [ "$(id -u)" != 0 ] || ! unshare --net true 2>/dev/null; then
  echo "Windows tests skipped: they run only inside a network namespace (needs root)."
  exit 0
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/mirelka-wine.XXXXXX")
status=0
# Wine hands a variable WINEQT_X to Windows programs as QT_X. The offscreen
# platform on Windows finds fonts only in this folder (Wine's Z: is /).
export WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/opentype/ipafont-gothic
WINEPREFIX=$prefix unshare --net -- sh -c '
  ip link set lo up || exit 1
  scripts/wine-run.sh --start
  cd "$1" && ctest --output-on-failure --timeout 300 -L wine > "$2/ctest.log" 2>&1
  status=$?
  cd - >/dev/null && scripts/wine-run.sh --stop
  exit $status' sh "$build" "$prefix" || status=$?
cat "$prefix/ctest.log"
# Tests that the system under Wine cannot run say why; show them by name.
awk '/: Skipped$/ { getline why } /^\[  SKIPPED \] .*\([0-9]+ ms\)$/ { print "skipped under Wine: " $4 ": " why }' \
  "$build"/Testing/Temporary/LastTest.log 2>/dev/null || true
rm -rf "$prefix"
echo "Windows: build $((built - start)) s, Wine tests $(( $(date +%s) - built )) s."
exit $status
