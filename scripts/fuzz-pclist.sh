#!/bin/bash
# Builds the list file fuzz target with clang straight from the sources it
# covers (all instrumented) and runs it, 60 s unless a number of seconds is
# given. It touches no network and writes no list file.
# Usage: scripts/fuzz-pclist.sh [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MIRELKA_FUZZ_BUILD:-$root/build-pclist}/fuzz
seconds=${1:-60}

mkdir -p "$build"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion \
  -I "$root/pclist" -I "$root/base" "$root/fuzz/fuzz_pclist.cpp" "$root/pclist/pclist.cpp" -o "$build/fuzz_pclist"

# Seeds: a saved list, an empty list, several sections, odd line ends, a
# failing count and the count forms.
corpus=$build/corpus-pclist
mkdir -p "$corpus"
printf '[WGPCLIST]\r\n2\r\nPC01\r\nSERVER\r\n' >"$corpus/two"
printf '[WGPCLIST]\r\n0\r\n' >"$corpus/empty"
printf 'x\n[WGPCLIST]\n-1\n[WGPCLIST]\r$2\rA\r\x83\x65\x83\x58\n[WGPCLIST]\r\n3\r\nB' >"$corpus/sections"
printf '[WGPCLIST]\r\n2 \r\nA\r\n' >"$corpus/failing"
printf '  0x7fffFFFF' >"$corpus/hex"
printf '%s' '-2147483648' >"$corpus/decimal"
dict=$build/pclist.dict
printf '"[WGPCLIST]"\n"\\x0d\\x0a"\n"0x"\n"$"\n"2147483647"\n"FFFFFFFF"\n' >"$dict"

# A new network namespace when we may make one, so nothing could leave the machine.
run=("$build/fuzz_pclist" -max_total_time="$seconds" -max_len=4096 -dict="$dict" -print_final_stats=1 "$corpus")
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  exec unshare --net -- "${run[@]}"
fi
exec "${run[@]}"
