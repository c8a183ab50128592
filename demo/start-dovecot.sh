#!/usr/bin/env bash
# Starts a private POP3 (or IMAP) server on 127.0.0.1 for the demo, entirely inside one folder:
#   start-dovecot.sh RUNDIR PORT USER PASSWORD [pop3|imap]
# It writes RUNDIR/dovecot.conf, a maildir for USER under RUNDIR/mail/USER, and leaves the
# server's pid in RUNDIR/dovecot.pid. Works for root and for an ordinary user.
set -euo pipefail
run=$(realpath -m "$1"); port=$2; user=$3; password=$4; protocol=${5:-pop3}
pop3_port=$port; imap_port=0
if [ "$protocol" = imap ]; then pop3_port=0; imap_port=$port; fi
mkdir -p "$run"/{base,state,home} "$run/mail/$user"/{tmp,new,cur}
chmod 755 "$run"

me=$(id -un); uid=$(id -u); gid=$(id -g)
if [ "$uid" = 0 ]; then
    # The server never serves mail as root: as root, the mailbox belongs to the unprivileged
    # account the package creates, and the login processes drop to theirs.
    internal=dovecot; login=dovenull
    uid=$(id -u dovecot); gid=$(id -g dovecot)
    chown -R "$uid:$gid" "$run/mail"
else
    internal=$me; login=$me
fi

printf '%s:{PLAIN}%s\n' "$user" "$password" > "$run/passwd"
cat > "$run/dovecot.conf" <<CONF
base_dir = $run/base
state_dir = $run/state
instance_name = kervo-demo-$port
log_path = $run/dovecot.log
protocols = $protocol
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login apop
default_internal_user = $internal
default_internal_group = $(id -gn "$internal")
default_login_user = $login
first_valid_uid = 1
mail_location = maildir:$run/mail/%u
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $run/passwd
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$run/home/%u
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop3_port
  }
}
service anvil {
  chroot =
}
service imap-login {
  chroot =
  inet_listener imap {
    address = 127.0.0.1
    port = $imap_port
  }
  inet_listener imaps {
    port = 0
  }
}
service pop3-login {
  inet_listener pop3s {
    port = 0
  }
}
CONF

/usr/sbin/dovecot -F -c "$run/dovecot.conf" >>"$run/dovecot.out" 2>&1 &
echo $! > "$run/dovecot.pid"
for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        exit 0
    fi
    kill -0 "$(cat "$run/dovecot.pid")" 2>/dev/null || break
    sleep 0.1
done
echo "the demo mail server did not start; see $run/dovecot.log and $run/dovecot.out" >&2
cat "$run/dovecot.out" >&2 || true
exit 1
