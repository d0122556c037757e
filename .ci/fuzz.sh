#!/bin/sh
# Builds each fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) and runs it
# for a while from its seed corpus in fuzz/corpus/<name>/. Any crash, leak or
# undefined behaviour fails the script; the input is kept as <build>/<name>-crash-*.
# Usage: .ci/fuzz.sh [seconds per target]   (default 30; FUZZ_BUILD sets the folder)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD:-"$root/build-fuzz"}
seconds=${1:-30}
mkdir -p "$out"
cd "$root"

CXX=${CXX_FUZZ:-clang++}
FLAGS="-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"
# For targets that parse with Qt types: fuzz_target name src... $QT
QT="-fPIC $(pkg-config --cflags --libs Qt5Core 2>/dev/null || true)"

# fuzz_target NAME SOURCE... [compiler flags]: build, then run from the seeds.
fuzz_target() {
    name=$1
    shift
    echo "== fuzz $name: build"
    # shellcheck disable=SC2086 # FLAGS holds several words
    $CXX $FLAGS "$@" -o "$out/$name"
    corpus="$out/$name-corpus"
    mkdir -p "$corpus"
    echo "== fuzz $name: run ${seconds}s"
    # New inputs go to the working corpus; the seeds in the tree stay as they are.
    "$out/$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$out/$name-" "$corpus" "fuzz/corpus/$name"
}

# One line per target.
fuzz_target hiddescriptor fuzz/hiddescriptor_fuzz.cpp hidlink/platform/hiddescriptor.cpp -Ihidlink/platform

echo "fuzz: all targets ran without a crash"
