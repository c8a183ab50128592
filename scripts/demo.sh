#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kervo on a demo mailbox. The demo builds into
# build-demo/ with the tests switched off, so that it never leaves a cache in build/ that
# ./scripts/test.sh would find with its tests missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build-demo" -DKERVO_BUILD_TESTS=OFF -DKERVO_BUILD_FAULTS=OFF \
    -DKERVO_SANITIZE=OFF
exec "$root/demo/run-demo.sh" "$root/build-demo/bin/kervo"
