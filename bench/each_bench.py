#!/usr/bin/python3
"""Benchmark of quenly-batch --each: 1,000 persons to 1,000 PDFs, plain and locked.

Run by bench/run (after its own tables), or alone:
    bench/each_bench.py [--batch build-bench/bin/quenly-batch] [--tables DIR] [--repeat N]
It generates the 1,000-person wage table (bench/generate_wage_table.py, 25 columns, a 2-row
header), runs `quenly-batch TABLE --each FOLDER --name-col 姓名 --rows 1-2 --cols A-Y` into a
fresh folder, and the same with `--password-col 银行卡号 --password-last 6`, each under
/usr/bin/time -v, and prints wall time, CPU time, peak memory (max RSS), the files made and
their size, then the goals with PASS or FAIL. MB are 10^6 bytes.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PYTHON = "/usr/bin/python3"
GENERATOR = os.path.join(ROOT, "bench", "generate_wage_table.py")
PERSONS = 1000
ARGS = ["--rows", "1-2", "--cols", "A-Y", "--name-col", "姓名"]
LOCK = ["--password-col", "银行卡号", "--password-last", "6"]
MB = 1e6
GOALS = {"plain": 5.0, "locked": 10.0}
PEAK_GOAL = 300 * MB


def log(text):
    print(text, flush=True)


def measure(argv):
    """Wall time, CPU time (user + sys), peak RSS in bytes and exit code of argv, from
    /usr/bin/time -v."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as figures:
        start = time.perf_counter()
        child = subprocess.run(["/usr/bin/time", "-v", "-o", figures.name, *argv],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        wall = time.perf_counter() - start
        text = figures.read()
    def field(name):
        m = re.search(re.escape(name) + r":\s*([0-9.]+)", text)
        return float(m.group(1)) if m else 0.0
    cpu = field("User time (seconds)") + field("System time (seconds)")
    peak = field("Maximum resident set size (kbytes)") * 1024
    return wall, cpu, peak, child.returncode, child.stderr


def main():
    parser = argparse.ArgumentParser(description="quenly-batch --each on 1,000 persons.")
    parser.add_argument("--batch", default=os.path.join(ROOT, "build-bench", "bin", "quenly-batch"))
    parser.add_argument("--tables", default=os.path.join(ROOT, "build-bench", "tables"))
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    if not os.access(args.batch, os.X_OK):
        sys.exit(f"each_bench: {args.batch} is missing")
    os.makedirs(args.tables, exist_ok=True)
    table = os.path.join(args.tables, f"wage-{PERSONS}.xlsx")
    if not os.path.exists(table):
        subprocess.run([PYTHON, GENERATOR, str(PERSONS), table], check=True)

    log(f"per-person PDFs: quenly-batch wage-{PERSONS}.xlsx --each FOLDER {' '.join(ARGS)} "
        f"[{' '.join(LOCK)}]; median of {args.repeat} runs, peak = highest max RSS; "
        f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}")
    log(f"{'run':<10}{'wall s':>9}{'cpu s':>9}{'peak MB':>9}{'files':>8}{'out MB':>9}"
        f"{'KB/file':>9}")
    figures = {}
    with tempfile.TemporaryDirectory(prefix="quenly-each-bench-") as work:
        for kind, extra in (("plain", []), ("locked", LOCK)):
            runs = []
            for n in range(args.repeat):
                folder = os.path.join(work, f"{kind}-{n}")
                wall, cpu, peak, code, err = measure(
                    [args.batch, table, "--each", folder, *ARGS, *extra])
                if code != 0:
                    log(f"{kind:<10}failed (exit {code}): {err.strip()[:300]}")
                    break
                names = os.listdir(folder)
                size = sum(os.path.getsize(os.path.join(folder, f)) for f in names)
                runs.append((wall, cpu, peak, len(names), size))
                shutil.rmtree(folder)
            if len(runs) != args.repeat:
                continue
            wall = statistics.median(r[0] for r in runs)
            cpu = statistics.median(r[1] for r in runs)
            peak = max(r[2] for r in runs)
            files, size = runs[0][3], runs[0][4]
            figures[kind] = (wall, peak, files)
            log(f"{kind:<10}{wall:>9.2f}{cpu:>9.2f}{peak / MB:>9.0f}{files:>8}{size / MB:>9.1f}"
                f"{size / max(files, 1) / 1000:>9.0f}")

    log("goals (per-person PDFs)")
    for kind, goal in GOALS.items():
        if kind not in figures:
            log(f"  {PERSONS:,} persons {kind}: not measured FAIL")
            continue
        wall, peak, files = figures[kind]
        ok = wall < goal and peak < PEAK_GOAL and files == PERSONS
        log(f"  {PERSONS:,} persons to {files:,} PDFs {kind}: wall {wall:.2f} s < {goal:.0f} s, "
            f"peak {peak / MB:.0f} MB < {PEAK_GOAL / MB:.0f} MB {'PASS' if ok else 'FAIL'}")


if __name__ == "__main__":
    main()
