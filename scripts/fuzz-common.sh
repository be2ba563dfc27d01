# Sourced by the fuzz scripts whose targets CMake builds: the clang build
# folder they share, the build of one target in it, its seed folder and its run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MIRELKA_FUZZ_BUILD:-$root/build-fuzz}

build_fuzz_target() {  # TARGET
  cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMIRELKA_FUZZ=ON \
    -DMIRELKA_TESTS=OFF -DMIRELKA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target "$1" -j2
}

# Builds TARGET (fuzz_NAME) and makes its seed folder, corpus.
start_fuzz_target() {  # TARGET
  build_fuzz_target "$1"
  corpus=$build/fuzz/corpus-${1#fuzz_}
  mkdir -p "$corpus"
}

# Runs TARGET over its seed folder for SECONDS, with further libFuzzer options.
run_fuzz_target() {  # TARGET SECONDS [OPTION...]
  "$build/bin/$1" -max_total_time="$2" -print_final_stats=1 "${@:3}" "$corpus"
}
