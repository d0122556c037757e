#!/bin/sh
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, AddressSanitizer, UBSan) in a
# CMake folder of their own and runs each from its seeds in fuzz/corpus/<name>/ for a
# while. Any crash, leak, undefined behaviour or broken property fails the script; the
# input is kept as <build>/fuzz/<name>-crash-*. Targets are listed in fuzz/CMakeLists.txt.
# Usage: .ci/fuzz.sh [seconds per target]   (default 60; FUZZ_BUILD sets the folder)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD:-"$root/build-fuzz"}
seconds=${1:-60}
cd "$root"

echo "== fuzz: build"
mkdir -p "$out"
CC=${CC_FUZZ:-clang} CXX=${CXX_FUZZ:-clang++} \
    cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIVET_FUZZ=ON >"$out/configure.log" 2>&1 ||
    { cat "$out/configure.log"; exit 1; }
cmake --build "$out" --target fuzzers -j"$(nproc)"

# Qt's windows need no display; fontconfig keeps a cache for the whole process.
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"

summary=""
while read -r name options; do
    [ -n "$name" ] || continue
    corpus="$out/fuzz/$name-corpus"
    mkdir -p "$corpus"
    echo "== fuzz $name: ${seconds}s"
    # New inputs go to the working corpus; the seeds in the tree stay as they are.
    # shellcheck disable=SC2086 # options holds several words
    "$out/fuzz/${name}_fuzz" $options -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$out/fuzz/$name-" "$corpus" "fuzz/corpus/$name" \
        </dev/null 2>"$out/fuzz/$name.log" ||
        { tail -n 60 "$out/fuzz/$name.log"; echo "fuzz $name: FAILED"; exit 1; }
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/fuzz/$name.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/fuzz/$name.log")
    summary="$summary$name: $runs runs, $rate/s\n"
done <"$out/fuzz-targets.txt"

printf "== fuzz summary (%ss each)\n%b" "$seconds" "$summary"
echo "fuzz: all targets ran without a crash"
