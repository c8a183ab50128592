"""Turns the raw figures of a benchmark run into Markdown tables, goals included."""
import os
import platform
import statistics
import subprocess
import tempfile
import time

KERVO = "Kervo"
FLOOR = "floor (pipelined, no fsync)"
PEERS = ["mpop", "fetchmail", "getmail6"]
# How many times as long as Kervo mpop is to take: small reports, then reports of megabytes.
GOAL_MPOP_RATIO = 2.0
GOAL_MPOP_RATIO_LARGE = 1.5

GOAL_FLOOR_RATIO = 1.5
GOAL_STALL_MS = 16.0
GOAL_HUGE_STALL_MS = 16.0
GOAL_JOURNAL_RATIO = 1.2
GOAL_JOURNAL_STALL_MS = 16.0
GOAL_READ_PEAK_PER_SIZE = 4.0
GOAL_STARTUP_MS = 500.0


def machine():
    """Where the figures came from."""
    model = ""
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    memory = ""
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                memory = f"{int(line.split()[1]) / 1024 / 1024:.1f} GiB"
    os_name = ""
    if os.path.exists("/etc/os-release"):
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    os_name = line.split("=", 1)[1].strip().strip('"')
    storage = ""
    try:
        df = subprocess.run(["df", "-T", tempfile.gettempdir()], capture_output=True,
                            text=True).stdout.splitlines()
        if len(df) > 1:
            device, fstype = df[1].split()[:2]
            storage = f"{fstype} on {device}"
    except OSError:
        pass
    return {"nproc": os.cpu_count(), "cpu": model, "memory": memory,
            "kernel": platform.release(), "os": os_name, "storage": storage,
            "date": time.strftime("%Y-%m-%d %H:%M %Z")}


def median(values):
    return statistics.median(values) if values else float("nan")


def retrieval_rows(runs, scenario):
    """Per program of one scenario: runs, median time, rates and the ratio to Kervo."""
    mine = [r for r in runs if r["scenario"] == scenario]
    by_tool = {}
    for r in mine:
        by_tool.setdefault(r["tool"], []).append(r)
    kervo = median([r["seconds"] for r in by_tool.get(KERVO, [])])
    rows = []
    for tool, rs in by_tool.items():
        seconds = median([r["seconds"] for r in rs])
        wall = median([r["wall"] for r in rs])
        count, size = rs[0]["count"], rs[0]["bytes"]
        rows.append({"tool": tool, "runs": len(rs), "seconds": seconds, "wall": wall,
                     "fastest": min(r["seconds"] for r in rs),
                     "slowest": max(r["seconds"] for r in rs),
                     "mails_per_s": count / seconds if seconds > 0 else float("nan"),
                     "mb_per_s": size / 1e6 / seconds if seconds > 0 else float("nan"),
                     "vs_kervo": seconds / kervo if kervo > 0 else float("nan")})
    return rows


def scenarios_of(runs):
    seen = []
    for r in runs:
        if r["scenario"] not in seen:
            seen.append(r["scenario"])
    return seen


