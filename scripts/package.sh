#!/usr/bin/env bash
# Installs what is missing, then builds the Debian package of Kervo into build-package/ (or the
# folder given as $1): a build of the program alone for /usr, packed by CPack. Prints the path of
# the .deb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-package}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DKERVO_BUILD_TESTS=OFF \
    -DKERVO_BUILD_FAULTS=OFF -DKERVO_BUILD_FUZZERS=OFF -DKERVO_BUILD_BENCH=OFF -DKERVO_SANITIZE=OFF
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/kervo_*.deb
