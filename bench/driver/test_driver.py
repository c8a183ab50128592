"""Checks of the report generator, the settings writer and the figures' arithmetic."""
import email
import email.policy
import os
import random
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mailgen  # noqa: E402
import report  # noqa: E402
import run_bench  # noqa: E402


class ReportTest(unittest.TestCase):
    def test_smallReports_areParseableAndAboutFourKilobytes(self):
        rng = random.Random(5)
        kinds = set()
        for index in range(300):
            data, kind = mailgen.build_report(rng, index)
            kinds.add(kind)
            with self.subTest(index=index, kind=kind):
                self.assertNotIn(b"\r\n", data)
                self.assertTrue(3 * 1024 <= len(data) <= 6 * 1024, len(data))
                msg = email.message_from_bytes(data, policy=email.policy.default)
                subject = str(msg["Subject"])
                self.assertTrue(any(server in subject for server in mailgen.REPORTING), subject)
                self.assertTrue(msg.get_content().strip())
        self.assertEqual(kinds, set(mailgen.KINDS))

    def test_japaneseReport_decodesToItsText(self):
        rng = random.Random(1)
        for index in range(200):
            data, kind = mailgen.build_report(rng, index)
            if kind == "japanese":
                break
        else:
            self.fail("no Japanese report in 200")
        msg = email.message_from_bytes(data, policy=email.policy.default)
        self.assertIn("【改ざん検知】", str(msg["Subject"]))
        self.assertIn("変更", msg.get_content())
        self.assertTrue(all(b < 0x80 for b in data), "ISO-2022-JP mail must be 7-bit")

    def test_largeReports_bothEncodingsNearFiveMegabytes(self):
        rng = random.Random(2)
        for index in (0, 1):
            with self.subTest(index=index):
                data = mailgen.build_large_report(rng, index)
                self.assertTrue(4.5e6 <= len(data) <= 6e6, len(data))
                msg = email.message_from_bytes(data, policy=email.policy.default)
                self.assertIn("Modified: ", msg.get_content())

    def test_hugeMails_holdTheRuleTextOnlyAtTheirEnd(self):
        data, subject = mailgen.build_tail_alarm_report(random.Random(3), 1024 * 1024)
        flood = mailgen.build_header_flood(1024 * 1024)
        rule = "/etc/passwd"
        for name, mail in (("report", data), ("flood", flood)):
            with self.subTest(name):
                self.assertTrue(1024 * 1024 * 0.95 <= len(mail) <= 1024 * 1024 * 1.05, len(mail))
                self.assertEqual(mail.count(rule.encode()), 1)
                self.assertGreater(mail.index(rule.encode()), len(mail) - 100)
        msg = email.message_from_bytes(data, policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), subject)
        self.assertIn("files changed", subject)
        head, _ = flood.split(b"\n\n", 1)
        self.assertTrue(head.split(b"\n")[-1].startswith(b"Subject: "))

    def test_fileNames_carryTheSizesTheServerTrusts(self):
        with tempfile.TemporaryDirectory() as folder:
            paths, total = mailgen.write_reports(folder, 25, seed=3)
            self.assertEqual(len(set(paths)), 25)
            self.assertEqual(total, sum(os.path.getsize(p) for p in paths))
            for path in paths:
                with open(path, "rb") as f:
                    data = f.read()
                size, vsize = map(int, re.search(r",S=(\d+),W=(\d+)$", path).groups())
                self.assertEqual(size, len(data))
                self.assertEqual(vsize, len(data.replace(b"\n", b"\r\n")))

    def test_sameSeed_givesTheSameMailbox(self):
        with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
            first, _ = mailgen.write_reports(a, 10, seed=9)
            second, _ = mailgen.write_reports(b, 10, seed=9)
            for x, y in zip(first, second):
                with open(x, "rb") as fx, open(y, "rb") as fy:
                    self.assertEqual(fx.read(), fy.read())


