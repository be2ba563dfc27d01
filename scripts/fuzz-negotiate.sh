#!/bin/bash
# Builds the SMB negotiate probe's reader fuzz target with clang in its own
# build folder and runs it (60 s unless a number of seconds is given). It
# touches no network.
# Usage: scripts/fuzz-negotiate.sh [seconds]
set -euo pipefail
. "$(dirname "$0")/fuzz-common.sh"
start_fuzz_target fuzz_negotiate

# Seeds, each in its session frame: an SMB2 answer (the wildcard dialect,
# signing enabled), an SMB1 NT LM 0.12 answer (signing required), and a
# positive NetBIOS session answer.
python3 - "$corpus" <<'PY'
import sys

def frame(message):
    return bytes([0]) + len(message).to_bytes(3, "big") + message

smb2 = bytearray(64 + 64 + 8)
smb2[0:4] = b"\xfeSMB"
smb2[4] = 64                 # header size
smb2[16] = 1                 # a response
smb2[64] = 65                # NEGOTIATE response size
smb2[66] = 1                 # signing enabled
smb2[68:70] = b"\xff\x02"    # DialectRevision 0x02FF
smb1 = bytearray(32 + 1 + 34 + 2)
smb1[0:4] = b"\xffSMB"
smb1[4] = 0x72               # negotiate
smb1[9] = 0x98               # a reply
smb1[32] = 17                # NT LM 0.12's word count, index 0
smb1[35] = 0x0F              # signing required
for name, data in (("smb2", frame(bytes(smb2))), ("smb1", frame(bytes(smb1))), ("session", b"\x82\0\0\0")):
    with open(f"{sys.argv[1]}/{name}", "wb") as out:
        out.write(data)
PY
run_fuzz_target fuzz_negotiate "${1:-60}"
