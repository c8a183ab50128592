"""The other POP3 clients the retrieval is measured against, each fetching the bench's mailbox
into a maildir of its own with its own configuration in a temporary folder."""
import os
import pwd

from common import PASSWORD, USER, count_files, run


def fetchmail(bench, dest):
    home = bench.fresh("fetchmail-home")
    for sub in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(dest, sub), exist_ok=True)
    me = pwd.getpwuid(os.geteuid()).pw_name
    rc = os.path.join(home, "fetchmailrc")
    with open(rc, "w") as f:
        f.write("set no syslog\nset no bouncemail\n"
                f"poll 127.0.0.1 with protocol POP3 and port {bench.server.port}\n"
                f'  user "{USER}" there with password "{PASSWORD}" is "{me}" here\n'
                # Plain POP3 on loopback: no opportunistic TLS to try first.
                "  options fetchall no keep sslproto ''\n"
                f'  mda "{bench.tool("kervo_bench_mda")} {dest}"\n')
    os.chmod(rc, 0o600)
    env = dict(os.environ, HOME=home, FETCHMAILHOME=home, FETCHMAILUSER=me)
    wall, done = run(["fetchmail", "-f", rc, "--silent", "--nosyslog", "--pidfile",
                      os.path.join(home, "pid")], timeout=1200, env=env)
    if done.returncode not in (0, 1):
        raise RuntimeError(f"fetchmail failed ({done.returncode}): {done.stderr.strip()}")
    return {"seconds": wall, "wall": wall, "mails": count_files(os.path.join(dest, "new"))}

def mpop(bench, dest):
    """mpop, the pipelining POP3 client, delivering into a maildir (each mail synced before
    it is deleted) and deleting what it fetched; its Received header is left out, so that
    it does no more than the others."""
    home = bench.fresh("mpop-home")
    for sub in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(dest, sub), exist_ok=True)
    rc = os.path.join(home, "mpoprc")
    with open(rc, "w") as f:
        f.write("defaults\n\naccount bench\nhost 127.0.0.1\n"
                f"port {bench.server.port}\ntls off\nauth user\n"
                f"user {USER}\npassword {PASSWORD}\n"
                f"delivery maildir {dest}\nkeep off\nreceived_header off\n"
                f"uidls_file {os.path.join(home, 'uidls')}\n")
    os.chmod(rc, 0o600)
    env = dict(os.environ, HOME=home)
    wall, done = run(["mpop", "--quiet", f"--file={rc}", "bench"], timeout=1200, env=env)
    if done.returncode != 0:
        raise RuntimeError(f"mpop failed ({done.returncode}): {done.stderr.strip()}")
    return {"seconds": wall, "wall": wall, "mails": count_files(os.path.join(dest, "new"))}

def getmail(bench, dest):
    home = bench.fresh("getmail-home")
    for sub in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(dest, sub), exist_ok=True)
    # getmail6 refuses to deliver as root: as root it delivers as nobody.
    user_line = "user = nobody\n" if bench.root_user else ""
    if bench.root_user:
        nobody = pwd.getpwnam("nobody")
        for folder in [dest] + [os.path.join(dest, s) for s in ("tmp", "new", "cur")]:
            os.chown(folder, nobody.pw_uid, nobody.pw_gid)
    rc = os.path.join(home, "getmailrc")
    with open(rc, "w") as f:
        f.write("[retriever]\ntype = SimplePOP3Retriever\nserver = 127.0.0.1\n"
                f"port = {bench.server.port}\nusername = {USER}\npassword = {PASSWORD}\n\n"
                f"[destination]\ntype = Maildir\npath = {dest}/\n{user_line}\n"
                "[options]\nverbose = 0\nread_all = true\ndelete = true\n"
                "message_log_syslog = false\n")
    wall, done = run(["getmail", "--getmaildir", home, "--rcfile", rc], timeout=1200)
    if done.returncode != 0:
        raise RuntimeError(f"getmail failed ({done.returncode}): {done.stderr.strip()}")
    return {"seconds": wall, "wall": wall, "mails": count_files(os.path.join(dest, "new"))}