class SettingsTest(unittest.TestCase):
    def test_settings_haveTwelveServersAndTwoHundredRulesInCrLf(self):
        with tempfile.TemporaryDirectory() as folder:
            mailgen.write_settings(folder, "127.0.0.1:1100", "u", "p", "/img")
            with open(os.path.join(folder, "kervo.ini"), "rb") as f:
                ini = f.read()
            with open(os.path.join(folder, "server.ini"), "rb") as f:
                servers = f.read()
        for data in (ini, servers):
            self.assertTrue(data.endswith(b"\r\n"))
            self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
        lines = ini.decode("utf-8").split("\r\n")[:-1]
        self.assertEqual(lines[4:8], ["10", "127.0.0.1:1100", "u", "p"])
        self.assertEqual(len(lines), 8 + 200)
        for rule in lines[8:]:
            fields = re.findall(r'"([^"]*)"', rule)
            self.assertEqual(len(fields), 4, rule)
            self.assertEqual(rule, ",".join(f'"{x}"' for x in fields))
        self.assertEqual(len(servers.split(b"\r\n")) - 1, 12)

    def test_rules_matchSomeReportsButNotMost(self):
        rng = random.Random(11)
        reports = [mailgen.build_report(rng, i)[0] for i in range(400)]
        rules = mailgen.rules()
        raised = 0
        for data in reports:
            msg = email.message_from_bytes(data, policy=email.policy.default)
            subject, body = str(msg["Subject"]), msg.get_content()
            if any(first in subject and second in body for _, first, second, _ in rules):
                raised += 1
        self.assertGreater(raised, 400 * 0.05)
        self.assertLess(raised, 400 * 0.5)


def run_of(tool, seconds, scenario="10 x 4 KB", count=10, size=40_000):
    return {"tool": tool, "seconds": seconds, "wall": seconds + 0.01, "scenario": scenario,
            "count": count, "bytes": size}


