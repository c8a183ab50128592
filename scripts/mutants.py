"""Plants the faults of a list one at a time; see mutants.sh.

The list holds one fault per block:

    ## name: what the fault breaks, in a few words
    file: src/some/File.cpp
    - the exact text to replace (one or more lines, found exactly once)
    + what replaces it (one or more lines; none removes the text)
"""
import subprocess
import sys
import time


def parse(path):
    faults = []
    current = None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("## "):
            name, _, why = line[3:].partition(":")
            current = {"name": name.strip(), "why": why.strip(), "file": None, "old": [], "new": []}
            faults.append(current)
        elif current is None or not line.strip() or line.startswith("#"):
            continue
        elif line.startswith("file: "):
            current["file"] = line[6:].strip()
        elif line.startswith("- ") or line == "-":
            current["old"].append(line[2:])
        elif line.startswith("+ ") or line == "+":
            current["new"].append(line[2:])
        else:
            raise SystemExit(f"{path}: cannot read the line: {line}")
    for f in faults:
        if not f["file"] or not f["old"]:
            raise SystemExit(f"{path}: fault {f['name']} needs a file and a text to replace")
    return faults


def run(cmd, cwd, timeout):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout, text=True, errors="replace")
    except subprocess.TimeoutExpired:
        return None


def plant(fault, tree, build):
    path = f"{tree}/{fault['file']}"
    original = open(path, encoding="utf-8").read()
    old = "\n".join(fault["old"])
    if original.count(old) != 1:
        return "not planted (text not found exactly once)", ""
    open(path, "w", encoding="utf-8").write(original.replace(old, "\n".join(fault["new"])))
    try:
        built = run(["cmake", "--build", build, "-j2"], build, 1800)
        if built is None or built.returncode != 0:
            return "not planted (does not build)", ""
        tests = run(["ctest", "-j2", "--timeout", "300", "--stop-on-failure"], build, 3600)
        if tests is None:
            return "caught (the suite timed out)", ""
        if tests.returncode == 0:
            return "MISSED", ""
        failed = [l.split("-", 1)[-1].strip() for l in tests.stdout.splitlines()
                  if "***Failed" in l or "(Failed)" in l or "***Timeout" in l]
        return "caught", (failed[0] if failed else "")
    finally:
        open(path, "w", encoding="utf-8").write(original)


def main():
    mode, path = sys.argv[1], sys.argv[2]
    faults = parse(path)
    if mode == "list":
        for f in faults:
            print(f"{f['name']:38} {f['file']:42} {f['why']}")
        return
    tree, build, wanted = sys.argv[3], sys.argv[4], set(sys.argv[5:])
    chosen = [f for f in faults if not wanted or f["name"] in wanted]
    if wanted - {f["name"] for f in faults}:
        raise SystemExit(f"unknown faults: {' '.join(sorted(wanted - {f['name'] for f in faults}))}")
    results = []
    for n, fault in enumerate(chosen, 1):
        start = time.monotonic()
        verdict, by = plant(fault, tree, build)
        results.append((fault, verdict, by))
        print(f"[{n}/{len(chosen)}] {fault['name']}: {verdict}"
              f"{' by ' + by if by else ''} ({time.monotonic() - start:.0f} s)", flush=True)
    # Put the unchanged tree's build back for the next run.
    run(["cmake", "--build", build, "-j2"], build, 1800)
    caught = sum(1 for _, v, _ in results if v.startswith("caught"))
    print(f"\n{caught} of {len(results)} faults caught")
    for fault, verdict, _ in results:
        if not verdict.startswith("caught"):
            print(f"  {verdict}: {fault['name']} ({fault['why']})")
    sys.exit(0 if caught == len(results) else 1)


if __name__ == "__main__":
    main()
