# Sourced by the fuzz scripts whose targets CMake builds: the clang build
# folder they share and the build of one target in it.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MIRELKA_FUZZ_BUILD:-$root/build-fuzz}

build_fuzz_target() {  # TARGET
  cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMIRELKA_FUZZ=ON \
    -DMIRELKA_TESTS=OFF -DMIRELKA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target "$1" -j2
}
