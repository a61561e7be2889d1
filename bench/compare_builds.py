#!/usr/bin/env python3
"""Every benchmark program of two builds, run in turns, side by side.

    python3 bench/compare_builds.py BEFORE_BUILD AFTER_BUILD [rounds] [name ...]

Runs each benchmark program found in both BEFORE_BUILD/bin and AFTER_BUILD/bin
(the Google Benchmark ones, and zoom_bench, navigation_bench and remote_bench,
which print their own medians) once per round, before and after in turns so
that the machine's load falls on both alike, and prints the median over the
rounds of each figure with the ratio after / before. Names limit the run to
those programs. Figures more than 5% slower are marked; on a busy machine,
run those again before believing them.
"""
import json
import os
import re
import statistics
import subprocess
import sys

GOOGLE = ["dispatch_bench", "graph_bench", "series_bench", "render_bench", "jscript_bench", "editor_bench",
          "vbscript_bench", "regexp_bench", "scripting_bench", "workflow_bench", "export_bench"]
PRINTING = ["zoom_bench", "navigation_bench", "remote_bench"]
MEDIAN = re.compile(r"^(.*?)\s*(?:\d+ steps:\s*)?median\s+([\d.]+)\s*(ms|us)")


def run_google(program, env):
    out = subprocess.run([program, "--benchmark_format=json"], capture_output=True, text=True, env=env)
    if out.returncode != 0:
        raise RuntimeError(out.stderr.strip()[-400:])
    figures = {}
    for b in json.loads(out.stdout)["benchmarks"]:
        if b.get("run_type") == "aggregate" or b.get("error_occurred"):
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        figures[b["name"]] = b["cpu_time"] * scale
    return figures


def run_printing(program, env):
    out = subprocess.run([program], capture_output=True, text=True, env=env)
    if out.returncode != 0:
        raise RuntimeError(out.stderr.strip()[-400:])
    figures, previous = {}, ""
    for line in out.stdout.splitlines():
        match = MEDIAN.match(line.strip())
        if match:
            label = match.group(1).strip() or previous.rstrip(":")
            value = float(match.group(2)) * (1e-3 if match.group(3) == "us" else 1.0)
            figures[label] = value
        elif line.strip():
            previous = line.strip()
    return figures


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    before, after = (os.path.abspath(os.path.join(d, "bin")) for d in sys.argv[1:3])
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    wanted = set(sys.argv[4:])
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for name in GOOGLE + PRINTING:
        if wanted and name not in wanted:
            continue
        paths = [os.path.join(before, name), os.path.join(after, name)]
        if not all(os.path.exists(p) for p in paths):
            print(f"{name}: not in both builds")
            continue
        runner = run_google if name in GOOGLE else run_printing
        samples = [{}, {}]
        try:
            for _ in range(rounds):
                for side, path in enumerate(paths):
                    for label, value in runner(path, env).items():
                        samples[side].setdefault(label, []).append(value)
        except RuntimeError as error:
            print(f"{name}: failed: {error}")
            continue
        print(f"{name} (median of {rounds}, ms)")
        for label in samples[1]:
            if label not in samples[0]:
                print(f"  {label:<52} {'':>10} {statistics.median(samples[1][label]):>10.3f}   new")
                continue
            b, a = statistics.median(samples[0][label]), statistics.median(samples[1][label])
            ratio = a / b if b > 0 else float("nan")
            mark = "  slower" if ratio > 1.05 else ""
            print(f"  {label:<52} {b:>10.3f} {a:>10.3f}  {ratio:5.2f}x{mark}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
