#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the whole suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer for a short time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

# Each option the suite relies on is stated, whatever an earlier configuration left in the cache,
# and a run that finds no test fails instead of passing empty.
tests_on=(-DKERVO_BUILD_TESTS=ON -DKERVO_BUILD_FAULTS=ON -DKERVO_BUILD_FUZZERS=OFF
          -DKERVO_BUILD_BENCH=OFF)
"$root/scripts/build.sh" "$root/build" "${tests_on[@]}" -DKERVO_SANITIZE=OFF
(cd "$root/build" && ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 600)

if [ "${KERVO_SKIP_SANITIZERS:-0}" != 1 ]; then
    "$root/scripts/build.sh" "$root/build-asan" "${tests_on[@]}" -DCMAKE_BUILD_TYPE=Debug \
        -DKERVO_SANITIZE=ON
    (cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=0 \
        ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 900)
fi

if [ -x "$root/scripts/fuzz.sh" ] && [ "${KERVO_SKIP_FUZZ:-0}" != 1 ]; then
    "$root/scripts/fuzz.sh" 30
fi
