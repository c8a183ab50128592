#!/usr/bin/env bash
# Installs what the benchmarks need, builds them into build-bench/, runs every benchmark beside
# its peers and prints the tables (also kept in build-bench/bench-results.md and .json).
#   scripts/bench.sh [--quick] [driver options, e.g. --only retrieval --slow-peers-up-to 1000]
# The full run takes about 20 minutes on two cores; --quick uses smaller mailboxes and shorter
# waits (a few minutes) and is meant for checking that everything works, not for figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=("$@")

"$root/scripts/install-deps.sh"
# The peers, and eatmydata for the run that shows what fsync costs.
wanted=(mpop fetchmail getmail6 eatmydata)
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERVO_BUILD_BENCH=ON \
    -DKERVO_BUILD_TESTS=OFF -DKERVO_BUILD_FAULTS=OFF -DKERVO_BUILD_FUZZERS=OFF \
    -DKERVO_SANITIZE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target kervo_bench_floor kervo_bench_mda kervo_bench_fetch \
    kervo_bench_stall kervo_bench_startup kervo_bench_footprint kervo_bench_reader \
    kervo_bench_latency

exec python3 "$root/bench/driver/run_bench.py" --build "$build" "${mode[@]}" \
    --json "$build/bench-results.json" --markdown "$build/bench-results.md"
