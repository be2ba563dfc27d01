#!/usr/bin/env bash
# Cross-builds for 64-bit Windows with MinGW-w64 into ./build-win (or
# $BUILD_WIN): mirelka.dll, the netlib, netinfo, pclist and text libraries and
# their unit tests; and, when a Qt for MinGW is found (scripts/qt-mingw.sh
# says where it looks), the window mirelka.exe, its tests, and the folder
# build-win/bin with the Qt DLLs, plugins and runtime beside the program.
# Without such a Qt the window is skipped, saying why.
# scripts/test-windows.sh runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WIN:-build-win}
. scripts/qt-mingw.sh
if [ -n "$MIRELKA_QT_MINGW" ]; then
  echo "Windows build with the window, Qt for MinGW from $MIRELKA_QT_MINGW"
  # Qt's toolchain file finds Qt's packages and the host tools (Debian's own
  # Qt 6.4.2), and loads the project's compiler settings.
  config=(-DCMAKE_TOOLCHAIN_FILE="$MIRELKA_QT_MINGW/lib/cmake/Qt6/qt.toolchain.cmake"
          -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DMIRELKA_QT=ON)
else
  echo "Windows build without the window: $qt_mingw_missing"
  config=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DMIRELKA_QT=OFF)
fi
# A build folder configured the other way round starts afresh.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "^MIRELKA_QT:BOOL=$([ -n "$MIRELKA_QT_MINGW" ] && echo ON || echo OFF)\$" "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
cmake -S . -B "$build" "${config[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELKA_BENCH=OFF "$@"
cmake --build "$build" -j"$(nproc)"
