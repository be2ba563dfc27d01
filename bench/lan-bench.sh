# Sourced by the benchmark scripts that run on the test LAN
# (tests/lan/testlan.sh); sets LAN to that script.
LAN="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/lan/testlan.sh"

# Stops, saying what is missing, unless each TOOL is there: an mlk_ tool
# built in BIN, anything else on the PATH.
bench_needs() {  # TOOL...
  local tool
  for tool; do
    case $tool in
      mlk_*) [ -x "$BIN/$tool" ] || { echo "no $BIN/$tool: build the $tool target" >&2; exit 1; } ;;
      *) command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; } ;;
    esac
  done
}

# Runs the calling script again in a network namespace of its own (loopback
# up), as the tests do, and builds the LAN there; OUT is a folder for the
# runs' files. Both go away when the script ends. Needs root; pass the
# script's own arguments.
start_bench_lan() {
  [ "$(id -u)" = 0 ] || { echo "needs root" >&2; exit 1; }
  if [ -z "${MLK_LAN_ISOLATED:-}" ]; then
    exec unshare --net env MLK_LAN_ISOLATED=1 sh -c 'ip link set lo up; exec "$0" "$@"' "$0" "$@"
  fi
  export MLK_LAN_DIR
  MLK_LAN_DIR=$(mktemp -d /tmp/mlk-bench-XXXXXX)
  OUT=$(mktemp -d /tmp/mlk-bench-out-XXXXXX)
  trap '"$LAN" stop; rm -rf "$OUT"' EXIT
  "$LAN" start >&2
}
