"""The alarm latency section: the time from a report's delivery into the mailbox to its alarm
on the window, the monitor running on its own tick against a Dovecot the tool starts itself.
POP3 waits for its poll, so its deliveries spread over ten polls (about ten minutes of wall
time); IMAP is told of each mail in IDLE, so a few minutes show its spread."""
import os

from common import run

SPREAD_S = {"pop3": {"full": 600, "quick": 120}, "imap": {"full": 150, "quick": 30}}
REPORTS = {"full": 50, "quick": 10}


def parse(stdout):
    for line in stdout.splitlines():
        if line.startswith("RESULT latency "):
            return dict(part.split("=", 1) for part in line.split()[2:])
    return None


def measure(bench_dir, quick, seed=1):
    return [measure_one(bench_dir, quick, protocol, seed) for protocol in SPREAD_S]


def measure_one(bench_dir, quick, protocol, seed):
    mode = "quick" if quick else "full"
    spread = SPREAD_S[protocol][mode]
    cmd = [os.path.join(bench_dir, "kervo_bench_latency"), "--protocol", protocol,
           "--reports", str(REPORTS[mode]), "--spread-seconds", str(spread), "--seed", str(seed)]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    _, done = run(cmd, timeout=spread + 600, env=env)
    got = parse(done.stdout)
    if done.returncode != 0 or got is None:
        raise RuntimeError(f"kervo_bench_latency failed: {done.stderr.strip()[-2000:]}")
    return got


def markdown(results):
    runs = results.get("latency")
    if not runs:
        return ""
    rows = ["| Protocol | Deliveries over | Reports (alarmed) | Median | 95th percentile | Max |",
            "|---|---|---|---|---|---|"]
    for r in runs:
        rows.append(f"| {r['protocol']} | {r['spread_s']} s | {r['reports']} ({r['alarmed']}) | "
                    f"{r['median_s']} s | {r['p95_s']} s | {r['max_s']} s |")
    return ("\n\n### Alarm latency (delivery into the mailbox to the alarm on the window, "
            f"seed {runs[0]['seed']})\n\n" + "\n".join(rows) + "\n")