class FiguresTest(unittest.TestCase):
    def test_retrievalRows_useMediansAndRatiosToKervo(self):
        runs = [run_of(report.KERVO, s) for s in (2.0, 4.0, 3.0)]
        runs += [run_of(report.FLOOR, 1.0), run_of("fetchmail", 6.0), run_of("fetchmail", 9.0)]
        rows = {r["tool"]: r for r in report.retrieval_rows(runs, "10 x 4 KB")}
        self.assertEqual(rows[report.KERVO]["seconds"], 3.0)
        self.assertEqual(rows[report.KERVO]["runs"], 3)
        self.assertEqual((rows[report.KERVO]["fastest"], rows[report.KERVO]["slowest"]), (2.0, 4.0))
        self.assertAlmostEqual(rows[report.KERVO]["mails_per_s"], 10 / 3.0)
        self.assertAlmostEqual(rows[report.KERVO]["mb_per_s"], 0.04 / 3.0)
        self.assertAlmostEqual(rows["fetchmail"]["vs_kervo"], 7.5 / 3.0)
        self.assertAlmostEqual(rows[report.FLOOR]["vs_kervo"], 1 / 3.0)

    def test_goals_judgeEachTarget(self):
        results = {
            "retrieval": [run_of(report.KERVO, 3.0), run_of(report.FLOOR, 2.5),
                          run_of("fetchmail", 2.0), run_of("getmail6", 9.0)],
            "stall": {"max_ms": "50.0", "mails": "10"},
            "stall_huge": {"max_ms": "15.9", "mails": "10", "big_mb": "30.0", "big_reports": "1",
                           "big_alarms": "0"},
            "stall_huge_quiet": {"max_ms": "16.0", "mails": "10", "big_mb": "30.0",
                                 "big_reports": "1", "big_alarms": "0"},
            "reader": [{"case": "huge", "growth_per_size": "4.00", "found": "yes"},
                       {"case": "flood", "growth_per_size": "0.50", "found": "no"}],
            "startup": {"up": [{"process_ms": "120"}, {"process_ms": "499.9"}]},
            "footprint": {"rss_at_0_kb": "100", "rss_at_100_kb": "5000",
                          "rss_at_1000_kb": "7000"},
        }
        verdicts = {goal: met for goal, _, _, met in report.goals(results)}
        self.assertEqual(verdicts, {
            "Retrieval 10 x 4 KB: Kervo / floor": True,       # 1.2
            "Retrieval 10 x 4 KB: fetchmail / Kervo": False,  # Kervo behind
            "Retrieval 10 x 4 KB: getmail6 / Kervo": True,
            "Longest interface stall, 10-mail poll": False,   # the bound is exclusive
            "Longest interface stall, poll with a 30.0 MB report raising its alarm": True,
            "Longest interface stall, poll with a 30.0 MB report raising no alarm": False,
            "Alarm of the huge report (its match is its last line)": False,
            "Peak memory reading one mail: huge": True,
            "Peak memory reading one mail: flood": False,      # the rule's text was lost
            "Start-up to window shown, up (worst of 2)": True,
            "RSS growth from poll 100 to poll 1000": False,   # 2000 kB
        })

    def test_rssGrowth_startsAtTheHundredthPollWhenThereIsOne(self):
        self.assertEqual(report.rss_growth({"rss_at_0_kb": "1", "rss_at_1_kb": "50",
                                            "rss_at_100_kb": "60", "rss_at_1000_kb": "61"}),
                         (100, 1000, 1))
        self.assertEqual(report.rss_growth({"rss_at_0_kb": "1", "rss_at_1_kb": "50",
                                            "rss_at_10_kb": "55"}), (1, 10, 5))
        self.assertIsNone(report.rss_growth({"rss_at_0_kb": "1", "rss_at_1_kb": "2"}))

    def test_markdown_holdsEverySection(self):
        results = {
            "machine": {"nproc": 2, "cpu": "x", "memory": "1 GiB", "kernel": "k", "os": "o",
                        "storage": "s", "date": "d"},
            "retrieval": [dict(run_of(report.KERVO, 2.0),
                               detail={"rcv_s": "1.5", "read_s": "0.5", "mark_s": "0.1"}),
                          run_of(report.FLOOR, 1.0)],
            "diagnostics": [dict(run_of("Kervo, fsync disabled (eatmydata)", 0.5),
                                 detail={"rcv_s": "0.4", "read_s": "0.1"})],
        }
        text = report.markdown(results)
        for piece in ("### Goals", "### Retrieval", "| Kervo | 1 | 2.00 | 2.00 – 2.00 |", "0.25",
                      "RcvMail 0.40 s"):
            self.assertIn(piece, text)


    def test_markdown_rendersAFullRun(self):
        stall = {"mails": "100", "slice_ms": "default", "period_ms": "5", "poll_s": "1.0",
                 "fetch_s": "0.8", "analysis_s": "0.2", "max_ms": "12.5", "fetch_max_ms": "1.0",
                 "analysis_max_ms": "12.5", "analysis_median_ms": "9.0",
                 "analysis_p99_ms": "12.0", "over16": "0", "over50": "0"}
        startup = {"process_ms": "80.0", "exec_to_main_ms": "30.0", "main_ms": "50.0",
                   "form_load_ms": "40.0"}
        results = {
            "machine": report.machine(), "mode": "quick", "elapsed_s": 1.0,
            "load": [1, 2, 3, 4, 5, 6],
            "fsync_ms": [["before", 0.8]],
            "retrieval": [dict(run_of(report.KERVO, 2.0),
                               detail={"rcv_s": "1.5", "read_s": "0.5", "mark_s": "0.1"})],
            "diagnostics": [dict(run_of("Kervo, free-space check timed", 2.1),
                                 detail={"probe_s": "0.1", "probe_calls": "10",
                                         "rcv_s": "1", "read_s": "1"}),
                            dict(run_of("floor + fsync per mail", 1.0),
                                 detail={"sync_s": "0.000"})],
            "failures": [{"scenario": "10 x 4 KB", "tool": "getmail6", "attempt": 1,
                          "error": "a | b"}],
            "stall": stall, "stall_slices": [dict(stall, slice_ms="5")],
            "stall_huge": dict(stall, big_reports="1", big_mb="30.0", big_alarms="1"),
            "reader": [{"case": "30 MB report", "size_kb": "30720", "read_ms": "900.0",
                        "peak_growth_kb": "92160", "growth_per_size": "3.00", "found": "yes"}],
            "startup": {"server reachable": [startup, dict(startup, process_ms="90.0")]},
            "footprint": {"dials": "12", "rules": "200", "rss_start_kb": "51200",
                          "hwm_start_kb": "52000", "idle_s": "60", "idle_cpu_pct": "0.010",
                          "blink_s": "0", "blink_cpu_pct": "-1.000", "polls": "1000",
                          "mails_read": "1500", "failed_polls": "0", "alarms": "3",
                          "rss_at_0_kb": "51200", "rss_at_100_kb": "52000",
                          "rss_at_1000_kb": "52100"},
        }
        text = report.markdown(results)
        for piece in ("1.0/2.0/3.0; 4.0/5.0/6.0", "0.8 ms before", "free-space check: 0.10 s",
                      "sync 0.00 s", "a / b", "| 100 | 5 |", "85 / 90", "| 12 | 200 | 50.0 MB",
                      "| 0.010 % | - |", "+0.1 MB", "| 100 | 1 | 30.0 | 1 |",
                      "| 30 MB report | 30.0 | 900.0 | 90.0 | 3.00 | yes |"):
            self.assertIn(piece, text)


