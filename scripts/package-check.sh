#!/usr/bin/env bash
# The installed program as a user gets it (CI runs this after the tests): builds the Debian
# package, installs it on this machine with apt-get (sudo when not root), and runs the installed
# /usr/bin/kervo: --version, the manual page, and --check on the installed examples, as the
# caller and, when that is root, as an ordinary user too. The package stays installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$("$root/scripts/package.sh" | tail -n 1)
echo "package: $deb ($(du -k "$deb" | cut -f1) KB)"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" \
    >/dev/null

fail() { echo "package check: $*" >&2; exit 1; }
[ "$(command -v kervo)" = /usr/bin/kervo ] || fail "kervo is not /usr/bin/kervo"
version=$(/usr/bin/kervo --version)
[ "$version" = "kervo $(sed -n 's/^project(kervo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")" ] ||
    fail "unexpected version: $version"
[ -s /usr/share/man/man1/kervo.1.gz ] || fail "no manual page kervo(1)"
desktop-file-validate /usr/share/applications/org.kervo.Kervo.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.kervo.Kervo.metainfo.xml >/dev/null

examples=/usr/share/doc/kervo/examples
# Run where a desktop session starts programs: in the home folder, no kervo.ini there.
check_as() {  # $1: how to run (empty, or setpriv ...); $2: the home folder
    (cd "$2" && env HOME="$2" XDG_CONFIG_HOME= XDG_STATE_HOME= $1 /usr/bin/kervo --check \
        --settings "$examples") >"$2/check.out" 2>&1 || { cat "$2/check.out"; fail "--check failed"; }
    grep -q "^Settings folder: $examples (given with --settings)" "$2/check.out" &&
        grep -q "^Mail folder: $2/.local/state/kervo/mail (the program is installed)" "$2/check.out" ||
        { cat "$2/check.out"; fail "--check does not show the installed program's folders"; }
}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
chmod 755 "$home"
check_as "" "$home"
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$home"
    check_as "setpriv --reuid=nobody --regid=nogroup --clear-groups" "$home"
fi
echo "package check: $version installed, --check on the examples passes"
