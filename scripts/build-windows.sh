#!/usr/bin/env bash
# Cross-builds for 64-bit Windows with MinGW-w64 into ./build-win (or
# $BUILD_WIN): mirelka.dll, the netlib, netinfo, pclist and text libraries and
# their unit tests, without Qt (Debian has no Qt for MinGW, so no window).
# scripts/test.sh runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WIN:-build-win}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELKA_QT=OFF -DMIRELKA_BENCH=OFF "$@"
cmake --build "$build" -j"$(nproc)"
