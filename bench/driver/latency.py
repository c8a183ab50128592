"""The alarm latency section: the time from a report's delivery into the mailbox to its alarm
on the window, the monitor running on its own tick against a Dovecot the tool starts itself.
It is mostly waiting (the deliveries spread over ten polls), about ten minutes of wall time."""
import os

from common import run

SPREAD_S = {"full": 600, "quick": 120}
REPORTS = {"full": 50, "quick": 10}


def parse(stdout):
    for line in stdout.splitlines():
        if line.startswith("RESULT latency "):
            return dict(part.split("=", 1) for part in line.split()[2:])
    return None


def measure(bench_dir, quick, protocol="pop3", seed=1):
    mode = "quick" if quick else "full"
    spread = SPREAD_S[mode]
    cmd = [os.path.join(bench_dir, "kervo_bench_latency"), "--protocol", protocol,
           "--reports", str(REPORTS[mode]), "--spread-seconds", str(spread), "--seed", str(seed)]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    _, done = run(cmd, timeout=spread + 600, env=env)
    got = parse(done.stdout)
    if done.returncode != 0 or got is None:
        raise RuntimeError(f"kervo_bench_latency failed: {done.stderr.strip()[-2000:]}")
    return [got]


def markdown(results):
    runs = results.get("latency")
    if not runs:
        return ""
    rows = ["| Protocol | Reports (alarmed) | Median | 95th percentile | Max |",
            "|---|---|---|---|---|"]
    for r in runs:
        rows.append(f"| {r['protocol']} | {r['reports']} ({r['alarmed']}) | {r['median_s']} s | "
                    f"{r['p95_s']} s | {r['max_s']} s |")
    return ("\n\n### Alarm latency (delivery into the mailbox to the alarm on the window, "
            f"deliveries over {runs[0]['spread_s']} s, seed {runs[0]['seed']})\n\n"
            + "\n".join(rows) + "\n")
