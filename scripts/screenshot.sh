#!/bin/bash
# Makes the README's picture: the window on the test LAN after a listing and
# 「リソース展開」, as the LAN test of the tree leaves it (the large host's long
# share list folded), drawn by the offscreen platform in the fonts the
# program uses. Needs root and what tests/lan/run-e2e.sh needs, and a build
# with the lan_e2e target.
#
#   scripts/screenshot.sh [BUILD_DIR] [OUT.png]   (default: build, docs/screenshot.png)
set -euo pipefail
export PATH=$PATH:/usr/sbin:/sbin
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath "${1:-$here/build}")
out=$(realpath -m "${2:-$here/docs/screenshot.png}")
[ -x "$build/bin/lan_e2e" ] || { echo "screenshot.sh: no $build/bin/lan_e2e (build the lan_e2e target)" >&2; exit 1; }

# The LAN never touches the machine's interfaces; run it from a namespace of
# its own all the same, as run-e2e.sh does.
if [ -z "${MLK_LAN_ISOLATED:-}" ]; then
  exec unshare --net env MLK_LAN_ISOLATED=1 sh -c 'ip link set lo up; exec "$0" "$@"' "$0" "$@"
fi
lan=$here/tests/lan/testlan.sh
export MLK_LAN_DIR
MLK_LAN_DIR=$(mktemp -d /tmp/mlk-lan-XXXXXX)
trap '"$lan" stop' EXIT
"$lan" start
new=${out%.png}.new.png  # Qt picks the format by the suffix
rm -f "$new"
"$lan" exec-client env QT_QPA_PLATFORM=offscreen MLK_LAN_SCRIPT="$lan" MLK_E2E_GRAB_TREE="$new" \
  "$build/bin/lan_e2e" --gtest_filter=LanWindow.TreeReachesTheComputersAsTheListingNamesThem
[ -s "$new" ] || { echo "screenshot.sh: the test saved no picture" >&2; exit 1; }
mv "$new" "$out"
echo "screenshot: $out"
