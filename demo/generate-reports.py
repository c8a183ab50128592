#!/usr/bin/env python3
"""Drops realistic integrity and intrusion reports into a demo maildir now and then.

Each report is written the way a delivery agent would: into tmp/, then renamed into new/, so the
mail server never sees half a mail.
"""
import argparse
import os
import random
import socket
import sys
import time
from email.header import Header
from email.mime.text import MIMEText
from email.utils import formatdate, make_msgid

SERVERS = ["web01", "web02", "db01", "mail01", "gw01"]

INTEGRITY_CLEAN = """Integrity check report for {host}
Run started: {date}
Database: /var/lib/integrity/{host}.db

Objects checked:  48213
Added:            0
Removed:          0
Changed:          0

No violations found.
"""

INTEGRITY_CHANGED = """Integrity check report for {host}
Run started: {date}
Database: /var/lib/integrity/{host}.db

Objects checked:  48213
Added:            1
Removed:          0
Changed:          2

Changed:
  /etc/passwd            size 2398 -> 2431  mtime {date}
  /usr/bin/sshd          sha256 9f2c...e1 -> 41aa...07
Added:
  /tmp/.X11-unix/.x      mode 4755 owner root
"""

INTRUSION = """Intrusion alert from {host}
Time: {date}
Rule: SSH brute force (more than 40 failed log-ons in 60 s)
Source: 198.51.100.{octet}
Target user: root

Action taken: none (monitor only)
"""

JAPANESE_SUBJECT = "【改ざん検知】{host} ファイル変更あり"
JAPANESE_BODY = """{host} の改ざん検査で変更が見つかりました。

変更されたファイル:
  /var/www/html/index.html
  /var/www/html/login.php

検査日時: {date}
至急確認してください。
"""


def build(kind, host):
    date = formatdate(localtime=True)
    if kind == "clean":
        msg = MIMEText(INTEGRITY_CLEAN.format(host=host, date=date), "plain", "us-ascii")
        msg["Subject"] = f"Integrity report {host}: no changes"
    elif kind == "changed":
        msg = MIMEText(INTEGRITY_CHANGED.format(host=host, date=date), "plain", "us-ascii")
        msg["Subject"] = f"Integrity report {host}: files changed"
    elif kind == "intrusion":
        body = INTRUSION.format(host=host, date=date, octet=random.randint(2, 250))
        msg = MIMEText(body, "plain", "us-ascii")
        msg["Subject"] = f"Intrusion alert {host}: ssh brute force"
    else:
        msg = MIMEText(JAPANESE_BODY.format(host=host, date=date), "plain", "iso-2022-jp")
        msg["Subject"] = Header(JAPANESE_SUBJECT.format(host=host), "iso-2022-jp")
    msg["From"] = f"checker@{host}.example"
    msg["To"] = "kervo@monitor.example"
    msg["Date"] = date
    msg["Message-ID"] = make_msgid(domain=f"{host}.example")
    return msg.as_bytes()


def deliver(maildir, data):
    name = f"{time.time():.6f}.{os.getpid()}.{random.randint(0, 1 << 30)}.{socket.gethostname()}"
    tmp = os.path.join(maildir, "tmp", name)
    with open(tmp, "wb") as f:
        f.write(data.replace(b"\n", b"\r\n") if b"\r\n" not in data else data)
        f.flush()
        os.fsync(f.fileno())
    os.rename(tmp, os.path.join(maildir, "new", name))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("maildir")
    parser.add_argument("--every", type=float, default=40.0, help="mean seconds between reports")
    parser.add_argument("--count", type=int, default=0, help="stop after this many (0: run on)")
    parser.add_argument("--first-batch", choices=["with", "only", "without"], default="with",
                        help="the three reports delivered at once at the start")
    args = parser.parse_args()
    for sub in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(args.maildir, sub), exist_ok=True)
    # A first batch at once, so that hands and an alarm appear within the first minutes.
    first = [("clean", "web01"), ("clean", "db01"), ("japanese", "web02")]
    sent = 0
    if args.first_batch != "without":
        for kind, host in first:
            deliver(args.maildir, build(kind, host))
            sent += 1
    if args.first_batch == "only":
        return
    kinds = ["clean"] * 6 + ["changed", "intrusion", "japanese"]
    while args.count == 0 or sent < args.count:
        time.sleep(random.uniform(0.5, 1.5) * args.every)
        deliver(args.maildir, build(random.choice(kinds), random.choice(SERVERS)))
        sent += 1
        print(f"report {sent} delivered", file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