def goals(results):
    """(goal, target, measured, met) for every goal the run has figures for."""
    out = []
    runs = results.get("retrieval", [])
    for scenario in scenarios_of(runs):
        rows = {r["tool"]: r for r in retrieval_rows(runs, scenario)}
        if KERVO in rows and FLOOR in rows:
            ratio = rows[KERVO]["seconds"] / rows[FLOOR]["seconds"]
            out.append((f"Retrieval {scenario}: Kervo / floor", f"≤ {GOAL_FLOOR_RATIO}",
                        f"{ratio:.1f}", ratio <= GOAL_FLOOR_RATIO))
        for peer in PEERS:
            if KERVO in rows and peer in rows:
                ratio = rows[peer]["seconds"] / rows[KERVO]["seconds"]
                goal = 1.0
                if peer == "mpop":
                    goal = GOAL_MPOP_RATIO_LARGE if "MB" in scenario else GOAL_MPOP_RATIO
                target = f"≥ {goal} (Kervo {goal}× faster)" if goal > 1 else "> 1 (Kervo ahead)"
                out.append((f"Retrieval {scenario}: {peer} / Kervo", target, f"{ratio:.2f}",
                            ratio >= goal if goal > 1 else ratio > 1))
    if "stall" in results:
        longest = float(results["stall"]["max_ms"])
        out.append((f"Longest interface stall, {results['stall']['mails']}-mail poll",
                    f"< {GOAL_STALL_MS:.0f} ms", f"{longest:.1f} ms", longest < GOAL_STALL_MS))
    if "journal_cost" in results:
        cost = results["journal_cost"]
        ratio = float(cost["analysis_ratio"])
        out.append((f"Analysis of a {cost['on']['mails']}-mail poll: journal on / off",
                    f"≤ {GOAL_JOURNAL_RATIO}", f"{ratio:.2f}", ratio <= GOAL_JOURNAL_RATIO))
        longest = float(cost["on"]["max_ms"])
        out.append((f"Longest interface stall, {cost['on']['mails']}-mail poll, journal on",
                    f"< {GOAL_JOURNAL_STALL_MS:.0f} ms", f"{longest:.1f} ms",
                    longest < GOAL_JOURNAL_STALL_MS))
    for key, what in (("stall_huge_quiet", "report raising no alarm"),
                      ("stall_huge", "report raising its alarm")):
        if key in results:
            huge = results[key]
            longest = float(huge["max_ms"])
            out.append((f"Longest interface stall, poll with a {huge['big_mb']} MB {what}",
                        f"< {GOAL_HUGE_STALL_MS:.0f} ms", f"{longest:.1f} ms",
                        longest < GOAL_HUGE_STALL_MS))
    if "stall_huge" in results:
        huge = results["stall_huge"]
        raised = f"{huge['big_alarms']} of {huge['big_reports']}"
        out.append(("Alarm of the huge report (its match is its last line)", "raised", raised,
                    int(huge["big_reports"]) > 0 and huge["big_alarms"] == huge["big_reports"]))
    for r in results.get("reader", []):
        ratio = float(r["growth_per_size"])
        out.append((f"Peak memory reading one mail: {r['case']}",
                    f"≤ {GOAL_READ_PEAK_PER_SIZE:.0f} × its size", f"{ratio:.2f} ×",
                    ratio <= GOAL_READ_PEAK_PER_SIZE and r["found"] != "no"))
    for case, samples in results.get("startup", {}).items():
        worst = max(float(s["process_ms"]) for s in samples)
        out.append((f"Start-up to window shown, {case} (worst of {len(samples)})",
                    f"< {GOAL_STARTUP_MS:.0f} ms", f"{worst:.0f} ms", worst < GOAL_STARTUP_MS))
    if "footprint" in results:
        growth = rss_growth(results["footprint"])
        if growth is not None:
            first, last, kb = growth
            out.append((f"RSS growth from poll {first} to poll {last}", "none (≤ 1 MB)",
                        f"{kb / 1024:+.1f} MB", kb <= 1024))
    return out


def rss_marks(footprint):
    marks = []
    for key, value in footprint.items():
        if key.startswith("rss_at_") and key.endswith("_kb"):
            marks.append((int(key[len("rss_at_"):-len("_kb")]), int(value)))
    return sorted(marks)


def rss_growth(footprint):
    """(first poll, last poll, kB) between the 100th poll (or the first mark) and the last."""
    marks = [m for m in rss_marks(footprint) if m[0] > 0]
    if len(marks) < 2:
        return None
    start = next((m for m in marks if m[0] >= 100), marks[0])
    end = marks[-1]
    if end[0] == start[0]:
        start = marks[0]
    return start[0], end[0], end[1] - start[1]


def _load(load):
    if not load or len(load) != 6:
        return "?"
    return "/".join(f"{x:.1f}" for x in load[:3]) + "; " + "/".join(f"{x:.1f}" for x in load[3:])


