#!/bin/bash
# `mirelka diagnose` beside `smbclient -L` on the same computers of the test
# LAN, in one run: one that answers (MEMBER2, warm), a silent address
# (10.231.0.95: nobody there), a hung server (TARPIT: accepts TCP on 445 and
# 139, never answers) and an SMB1-only NAS (OLDNAS). Each command is timed
# RUNS times with hyperfine in the client namespace; what each says is
# printed once. Needs root and the Samba tools; builds nothing.
#
#   bench/diagnose-side-by-side.sh [BIN_DIR] [RUNS]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-5}
. "$ROOT/bench/lan-bench.sh"
bench_needs smbclient hyperfine
[ -x "$BIN/mirelka" ] || { echo "no $BIN/mirelka" >&2; exit 1; }

start_bench_lan "$@"

client() { "$LAN" exec-client "$@"; }

for host in MEMBER2 10.231.0.95 TARPIT OLDNAS; do
  echo "== $host"
  client "$BIN/mirelka" diagnose "$host" || true
  client timeout 60 smbclient -N -L "//$host" 2>&1 | tail -n 2 || true
  # smbclient's own defaults (SMB2 and later, its own timeouts); a hung
  # server holds it for its whole timeout, so a bound of 60 s is put on it.
  client hyperfine --runs "$RUNS" --warmup 1 -N --ignore-failure --style basic \
    "$BIN/mirelka diagnose $host" "timeout 60 smbclient -N -L //$host" 2>&1 |
    grep -E 'Time \(mean|±|^Benchmark|faster|times'
done
