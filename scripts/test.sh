#!/usr/bin/env bash
# Installs, builds and runs every test. The suite runs inside a network
# namespace of its own (loopback only), so no test can reach a real network;
# tests that need more build their own namespaces inside it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build=${BUILD:-build}

# Windows: the cross-built DLL, libraries and tests under Wine, in a namespace
# of their own (says so and skips when MinGW-w64 or Wine is missing).
windows=0
scripts/test-windows.sh || windows=$?

status=0
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  unshare --net -- sh -c "ip link set lo up && cd '$build' && ctest --output-on-failure --timeout 600 $*" || status=$?
else
  echo "Not root or no network namespaces here: running only the unit and window tests;"
  echo "the integration tests (real Samba servers, test LAN) are skipped."
  (cd "$build" && ctest --output-on-failure -L 'unit|gui' "$@") || status=$?
fi
[ "$windows" = 0 ] || echo "The Windows tests under Wine failed (see above)." >&2
[ "$status" = 0 ] && exit "$windows"
exit "$status"