def _table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def markdown(results):
    m = results.get("machine", {})
    parts = [f"## Run of {m.get('date', '?')} ({results.get('mode', '?')}, "
             f"{results.get('elapsed_s', '?')} s)",
             _table(["nproc", "CPU", "memory", "kernel", "system", "disk",
                     "load average 1/5/15 min (start; end)"],
                    [[m.get("nproc"), m.get("cpu"), m.get("memory"), m.get("kernel"),
                      m.get("os"), m.get("storage"), _load(results.get("load"))]])]

    if results.get("fsync_ms"):
        parts.append("Writing 4 KB into a new file and syncing file and folder took (median of "
                     "100): " + "; ".join(f"{ms} ms {when}" for when, ms in results["fsync_ms"])
                     + ". Every fetcher here but the floor pays this once per mail or more.")

    all_goals = goals(results)
    if all_goals:
        parts += ["### Goals", _table(["goal", "target", "measured", "met"],
                                      [[g, t, v, "yes" if ok else "**no**"]
                                       for g, t, v, ok in all_goals])]

    runs = results.get("retrieval", [])
    if runs:
        parts.append("### Retrieval (median of the runs; MB = 10^6 bytes)")
        for scenario in scenarios_of(runs):
            rows = retrieval_rows(runs, scenario)
            first = next(r for r in runs if r["scenario"] == scenario)
            parts.append(f"**{scenario}**: {first['count']} mails, {first['bytes'] / 1e6:.1f} MB")
            parts.append(_table(["program", "runs", "time (s)", "fastest – slowest (s)",
                                 "process wall (s)", "mails/s", "MB/s", "time / Kervo"],
                                [[r["tool"], r["runs"], f"{r['seconds']:.2f}",
                                  f"{r['fastest']:.2f} – {r['slowest']:.2f}", f"{r['wall']:.2f}",
                                  f"{r['mails_per_s']:.0f}", f"{r['mb_per_s']:.1f}",
                                  f"{r['vs_kervo']:.2f}"] for r in rows]))
    diagnostics = results.get("diagnostics", [])
    if diagnostics:
        parts.append("### Where Kervo's retrieval time goes (single runs)")
        rows = []
        for d in diagnostics:
            kervo = median([r["seconds"] for r in runs
                            if r["scenario"] == d["scenario"] and r["tool"] == KERVO])
            note = ""
            detail = d.get("detail", {})
            if "probe_calls" in detail and int(detail["probe_calls"]) > 0:
                note = (f"free-space check: {float(detail['probe_s']):.2f} s over "
                        f"{detail['probe_calls']} calls")
            elif "rcv_s" in detail:
                note = (f"fetchAll {float(detail['rcv_s']):.2f} s, readReport "
                        f"{float(detail['read_s']):.2f} s beside it, "
                        f"{float(detail.get('read_after_s', 0)):.2f} s of reading after it")
            elif "sync_s" in detail:
                note = f"sync {float(detail['sync_s']):.2f} s"
            rows.append([d["scenario"], d["tool"], f"{d['seconds']:.2f}",
                         f"{d['seconds'] / kervo:.2f}" if kervo > 0 else "", note])
        parts.append(_table(["mailbox", "run", "time (s)", "time / Kervo", "detail"], rows))
        kervo_detail = [r for r in runs if r["tool"] == KERVO]
        if kervo_detail:
            parts.append(_table(["mailbox", "fetchAll (s)", "readReport all (s)",
                                 "reading left after fetchAll (s)", "markAnalysed all (s)"],
                                [[r["scenario"], r["detail"]["rcv_s"], r["detail"]["read_s"],
                                  r["detail"].get("read_after_s", ""), r["detail"]["mark_s"]]
                                 for r in kervo_detail]))

    failures = results.get("failures", [])
    if failures:
        parts += ["### Failed runs (each was made again from a fresh mailbox)",
                  _table(["mailbox", "program", "attempt", "error"],
                         [[f["scenario"], f["tool"], f["attempt"], f["error"].replace("|", "/")]
                          for f in failures])]

    if "stall" in results:
        runs = [results["stall"]] + results.get("stall_slices", [])
        parts += ["### Responsiveness (one poll through the whole monitor, probe every "
                  f"{runs[0]['period_ms']} ms; first row is the figure, the others show how the "
                  "stall follows the analysis slice)",
                  _table(["mails", "slice budget", "poll (s)", "fetch (s)", "analysis (s)",
                          "longest stall (ms)", "during fetch", "during analysis",
                          "analysis median", "analysis p99", "stalls ≥ 16 ms", "stalls ≥ 50 ms"],
                         [[s["mails"], s.get("slice_ms", "default"), s["poll_s"], s["fetch_s"],
                           s["analysis_s"], s["max_ms"], s["fetch_max_ms"], s["analysis_max_ms"],
                           s.get("analysis_median_ms", ""), s["analysis_p99_ms"], s["over16"],
                           s["over50"]] for s in runs])]

    huge_runs = [results[k] for k in ("stall_huge_quiet", "stall_huge") if k in results]
    if huge_runs:
        parts += ["### Responsiveness with a huge report in the poll (its only rule match is "
                  "its last line; the quiet one's subject matches no rule)",
                  _table(["mails", "huge reports", "size (MB)", "alarms raised", "poll (s)",
                          "longest stall (ms)", "during analysis", "stalls ≥ 16 ms"],
                         [[h["mails"], h["big_reports"], h["big_mb"], h["big_alarms"], h["poll_s"],
                           h["max_ms"], h["analysis_max_ms"], h["over16"]] for h in huge_runs])]

    if "reader" in results:
        parts += ["### Reading one huge mail (a process per mail; peak = high-water mark above "
                  "the resident set before the read)",
                  _table(["mail", "size (MB)", "read (ms)", "peak growth (MB)", "× size",
                          "rule text found"],
                         [[r["case"], f"{int(r['size_kb']) / 1024:.1f}", r["read_ms"],
                           f"{int(r['peak_growth_kb']) / 1024:.1f}", r["growth_per_size"],
                           r["found"]] for r in results["reader"]])]

    if "startup" in results:
        rows = []
        for case, samples in results["startup"].items():
            def col(key):
                values = [float(x[key]) for x in samples]
                return f"{median(values):.0f} / {max(values):.0f}"
            rows.append([case, len(samples), col("process_ms"), col("exec_to_main_ms"),
                         col("main_ms"), col("form_load_ms")])
        parts += ["### Start-up to the first paint of the main window (median / worst, ms)",
                  _table(["mail server", "runs", "process start → painted (fresh process)",
                          "process start → main()", "main() → painted (in-process)",
                          "construct + start"], rows)]

    if "footprint" in results:
        f = results["footprint"]
        marks = rss_marks(f)
        parts += ["### Footprint",
                  _table(["dials", "rules", "RSS at start", "peak RSS at start",
                          f"idle CPU ({f['idle_s']} s)", f"CPU while blinking ({f['blink_s']} s)",
                          "polls", "mails read", "failed polls", "alarms reset"],
                         [[f["dials"], f["rules"], f"{int(f['rss_start_kb']) / 1024:.1f} MB",
                           f"{int(f['hwm_start_kb']) / 1024:.1f} MB",
                           f"{float(f['idle_cpu_pct']):.3f} %",
                           f"{float(f['blink_cpu_pct']):.2f} %"
                           if float(f["blink_cpu_pct"]) >= 0 else "-",
                           f["polls"], f["mails_read"], f["failed_polls"], f["alarms"]]]),
                  _table(["after poll"] + [str(n) for n, _ in marks],
                         [["RSS (MB)"] + [f"{kb / 1024:.1f}" for _, kb in marks]])]
    return "\n\n".join(parts) + "\n"
