#!/usr/bin/env bash
# Runs cross-built Windows programs under Wine (Debian's wine64), for ctest
# and by hand. Run it inside a network namespace: a Windows program under
# Wine sees the same interfaces as Linux.
#
#   wine-run.sh --start          make the prefix $WINEPREFIX and keep its
#                                wineserver and services running
#   wine-run.sh PROGRAM [ARGS]   run one program (from its own folder, so a
#                                DLL beside it is found by bare name)
#   wine-run.sh --stop           end that prefix's wineserver and services
#
# Without $WINEPREFIX, PROGRAM runs in a fresh prefix under a temporary
# directory that is removed afterwards; ~/.wine is never used. The services
# are started with no terminal or pipe of the caller's, so a caller that
# reads a program's output (ctest) is not kept waiting by them.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: wine-run.sh --start | --stop | PROGRAM [ARGS...]" >&2; exit 2; }
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs; and no debugger on a crash: Wine's own
# (winedbg --auto) either waits or prints its dump and lets the program exit
# with 0, so a test that crashed stopped at ctest's bound or passed. Without
# it a crashed program ends at once with a failure.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
wine=${WINE64:-/usr/lib/wine/wine64}  # Debian's wine64 package
wineserver=${WINESERVER:-/usr/lib/wine/wineserver}
[ -x "$wine" ] || { echo "wine-run.sh: $wine not found (apt-get install wine wine64)" >&2; exit 2; }
export WINELOADER=$wine

start() {
  # wineserver -p fails on a prefix folder that does not exist yet.
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p </dev/null >/dev/null 2>&1
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
}
stop() { "$wineserver" -k </dev/null >/dev/null 2>&1 || true; }

case "$1" in
  --start) : "${WINEPREFIX:?set WINEPREFIX}"; start; exit 0 ;;
  --stop) : "${WINEPREFIX:?set WINEPREFIX}"; stop; exit 0 ;;
esac

if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/mirelka-wine.XXXXXX")
  export WINEPREFIX
  trap 'stop; rm -rf "$WINEPREFIX"' EXIT
  start
fi
cd "$(dirname "$1")"
"$wine" "./$(basename "$1")" "${@:2}"
