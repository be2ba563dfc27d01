#!/bin/bash
# Builds the NetBIOS packet fuzz target with clang in its own build folder and
# runs it (60 s unless a number of seconds is given). It touches no network.
# Usage: scripts/fuzz-netbios.sh [seconds]
set -euo pipefail
. "$(dirname "$0")/fuzz-common.sh"
seconds=${1:-60}
start_fuzz_target fuzz_netbios

# Seeds: a positive name query reply for MLKPEER<00> and a node status reply,
# id 0x4d21 (the target reads the id from the reply itself).
enc="ENEMELFAEFEFFC$(printf 'CA%.0s' 1 2 3 4 5 6 7 8)AA"  # "MLKPEER", 8 blanks, suffix 0x00
printf '\x4d\x21\x85\x00\x00\x00\x00\x01\x00\x00\x00\x00\x20%s\x00\x00\x20\x00\x01\x00\x04\x93\xe0\x00\x06\x00\x00\x0a\x4d\x00\x02' \
  "$enc" >"$corpus/name-reply"
status_entry=$(printf 'MLKPEER        ')
printf '\x4d\x21\x84\x00\x00\x00\x00\x01\x00\x00\x00\x00\x20CK%s\x00\x00\x21\x00\x01\x00\x00\x00\x00\x00\x25\x02%s\x00\x04\x00%s\x20\x04\x00' \
  "$(printf 'AA%.0s' $(seq 15))" "$status_entry" "$status_entry" >"$corpus/status-reply"

run_fuzz_target fuzz_netbios "$seconds"
