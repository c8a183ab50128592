"""The private mail server the benchmarks fetch from: a Dovecot on 127.0.0.1 (demo/start-dovecot.sh)
whose maildir is emptied and refilled with prepared reports before every run."""
import os
import poplib
import signal
import socket
import subprocess
import time

from common import PASSWORD, USER, count_files

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def unlink_if_there(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


class MailServer:
    """The private Dovecot: started once, its maildir refilled before every run."""

    def __init__(self, run_dir, port):
        self.run_dir = run_dir
        self.port = port
        self.maildir = os.path.join(run_dir, "mail", USER)
        self.pid = None

    def start(self):
        subprocess.run([os.path.join(ROOT, "demo", "start-dovecot.sh"), self.run_dir,
                        str(self.port), USER, PASSWORD], check=True, timeout=60)
        with open(os.path.join(self.run_dir, "dovecot.pid")) as f:
            self.pid = int(f.read().strip())
        info = os.stat(self.maildir)
        self.owner = (info.st_uid, info.st_gid)

    def stop(self):
        if self.pid is None:
            return
        try:
            os.kill(self.pid, signal.SIGTERM)
            for _ in range(100):
                os.kill(self.pid, 0)
                time.sleep(0.05)
        except ProcessLookupError:
            pass
        self.pid = None

    def adopt(self, folder):
        """Gives prepared reports to the server's account, so that it may rename and delete them."""
        for entry in os.scandir(folder):
            os.chown(entry.path, *self.owner)

    def reset(self, paths=()):
        """Empties the mailbox, its index included, and links the given reports into new/."""
        # A session the last program abandoned may still be renaming the server's files.
        for sub in ("new", "cur", "tmp"):
            for entry in os.scandir(os.path.join(self.maildir, sub)):
                unlink_if_there(entry.path)
        for entry in os.scandir(self.maildir):
            if entry.name.startswith("dovecot") and not entry.is_dir():
                unlink_if_there(entry.path)
        target = os.path.join(self.maildir, "new")
        for path in paths:
            os.link(path, os.path.join(target, os.path.basename(path)))
        if paths and self.pid is not None:
            self.warm()

    def warm(self):
        """One log-on that lists the mailbox, so that the server has indexed the new mail before
        the timed run, as it has for mail its own delivery put there. Nothing is deleted."""
        session = poplib.POP3("127.0.0.1", self.port, timeout=120)
        try:
            session.user(USER)
            session.pass_(PASSWORD)
            session.stat()
            session.uidl()
        finally:
            session.quit()

    def waiting(self):
        return count_files(os.path.join(self.maildir, "new")) + count_files(
            os.path.join(self.maildir, "cur"))
