"""What the benchmark driver and the peers' runners share."""
import os
import subprocess
import time

USER = "bench"
PASSWORD = "bench-pass-7"


def run(cmd, timeout, env=None, cwd=None):
    """Runs a program to its end within timeout seconds; (wall seconds, completed process)."""
    start = time.monotonic()
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, env=env, cwd=cwd)
    return time.monotonic() - start, done


def count_files(folder):
    return sum(1 for e in os.scandir(folder) if e.is_file()) if os.path.isdir(folder) else 0
