#!/bin/bash
# Builds the multicast DNS / LLMNR / DNS-SD answer fuzz target with clang in
# its own build folder and runs it (60 s unless a number of seconds is given). It
# touches no network.
# Usage: scripts/fuzz-dns.sh [seconds]
set -euo pipefail
. "$(dirname "$0")/fuzz-common.sh"
seconds=${1:-60}
start_fuzz_target fuzz_dns

# Seeds: answers captured on the test LAN from avahi-daemon (address and
# reverse name) and llmnrd, and the LAN's LLMNR peer's reverse answer.
seed() { python3 -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.argv[1]))' "$2" >"$corpus/$1"; }
seed mdns-address 123484000001000100000000084d444e53484f5354056c6f63616c0000018001086d646e73686f7374c015000100010000000a00040ae7001f
seed mdns-reverse 23458400000100010000000002333101300332333102313007696e2d61646472046172706100000c8001c00c000c00010000000a0010086d646e73686f7374056c6f63616c00
seed llmnr-address 34568000000100010000000007777364686f7374000001000107575344484f535400000100010000001e00040ae7001e
seed llmnr-reverse 45678000000100010000000002333201300332333102313007696e2d61646472046172706100000c0001c00c000c00010000001e0009074c4c4d4e52504300
# A DNS-SD answer in the shape avahi-daemon gives a one-shot PTR query for
# _smb._tcp.local (PTR, then SRV, TXT and A as additional records), built here.
seed dnssd-answer 123484000001000100000003045f736d62045f746370056c6f63616c00000c0001c00c000c000100001194000b084d444e53484f5354c00cc02d002180010000007800160000000001bd086d646e73686f7374056c6f63616c00c02d0010800100000078000f0e6d6f64656c3d4d616353616d6261086d646e73686f7374056c6f63616c00000180010000007800040ae7001f

run_fuzz_target fuzz_dns "$seconds"
