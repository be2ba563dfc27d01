#!/usr/bin/env bash
# Configures and builds into ./build (or $BUILD); with TARGETS set (names
# separated by blanks) only those and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
# shellcheck disable=SC2086  # TARGETS is a list of names
cmake --build "$build" -j"$(nproc)" ${TARGETS:+--target $TARGETS}
