#!/usr/bin/env python3
"""Runs every benchmark of the monitor in one go and prints the figures as Markdown tables.

A private mail server is started on 127.0.0.1 (demo/start-dovecot.sh) and filled with
prepared reports before each run, so every program fetches exactly the same mailbox:

1. Retrieval: the monitor's mail component (one fetchAll, then readReport of every mail) beside
   mpop, fetchmail, getmail6 and a bare pipelined POP3 download (the floor), in rotating order.
2. Responsiveness: the longest stall of the interface thread while one big poll runs, and
   while a poll brings a 30 MB report whose alarm hangs on its last line.
3. Start-up: process start to the main window's first paint, mail server up and down.
4. Footprint: memory with 12 dials and 200 rules, idle CPU, memory along many polls.
5. Reader: time and peak memory of reading one 30 MB report, and one 24 MB mail that is all
   short header lines.

    run_bench.py --build BUILD_DIR [--quick] [--json FILE] [--markdown FILE]

No traffic leaves 127.0.0.1; every program runs under a time limit.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import latency  # noqa: E402
import mailgen  # noqa: E402
import report  # noqa: E402

from common import PASSWORD, USER, run  # noqa: E402
from mailserver import MailServer, free_port  # noqa: E402
import peers  # noqa: E402


@dataclass
class Plan:
    small_counts: list
    large_count: int
    rounds: dict
    stall_mails: int
    startup_runs: int
    idle_s: int
    blink_s: int
    polls: int
    huge_mb: int = 30
    # Diagnostic runs of the component beside the figures: which scenarios get them.
    diagnose: list = field(default_factory=list)


FULL = Plan(small_counts=[1000, 10000], large_count=20, rounds={1000: 3, 10000: 3, "large": 3},
            stall_mails=10000, startup_runs=10, idle_s=60, blink_s=20, polls=1000,
            diagnose=["1000 x 4 KB", "20 x 5 MB"])
QUICK = Plan(small_counts=[200, 1000], large_count=4, rounds={200: 2, 1000: 1, "large": 1},
             stall_mails=1000, startup_runs=3, idle_s=10, blink_s=3, polls=100,
             diagnose=["200 x 4 KB", "4 x 5 MB"])


def log(text):
    print(f"[bench {time.strftime('%H:%M:%S')}] {text}", file=sys.stderr, flush=True)


def parse_result(stdout):
    """The key=value pairs of the RESULT line a benchmark tool prints."""
    for line in stdout.splitlines():
        if line.startswith("RESULT "):
            fields = line.split()[2:]
            return dict(f.split("=", 1) for f in fields if "=" in f)
    return None


def settle():
    """Writes back whatever earlier steps left dirty (the prepared reports, the last program's
    files): otherwise the first fsync of the next timed run pays for it."""
    os.sync()


def fsync_latency_ms(folder, count=100):
    """Median time to write 4 KB into a new file and make file and folder durable: what one mail
    costs a fetcher that syncs each mail. It swings with other work on the same disk. The files
    stay, for the same reason as the runs' folders do."""
    os.makedirs(folder, exist_ok=True)
    samples = []
    block = b"x" * 4096
    for i in range(count):
        start = time.monotonic()
        fd = os.open(os.path.join(folder, f"p{i}"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        try:
            os.write(fd, block)
            os.fsync(fd)
        finally:
            os.close(fd)
        dfd = os.open(folder, os.O_RDONLY)
        try:
            os.fsync(dfd)
        finally:
            os.close(dfd)
        samples.append((time.monotonic() - start) * 1000)
    return round(sorted(samples)[len(samples) // 2], 2)


class Bench:
    def __init__(self, build, work, plan, peers_up_to=None):
        self.bin = os.path.join(build, "bench")
        self.work = work
        self.plan = plan
        self.root_user = os.geteuid() == 0
        self.server = MailServer(os.path.join(work, "pop"), free_port())
        self.results = {"retrieval": [], "diagnostics": [], "failures": []}
        self.folders = 0
        # fetchmail and getmail6 run only on mailboxes of at most this many mails, when given.
        self.peers_up_to = peers_up_to

    def tool(self, name):
        return os.path.join(self.bin, name)

    def fresh(self, name):
        """A new empty folder. Nothing is deleted until the whole run is over: the disk here
        discards freed blocks as it goes, and a deletion between runs slows the next one down."""
        self.folders += 1
        path = os.path.join(self.work, f"{name}-{self.folders}")
        os.makedirs(path)
        return path

    # Retrieval --------------------------------------------------------------------------------

    def kervo(self, dest, variant=None):
        cmd = [self.tool("kervo_bench_fetch"), f"server=127.0.0.1:{self.server.port}",
               f"user={USER}", f"password={PASSWORD}", f"folder={dest}"]
        if variant == "nofsync":
            cmd = ["eatmydata"] + cmd
        elif variant == "timed-probe":
            cmd.append("probe=timed")
        wall, done = run(cmd, timeout=1200)
        got = parse_result(done.stdout)
        if done.returncode != 0 or got is None:
            raise RuntimeError(f"kervo_bench_fetch failed: {done.stderr.strip()}")
        return {"seconds": float(got["seconds"]), "wall": wall, "mails": int(got["mails"]),
                "detail": got}

    def floor(self, dest, sync="none"):
        cmd = [self.tool("kervo_bench_floor"), f"port={self.server.port}", f"user={USER}",
               f"password={PASSWORD}", f"dir={dest}", f"sync={sync}", "limit-s=1100"]
        wall, done = run(cmd, timeout=1200)
        got = parse_result(done.stdout)
        if done.returncode != 0 or got is None:
            raise RuntimeError(f"kervo_bench_floor failed: {done.stderr.strip()}")
        return {"seconds": float(got["seconds"]), "wall": wall, "mails": int(got["mails"]),
                "detail": got}

    def fetchmail(self, dest):
        return peers.fetchmail(self, dest)

    def mpop(self, dest):
        return peers.mpop(self, dest)

    def getmail(self, dest):
        return peers.getmail(self, dest)

    def fetch_once(self, scenario, paths, total, name, action):
        # A run that fails is recorded and made once more from a fresh mailbox: one program's
        # rare hiccup should not cost the whole benchmark, nor be hidden.
        for attempt in (1, 2):
            self.server.reset(paths)
            dest = self.fresh("dest")
            settle()
            try:
                outcome = action(dest)
                left = self.server.waiting()
                if outcome["mails"] != len(paths) or left != 0:
                    raise RuntimeError(f"{outcome['mails']} of {len(paths)} mails fetched, "
                                       f"{left} left on the server")
                break
            except (RuntimeError, subprocess.TimeoutExpired) as error:
                self.results["failures"].append({"scenario": scenario, "tool": name,
                                                 "attempt": attempt, "error": str(error)[-300:]})
                log(f"{scenario:>12}  {name:<28} FAILED: {error}")
                # A peer that fails twice is left out of this mailbox (the failures table
                # says so); Kervo or the floor failing twice ends the run.
                if attempt == 2 and name in report.PEERS:
                    return None
                if attempt == 2:
                    raise
        outcome.update(scenario=scenario, tool=name, bytes=total, count=len(paths))
        log(f"{scenario:>12}  {name:<28} {outcome['seconds']:8.2f} s")
        return outcome

    def retrieval(self, scenarios):
        self.note_fsync("before the retrieval runs")
        tools = [("Kervo", self.kervo), ("floor (pipelined, no fsync)", self.floor),
                 ("mpop", self.mpop), ("fetchmail", self.fetchmail), ("getmail6", self.getmail)]
        for scenario, paths, total, rounds in scenarios:
            slow = ("fetchmail", "getmail6")
            these = [t for t in tools if t[0] not in slow or self.peers_up_to is None
                     or len(paths) <= self.peers_up_to]
            for r in range(rounds):
                # Rotating the order spreads any warm-up or drift over every program.
                for name, action in these[r % len(these):] + these[:r % len(these)]:
                    outcome = self.fetch_once(scenario, paths, total, name, action)
                    if outcome is not None:
                        self.results["retrieval"].append(outcome)
            # Every mailbox gets its durable floor and Kervo without syncs: together they say
            # how much of the gap to the floor is durability, and how much is Kervo's own work.
            self.diagnostics(scenario, paths, total)
            self.note_fsync(f"after {scenario}")

    def note_fsync(self, when):
        settle()
        ms = fsync_latency_ms(self.fresh("fsync-probe"))
        self.results.setdefault("fsync_ms", []).append([when, ms])
        log(f"one 4 KB file made durable {when}: {ms} ms (median of 100)")

    def diagnostics(self, scenario, paths, total):
        runs = [("Kervo, fsync disabled (eatmydata)", lambda d: self.kervo(d, "nofsync")),
                ("floor + one syncfs before DELE", lambda d: self.floor(d, "syncfs"))]
        if scenario in self.plan.diagnose:
            runs += [("Kervo, free-space check timed", lambda d: self.kervo(d, "timed-probe")),
                     ("floor + fsync per mail", lambda d: self.floor(d, "each"))]
        for name, action in runs:
            self.results["diagnostics"].append(self.fetch_once(scenario, paths, total, name, action))

    # The monitor as a whole -------------------------------------------------------------------

    def settings(self, name, port):
        folder = os.path.join(self.work, name)
        mailgen.write_settings(folder, f"127.0.0.1:{port}", USER, PASSWORD,
                               os.path.join(ROOT, "samples", "img"))
        return folder

    def stall(self, settings, templates):
        self.results["stall"] = self.stall_once(settings, templates, self.plan.stall_mails)
        # A huge report in the poll: once raising no alarm (what its reading costs the window),
        # once raising the alarm its last line calls for (what showing that alarm costs).
        for key, quiet in (("stall_huge_quiet", True), ("stall_huge", False)):
            self.results[key] = self.stall_once(settings, templates, self.plan.stall_mails // 5,
                                                huge=self.prepare_huge(quiet))
        # The same with shorter slices of analysis, on a smaller poll: how the stall follows them.
        self.results["stall_slices"] = [
            self.stall_once(settings, templates, self.plan.stall_mails // 5, slice_ms)
            for slice_ms in (15, 5)]

    def journal_cost(self, settings, templates):
        """The same big poll with and without the journal: what recording every report costs
        the analysis, and the window."""
        runs = {state: self.stall_once(settings, templates, self.plan.stall_mails, journal=state)
                for state in ("off", "on")}
        ratio = float(runs["on"]["analysis_s"]) / max(float(runs["off"]["analysis_s"]), 1e-9)
        self.results["journal_cost"] = {"off": runs["off"], "on": runs["on"],
                                        "analysis_ratio": round(ratio, 3)}
        log(f"journal: analysis {runs['on']['analysis_s']} s with, {runs['off']['analysis_s']} s "
            f"without (x{ratio:.2f}); longest stall {runs['on']['max_ms']} ms with, "
            f"{runs['off']['max_ms']} ms without")
        # Where the longest stalls fell: the interface thread's own work, or waiting for the
        # processor (or a lock); and what each thread cost.
        for state in ("on", "off"):
            got = runs[state]
            log(f"journal {state}: longest stall {got['max_ms']} ms = {got['max_busy_ms']} ms "
                f"working + at least {got['max_wait_ms']} ms waiting ({got['max_preempted']} "
                f"preemptions); interface thread {got['analysis_ui_cpu_s']} s of processor in "
                f"the analysis, preempted {got['analysis_ui_preempted']} times; threads "
                f"{got['thread_cpu_s']}")

    def stall_once(self, settings, templates, mails, slice_ms=None, huge=None, journal=None):
        self.server.reset()
        folder = self.fresh("stall-mail")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        cmd = [self.tool("kervo_bench_stall"), f"settings={settings}", f"folder={folder}",
               f"templates={templates}", f"maildir={self.server.maildir}", f"mails={mails}",
               "period-ms=5", "limit-s=1100"]
        if slice_ms:
            cmd.append(f"slice-ms={slice_ms}")
        if huge:
            cmd.append(f"big={huge}")
        if journal:
            cmd.append(f"journal={os.path.join(self.work, 'journal.sqlite') if journal == 'on' else 'off'}")
            if journal == "on":
                for suffix in ("", "-wal", "-shm"):
                    path = os.path.join(self.work, "journal.sqlite" + suffix)
                    if os.path.exists(path):
                        os.remove(path)
        settle()
        _, done = run(cmd, timeout=1200, env=env)
        got = parse_result(done.stdout)
        if done.returncode != 0 or got is None:
            raise RuntimeError(f"kervo_bench_stall failed: {done.stderr.strip()[-2000:]}")
        log(f"stall: longest {got['max_ms']} ms over a poll of {got['mails']} mails, "
            f"slices {got['slice_ms']}, huge reports {got.get('big_reports', '0')} "
            f"(alarms {got.get('big_alarms', '0')})")
        return got

    def startup(self, settings_up, settings_down):
        mail_beside = os.path.join(self.bin, "mail")
        runs = {}
        for case, settings in (("server reachable", settings_up),
                               ("server unreachable (closed port)", settings_down)):
            samples = []
            for _ in range(self.plan.startup_runs):
                self.server.reset()
                settle()
                env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                           KERVO_BENCH_T0=str(time.monotonic_ns()))
                _, done = run([self.tool("kervo_bench_startup"), "limit-s=30"], timeout=60,
                              env=env, cwd=settings)
                got = parse_result(done.stdout)
                if done.returncode != 0 or got is None:
                    raise RuntimeError(f"kervo_bench_startup failed: {done.stderr.strip()}")
                samples.append(got)
            runs[case] = samples
            log(f"start-up, {case}: " + ", ".join(s["process_ms"] for s in samples) + " ms")
        # The program keeps its mail beside itself; the benchmark's copy has no business there.
        shutil.rmtree(mail_beside, ignore_errors=True)
        self.results["startup"] = runs

    def footprint(self, settings, templates):
        self.server.reset()
        folder = self.fresh("footprint-mail")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        limit = self.plan.idle_s + self.plan.blink_s + 900
        settle()
        _, done = run([self.tool("kervo_bench_footprint"), f"settings={settings}",
                       f"folder={folder}", f"templates={templates}",
                       f"maildir={self.server.maildir}", f"idle-s={self.plan.idle_s}",
                       f"blink-s={self.plan.blink_s}", f"polls={self.plan.polls}",
                       f"limit-s={limit}"], timeout=limit + 120, env=env)
        got = parse_result(done.stdout)
        if done.returncode != 0 or got is None:
            raise RuntimeError(f"kervo_bench_footprint failed: {done.stderr.strip()[-2000:]}")
        self.results["footprint"] = got
        log(f"footprint: {got['polls']} polls, RSS {got['rss_start_kb']} kB at start")

    def reader(self):
        """Each huge mail read by a process of its own, so that the peak is that mail's."""
        folder = self.fresh("reader-mail")
        report_data, _ = mailgen.build_tail_alarm_report(random.Random(7),
                                                         self.plan.huge_mb * 1024 * 1024)
        cases = [(f"{self.plan.huge_mb} MB report, match in its last line", report_data),
                 ("24 MB of short header lines", mailgen.build_header_flood())]
        runs = []
        for index, (case, data) in enumerate(cases):
            path = os.path.join(folder, mailgen.maildir_name(index, data))
            with open(path, "wb") as out:
                out.write(data)
            settle()
            _, done = run([self.tool("kervo_bench_reader"), f"mail={path}",
                           "find=Modified object name:  /etc/passwd"], timeout=600)
            got = parse_result(done.stdout)
            if done.returncode != 0 or got is None:
                raise RuntimeError(f"kervo_bench_reader failed: {done.stderr.strip()[-2000:]}")
            got["case"] = case
            runs.append(got)
            log(f"reader, {case}: {got['read_ms']} ms, peak +{int(got['peak_growth_kb']) // 1024} MB")
        self.results["reader"] = runs

    # The whole run ----------------------------------------------------------------------------

    def prepare_reports(self):
        small_dir = os.path.join(self.work, "reports-4k")
        large_dir = os.path.join(self.work, "reports-5m")
        started = time.monotonic()
        small, _ = mailgen.write_reports(small_dir, max(self.plan.small_counts), seed=1)
        large, _ = mailgen.write_reports(large_dir, self.plan.large_count, large=True, seed=2)
        self.server.adopt(small_dir)
        self.server.adopt(large_dir)
        log(f"{len(small)} + {len(large)} reports written in {time.monotonic() - started:.1f} s")
        scenarios = []
        for count in self.plan.small_counts:
            chosen = small[:count]
            scenarios.append((f"{count} x 4 KB", chosen, sum(map(os.path.getsize, chosen)),
                              self.plan.rounds[count]))
        scenarios.append((f"{len(large)} x 5 MB", large, sum(map(os.path.getsize, large)),
                          self.plan.rounds["large"]))
        return small_dir, scenarios

    def prepare_huge(self, quiet):
        """A folder holding the one huge report a responsiveness run puts into its poll."""
        folder = os.path.join(self.work, "reports-huge-quiet" if quiet else "reports-huge")
        os.makedirs(folder, exist_ok=True)
        data, _ = mailgen.build_tail_alarm_report(random.Random(4), self.plan.huge_mb * 1024 * 1024,
                                                  quiet=quiet)
        with open(os.path.join(folder, mailgen.maildir_name(0, data)), "wb") as out:
            out.write(data)
        self.server.adopt(folder)
        return folder

    def run(self, parts):
        if "latency" in parts:  # its own mail server; first, so that a failure elsewhere spares it
            self.results["latency"] = latency.measure(self.bin, self.plan is QUICK)
        if not parts - {"latency"}:
            return
        self.server.start()
        try:
            small_dir, scenarios = self.prepare_reports()
            up = self.settings("settings-up", self.server.port)
            down = self.settings("settings-down", free_port())
            if "startup" in parts:
                self.startup(up, down)
            if "retrieval" in parts:
                self.retrieval(scenarios)
            if "stall" in parts:
                self.stall(up, small_dir)
            if "journal" in parts:
                self.journal_cost(up, small_dir)
            if "footprint" in parts:
                self.footprint(up, small_dir)
            if "reader" in parts:
                self.reader()
        finally:
            self.server.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="build folder with the bench tools")
    parser.add_argument("--quick", action="store_true", help="smaller sizes, shorter waits")
    parser.add_argument("--only", default="startup,retrieval,stall,journal,footprint,reader",
                        help="comma-separated parts to run; latency (10 minutes) on request")
    parser.add_argument("--json", help="also write the raw figures here")
    parser.add_argument("--markdown", help="also write the tables here")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--slow-peers-up-to", type=int, metavar="MAILS",
                        help="run fetchmail and getmail6 only on mailboxes of at most MAILS "
                             "mails (they take minutes per run on a slow disk)")
    parser.add_argument("--work-in", metavar="FOLDER",
                        help="make the runs' folders in FOLDER instead of the system's temporary "
                             "folder. Where a file system has no journal, a new file skips the "
                             "inodes freed in the last seconds near its folder, so a folder where "
                             "much was just deleted slows every program's file creation")
    args = parser.parse_args()

    plan = QUICK if args.quick else FULL
    work = tempfile.mkdtemp(prefix="kervo-bench-", dir=args.work_in)
    # The mail server's account must reach the maildir through every parent folder.
    os.chmod(work, 0o755)
    bench = Bench(os.path.abspath(args.build), work, plan, args.slow_peers_up_to)
    started = time.monotonic()
    # Other work on the machine shows in every figure; the load says how much there was.
    load_before = os.getloadavg()
    try:
        bench.run(set(args.only.split(",")))
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    results = bench.results
    results["machine"] = report.machine()
    results["mode"] = "quick" if args.quick else "full"
    results["elapsed_s"] = round(time.monotonic() - started, 1)
    results["load"] = [round(x, 2) for x in load_before + os.getloadavg()]
    # The raw figures first: whatever goes wrong in the tables, a long run is not lost.
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1, ensure_ascii=False)
    text = report.markdown(results) + latency.markdown(results)
    print(text)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
