#!/bin/bash
# Builds the SMB helper reply fuzz target with clang in its own build folder
# and runs it (60 s unless a number of seconds is given). It touches no
# network.
# Usage: scripts/fuzz-smbwire.sh [seconds]
set -euo pipefail
. "$(dirname "$0")/fuzz-common.sh"
seconds=${1:-60}
start_fuzz_target fuzz_smbwire

# Seeds: a failed listing (EACCES, with the server's status) and a listing
# of two shares, as a helper writes them.
seed() { python3 -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.argv[1]))' "$2" >"$corpus/$1"; }
seed refused 2500000002520d000000170000004e545f5354415455535f4143434553535f44454e49454400000000
seed two-shares 560000000252000000000000000002000000010000000300000001000000080000005c5c50435c444f43080000005c5c50435c646f63020000000300000001000000080000005c5c50435c505254080000005c5c50435c707274
run_fuzz_target fuzz_smbwire "$seconds"
