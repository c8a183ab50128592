#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kervo on a demo mailbox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build" -DKERVO_BUILD_TESTS=OFF
exec "$root/demo/run-demo.sh" "$root/build/bin/kervo"