class DriverTest(unittest.TestCase):
    def test_resultLine_isFoundAmongOtherOutput(self):
        out = "noise\nRESULT kervo mails=3 seconds=1.5 odd\nRESULT other x=1\n"
        self.assertEqual(run_bench.parse_result(out), {"mails": "3", "seconds": "1.5"})
        self.assertIsNone(run_bench.parse_result("nothing here\n"))

    def test_fsyncLatency_isMeasuredInItsOwnFolder(self):
        with tempfile.TemporaryDirectory() as work:
            bench = run_bench.Bench(work, work, run_bench.QUICK)
            probe = bench.fresh("probe")
            self.assertGreater(run_bench.fsync_latency_ms(probe, count=3), 0)
            self.assertEqual(len(os.listdir(probe)), 3)

    def test_freshFolders_areNewAndEmptyEveryTime(self):
        with tempfile.TemporaryDirectory() as work:
            bench = run_bench.Bench(work, work, run_bench.QUICK)
            first = bench.fresh("dest")
            open(os.path.join(first, "mail"), "w").close()
            second = bench.fresh("dest")
            self.assertNotEqual(first, second)
            self.assertEqual(os.listdir(second), [])
            self.assertTrue(os.path.exists(os.path.join(first, "mail")))

    def test_mailboxReset_leavesOnlyTheGivenReports(self):
        with tempfile.TemporaryDirectory() as work:
            server = run_bench.MailServer(work, 0)
            for sub in ("new", "cur", "tmp"):
                os.makedirs(os.path.join(server.maildir, sub))
            for leftover in ("cur/old:2,S", "tmp/x", "dovecot.index", "dovecot-uidlist"):
                open(os.path.join(server.maildir, leftover), "w").close()
            paths, _ = mailgen.write_reports(os.path.join(work, "t"), 3, seed=1)
            server.reset(paths)
            self.assertEqual(server.waiting(), 3)
            self.assertEqual(sorted(os.listdir(os.path.join(server.maildir, "new"))),
                             sorted(os.path.basename(p) for p in paths))
            self.assertEqual(os.listdir(os.path.join(server.maildir, "tmp")), [])
            self.assertEqual(sorted(os.listdir(server.maildir)), ["cur", "new", "tmp"])
            server.reset()
            self.assertEqual(server.waiting(), 0)
            self.assertTrue(all(os.path.exists(p) for p in paths))


if __name__ == "__main__":
    unittest.main()
