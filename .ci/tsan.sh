#!/bin/sh
# Builds the whole suite with ThreadSanitizer and runs it; the first report fails
# the run. Debian's Qt is not built with ThreadSanitizer, so two things stand in for
# what an instrumented Qt would give:
#   - tsan_qtsync.cpp, linked into every program, tells the tool about the ordering
#     that Qt's own locks provide (posted events, queued signals, QMutex,
#     QWaitCondition, QThread::wait);
#   - tsan.supp names the uninstrumented libraries whose own memory traffic is not
#     checked. Nothing of ours is suppressed.
# A program with a race on purpose checks that both leave our code checked.
# Usage: .ci/tsan.sh [build-dir] [ctest arguments...]   (default: build-tsan)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-tsan"}
if [ $# -gt 0 ]; then shift; fi
jobs=${JOBS:-2}
mkdir -p "$build"
build=$(cd "$build" && pwd)

# Built without the sanitizer: it only forwards, and calls the tool where it runs.
# Its name follows its source, so that a change relinks every program.
sync="$build/tsan_qtsync-$(sha1sum "$root/.ci/tsan_qtsync.cpp" | cut -c1-12).o"
find "$build" -maxdepth 1 -name 'tsan_qtsync-*.o' ! -path "$sync" -delete
# shellcheck disable=SC2046 # the Qt flags are several words
g++ -std=c++17 -O1 -g -fPIC -c -DQT_NO_VERSION_TAGGING \
    $(pkg-config --cflags Qt5Core) "$root/.ci/tsan_qtsync.cpp" -o "$sync"

flags="-fsanitize=thread -fno-omit-frame-pointer -g -O1"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_CXX_STANDARD_LIBRARIES="$sync" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$build" -j"$jobs"

TSAN_OPTIONS="suppressions=$root/.ci/tsan.supp halt_on_error=1 second_deadlock_stack=1"
export TSAN_OPTIONS

# The same setup must still see a race of ours: the canary has them on purpose.
# shellcheck disable=SC2046,SC2086
g++ -std=c++17 -fPIC $flags $(pkg-config --cflags Qt5Core) "$root/.ci/tsan_canary.cpp" "$sync" \
    -o "$build/tsan_canary" $(pkg-config --libs Qt5Core)
for case in plain posted; do
    log="$build/tsan_canary-$case.log"
    if "$build/tsan_canary" "$case" >"$log" 2>&1 ||
        ! grep -q "SUMMARY: ThreadSanitizer: data race .*tsan_canary.cpp" "$log" ||
        ! grep -qE "#0 (Racer::)?run .*tsan_canary.cpp" "$log"; then
        cat "$log"
        echo "tsan: the planted race ($case) went unreported" >&2
        exit 1
    fi
done
echo "tsan: the planted races were reported"
cd "$build"
ctest --output-on-failure -j"$jobs" "$@"
echo "tsan: the suite ran without a report"
