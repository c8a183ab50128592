#!/usr/bin/env bash
# Plants small faults in src/ one at a time, rebuilds incrementally and runs the test suite
# against each, then prints which faults the suite caught. A fault the suite does not catch is a
# test missing; a test that catches none is a test to question.
#
#   scripts/mutants.sh             every fault of scripts/mutants.txt (about an hour on 2 cores)
#   scripts/mutants.sh NAME...     only these
#   scripts/mutants.sh --list      the faults and what each breaks
#
# The faults are planted in a copy of the tree under build-mutants/, never in the working tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work="$root/build-mutants"
list="$root/scripts/mutants.txt"

if [ "${1:-}" = "--list" ]; then
    exec python3 "$root/scripts/mutants.py" list "$list"
fi

"$root/scripts/install-deps.sh"
mkdir -p "$work/tree"
# The tree as it stands, committed or not, without the build folders.
rm -rf "$work/tree.new"
mkdir -p "$work/tree.new"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - -cf - 2>/dev/null) | tar -xf - -C "$work/tree.new"
# Files whose content did not change keep their times, so that the build stays incremental.
(cd "$work/tree.new" && find . -type f -print0) | while IFS= read -r -d '' f; do
    if ! cmp -s "$work/tree.new/$f" "$work/tree/$f" 2>/dev/null; then
        mkdir -p "$(dirname "$work/tree/$f")"
        cp -p "$work/tree.new/$f" "$work/tree/$f"
    fi
done
rm -rf "$work/tree.new"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$work/tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKERVO_BUILD_TESTS=ON -DKERVO_BUILD_FAULTS=ON -DKERVO_BUILD_FUZZERS=OFF \
    -DKERVO_BUILD_BENCH=OFF -DKERVO_SANITIZE=OFF "${launcher[@]}" >/dev/null
cmake --build "$work/build" -j "$(nproc)" >/dev/null
export QT_QPA_PLATFORM=offscreen
exec python3 "$root/scripts/mutants.py" run "$list" "$work/tree" "$work/build" "$@"
