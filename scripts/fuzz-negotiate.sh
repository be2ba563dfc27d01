#!/bin/bash
# Builds the SMB negotiate probe's reader fuzz target with clang in its own
# build folder and runs it (60 s unless a number of seconds is given). It
# touches no network.
# Usage: scripts/fuzz-negotiate.sh [seconds]
set -euo pipefail
. "$(dirname "$0")/fuzz-common.sh"
seconds=${1:-60}
start_fuzz_target fuzz_negotiate

# Seeds: an SMB2 answer (the wildcard dialect, signing enabled) and an SMB1
# NT LM 0.12 answer (signing required), each in its session frame, and a
# positive NetBIOS session answer.
seed() { python3 -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.argv[1]))' "$2" >"$corpus/$1"; }
seed smb2 00000088fe534d4240000000000000000000000001000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000041000100ff02000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
seed smb1 00000045ff534d42720000000098000000000000000000000000000000000000000000001100000f000000000000000000000000000000000000000000000000000000000000000000
seed session 82000000
run_fuzz_target fuzz_negotiate "$seconds"
