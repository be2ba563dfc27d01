#!/usr/bin/env bash
# Makes the Qt for 64-bit Windows (MinGW-w64) that the Windows build of the
# window needs, on Debian 12, since Debian ships none: Qt 6.4.2's qtbase from
# Debian's own qt6-base source package and qtsvg from Debian's qt6-svg (or,
# when that cannot be fetched, from Qt's public v6.4.2 tag), built with
# Debian's x86_64-w64-mingw32-g++-posix, with Debian's native Qt 6.4.2 as the
# host tools (moc, rcc, uic). About an hour or more on two cores.
#
#   scripts/build-qt-mingw.sh [step...]
#     steps: packages fetch configure build install svg runtime (default: all)
#   PREFIX  where Qt goes (default ~/.cache/mirelka/qt-6.4.2-mingw64, the
#           first place after $MIRELKA_QT_MINGW that scripts/qt-mingw.sh looks)
#   WORK    sources and build trees (default ~/.cache/mirelka/qt-mingw-work)
#   JOBS    compile jobs (default: the number of cores)
#   QTSVG_SOURCE  an unpacked qtsvg 6.4.2 tree to use instead of fetching one
#
# Sources are fetched with a deb-src list and apt state of this script's own
# under $WORK: the machine's /etc/apt and its package lists stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
PREFIX=${PREFIX:-${HOME}/.cache/mirelka/qt-6.4.2-mingw64}
WORK=${WORK:-${HOME}/.cache/mirelka/qt-mingw-work}
JOBS=${JOBS:-$(nproc)}
qt_version=6.4.2
host_cmake=/usr/lib/x86_64-linux-gnu/cmake
apt_dir=$WORK/apt

say() { echo "== $(date -u +%H:%M:%S) $*"; }

# apt-get with this script's own sources list, lists and cache.
private_apt() {
  apt-get -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts" \
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o Debug::NoLocking=1 "$@"
}

step_packages() {
  local need=(dpkg-dev cmake ninja-build git xz-utils g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools)
  local missing=() p
  for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
  local host
  host=$(dpkg-query -W -f='${Version}' qt6-base-dev)
  case $host in
    "$qt_version"+*) say "host tools: Debian's Qt $host" ;;
    *) echo "build-qt-mingw.sh: the host tools must be Qt $qt_version; qt6-base-dev is $host" >&2; exit 1 ;;
  esac
}

step_fetch() {
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$WORK/src"
  printf '%s\n' 'deb-src http://deb.debian.org/debian bookworm main' \
    'deb-src http://deb.debian.org/debian-security bookworm-security main' > "$apt_dir/sources.list"
  say "fetching the source package lists into $apt_dir"
  private_apt update -q
  # The source of exactly the host tools' version, unpacked with Debian's patches.
  local version
  version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
  rm -rf "$WORK/src/qt6-base-$qt_version+dfsg"
  (cd "$WORK/src" && private_apt source -q "qt6-base=$version")
  rm -rf "$WORK/src/qtsvg"
  if [ -n "${QTSVG_SOURCE:-}" ]; then
    cp -r "$QTSVG_SOURCE" "$WORK/src/qtsvg"
    say "qtsvg from $QTSVG_SOURCE"
  elif (cd "$WORK/src" && private_apt source -q qt6-svg && mv qt6-svg-$qt_version qtsvg); then
    say "qtsvg from Debian's qt6-svg"
  else
    say "Debian's qt6-svg could not be fetched; qtsvg from Qt's v$qt_version tag"
    git clone -q --depth 1 --branch "v$qt_version" https://code.qt.io/qt/qtsvg.git "$WORK/src/qtsvg"
  fi
}

step_configure() {
  say "configuring qtbase into $WORK/qtbase-build"
  rm -rf "$WORK/qtbase-build"
  # Only what the program and its tests use; Qt's own copies of the image,
  # font and regular-expression libraries, since the MinGW sysroot has none.
  cmake -S "$WORK/src/qt6-base-$qt_version+dfsg" -B "$WORK/qtbase-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$project/cmake/mingw-w64-qt.cmake" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_pkg_config=OFF \
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF -DFEATURE_system_textmarkdownreader=OFF
}

step_build() { say "building qtbase"; nice cmake --build "$WORK/qtbase-build" -j"$JOBS"; }
step_install() { say "installing qtbase into $PREFIX"; cmake --install "$WORK/qtbase-build" --strip; }

step_svg() {
  say "building qtsvg"
  rm -rf "$WORK/qtsvg-build"
  # The new prefix's own toolchain file brings the compiler and the host tools.
  cmake -S "$WORK/src/qtsvg" -B "$WORK/qtsvg-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  nice cmake --build "$WORK/qtsvg-build" -j"$JOBS"
  cmake --install "$WORK/qtsvg-build" --strip
}

# The compiler's runtime DLLs beside Qt's, so that the prefix's bin is whole.
step_runtime() {
  local dll
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(readlink -f "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")" "$PREFIX/bin/$dll"
    x86_64-w64-mingw32-strip --strip-unneeded "$PREFIX/bin/$dll"
  done
  say "done: $PREFIX ($(du -sh "$PREFIX" | cut -f1))"
}

steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(packages fetch configure build install svg runtime)
for step in "${steps[@]}"; do
  declare -F "step_$step" >/dev/null || { echo "build-qt-mingw.sh: no step $step" >&2; exit 2; }
  started=$SECONDS
  "step_$step"
  say "$step: $((SECONDS - started)) s"
done
