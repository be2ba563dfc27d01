#!/bin/bash
# Times a warm share listing of a loopback smbd through the program's own
# provider (mlk_enum, built with the tests) beside `smbclient -L`, and prints
# the ratio.
#   bench/shares-vs-smbclient.sh [BUILD_DIR] [RUNS]
# Runs in a network namespace of its own; needs root, smbd, smbclient, hyperfine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-100}
if [ -z "${MIRELKA_BENCH_IN_NS:-}" ]; then
  exec unshare --net env MIRELKA_BENCH_IN_NS=1 bash "$0" "$build" "$runs"
fi
ip link set lo up
fixture=$here/../tests/netinfo/smbd_fixture.sh
dir=$(mktemp -d /tmp/mirelka-bench.XXXXXX)
trap 'bash "$fixture" stop "$dir/server" >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT

# One private client configuration for both tools.
mkdir -p "$dir/home/.smb" "$dir/client"
printf '[global]\n  cache directory = %s\n  lock directory = %s\n  state directory = %s\n' \
  "$dir/client" "$dir/client" "$dir/client" >"$dir/home/.smb/smb.conf"
export HOME=$dir/home
bash "$fixture" start "$dir/server" >/dev/null

ours="$build/bin/mlk_enum '\\\\127.0.0.1' ''"
theirs="smbclient -s $HOME/.smb/smb.conf -L //127.0.0.1 -N"
# the first listing after start-up wakes smbd's RPC helpers; keep it out
eval "$ours" >/dev/null
hyperfine -N --warmup 10 --runs "$runs" --export-json "$dir/times.json" "$ours" "$theirs"
python3 - "$dir/times.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
ours, theirs = r[0]["mean"], r[1]["mean"]
print(f"mlk_enum {ours*1000:.2f} ms, smbclient -L {theirs*1000:.2f} ms, ratio {ours/theirs:.2f}x")
PY
