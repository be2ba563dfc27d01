#!/bin/bash
# Builds the WS-Discovery reader fuzz target with clang in its own build
# folder and runs it (60 s unless a number of seconds is given). It touches
# no network.
# Usage: scripts/fuzz-wsd.sh [seconds]
set -euo pipefail
. "$(dirname "$0")/fuzz-common.sh"
seconds=${1:-60}
start_fuzz_target fuzz_wsd

# Seeds: wsdd's answers captured on a namespace LAN (a ProbeMatch, a
# ResolveMatch, a Get response), the ResolveMatch as a Hello, and computer texts.
data=$root/tests/discovery/data
cp "$data"/wsdd-*.xml "$corpus/"
sed -e 's#discovery/ResolveMatches#discovery/Hello#; s#<wsa:RelatesTo>[^<]*</wsa:RelatesTo>##' \
  -e 's#</\?wsd:ResolveMatches>##g; s#wsd:ResolveMatch>#wsd:Hello>#g' "$data/wsdd-resolvematch.xml" >"$corpus/hello.xml"
printf 'WSDHOST/Workgroup:TESTGROUP' >"$corpus/computer-workgroup"
printf 'PC\\NotJoined' >"$corpus/computer-not-joined"

run_fuzz_target fuzz_wsd "$seconds" -max_len=32768
