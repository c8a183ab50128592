#!/usr/bin/env bash
# Runs Kervo against a private demo mailbox: a POP3 server on 127.0.0.1, a settings folder with
# five servers and a few alarm rules, and a generator that mails a report every half minute or
# so. Everything lives in one folder (default: ~/.cache/kervo-demo) and stops with the monitor.
#   run-demo.sh [KERVO_BINARY]
# KERVO_DEMO_PROTOCOL=imap serves the mailbox over IMAP instead, where each report reaches its
# alarm within about a second (IDLE) instead of at the next poll.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
kervo=${1:-$root/build/bin/kervo}
# As root the home folder is usually closed to other accounts, and the mail server's own
# unprivileged account must reach its password file and mailbox: root's demo lives in /tmp.
if [ "$(id -u)" = 0 ]; then
    run=${KERVO_DEMO_DIR:-${TMPDIR:-/tmp}/kervo-demo-root}
else
    run=${KERVO_DEMO_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kervo-demo}
fi
port=${KERVO_DEMO_PORT:-$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')}

rm -rf "$run"
mkdir -p "$run/img"
cp "$root"/samples/img/* "$run/img/"

protocol=${KERVO_DEMO_PROTOCOL:-pop3}
"$here/start-dovecot.sh" "$run/pop" "$port" demo demo "$protocol"
maildir="$run/pop/mail/demo"
cleanup() {
    kill "$(cat "$run/pop/dovecot.pid")" 2>/dev/null || true
    [ -n "${generator:-}" ] && kill "$generator" 2>/dev/null || true
}
trap cleanup EXIT

line6="127.0.0.1:$port?auth=apop"
[ "$protocol" = imap ] && line6="imap://127.0.0.1:$port"
sed -e "s|@SERVER@|$line6|" "$here/kervo.ini.in" > "$run/kervo.ini"
chmod 600 "$run/kervo.ini"  # it holds the mailbox password
cp "$here/server.ini" "$run/server.ini"

# A first batch waits in the mailbox before the monitor starts, so that its first poll has work.
python3 "$here/generate-reports.py" "$maildir" --first-batch only
python3 "$here/generate-reports.py" "$maildir" --first-batch without --every "${KERVO_DEMO_EVERY:-30}" &
generator=$!

echo "Demo mailbox: $protocol on 127.0.0.1:$port (user demo); settings in $run" >&2
cd "$run"
"$kervo"
