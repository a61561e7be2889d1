#!/usr/bin/env python3
"""End to end: quillan in batch mode against gnuplot and matplotlib drawing
the same 10 x 60,000-point picture as a 1280x800 JPEG, in the same run, and
against bare_batch (built beside quillan with the benchmarks), a Qt program
that does nothing but compute the points, draw them with QPainter and write
the JPEG: the floor of the batch run.

    python3 bench/batch_compare.py build/bin/quillan [repetitions]

Prints the median wall time of each, the ratio quillan / bare_batch (median
of the per-round ratios), and quillan's split between loading, start-up,
set-up, script, rendering, encoding and finish (from --timings).
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The system's Python, which has Debian's matplotlib.
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def timed(command, env=None):
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, text=True, env=env)
    elapsed = (time.perf_counter() - start) * 1000
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed: {result.stderr.strip()}")
    return elapsed, result.stderr


STAGES = ["loading", "start-up", "set-up", "script", "rendering", "encoding", "finish"]


def stages(err, wall_ms):
    """quillan's --timings line as a dict; "loading" is what the line does not
    cover: loading the program and its libraries before main, and exiting."""
    match = re.search(r"start-up ([\d.]+) ms, set-up ([\d.]+) ms, script ([\d.]+) ms, rendering ([\d.]+) ms, "
                      r"encoding ([\d.]+) ms, finish ([\d.]+) ms", err)
    if not match:
        return None
    values = dict(zip(STAGES[1:], (float(v) for v in match.groups())))
    values["loading"] = wall_ms - sum(values.values())
    return values


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    quillan = os.path.abspath(sys.argv[1])
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    out = tempfile.mkdtemp(prefix="quillan-batch-bench-")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    bare = os.path.join(os.path.dirname(quillan), "bare_batch")
    runs = {"quillan": [], "quillan (arrays)": [], "bare_batch": [], "gnuplot": [], "matplotlib": []}
    # The point-by-point script, and the same picture with the points handed
    # over per series (SetPointVar).
    variants = {"quillan": "ten_series", "quillan (arrays)": "ten_series_arrays"}
    splits = {name: [] for name in variants}
    for _ in range(repetitions):
        # Interleaved, so that the machine's load falls on all three alike.
        for name, script in variants.items():
            ms, err = timed([quillan, "--run", os.path.join(HERE, "batch", script + ".vbs"), "--export",
                             os.path.join(out, script + ".jpg"), "--size", "1280x800", "--timings"], env)
            runs[name].append(ms)
            split = stages(err, ms)
            if split:
                splits[name].append(split)
        if os.access(bare, os.X_OK):
            ms, _ = timed([bare, os.path.join(out, "bare.jpg")], env)
            runs["bare_batch"].append(ms)
        if shutil.which("gnuplot"):
            ms, _ = timed(["gnuplot", "-c", os.path.join(HERE, "batch", "ten_series.gp"),
                           os.path.join(out, "gnuplot.jpg")])
            runs["gnuplot"].append(ms)
        ms, _ = timed([PYTHON, os.path.join(HERE, "batch", "ten_series.py"), os.path.join(out, "mpl.jpg")])
        runs["matplotlib"].append(ms)
    q = statistics.median(runs["quillan"])
    qa = statistics.median(runs["quillan (arrays)"])
    print(f"pictures in {out}")
    for name, values in runs.items():
        if not values:
            print(f"{name:<17} not there" if name == "bare_batch" else f"{name:<17} not installed")
            continue
        m = statistics.median(values)
        ratio = "" if name.startswith("quillan") or name == "bare_batch" else f"   {m / q:.1f}x quillan, {m / qa:.1f}x quillan (arrays)"
        print(f"{name:<17} median {m:8.1f} ms over {len(values)} runs{ratio}")
    # Each round ran all of them back to back: the ratio per round, then its median.
    if runs["bare_batch"]:
        for name in ("quillan", "quillan (arrays)"):
            ratios = [mine / b for mine, b in zip(runs[name], runs["bare_batch"])]
            print(f"{name} / bare_batch per round: median {statistics.median(ratios):.2f}x "
                  f"(min {min(ratios):.2f}x, max {max(ratios):.2f}x)")
    for other in ("gnuplot", "matplotlib"):
        if not runs[other]:
            continue
        for name in ("quillan", "quillan (arrays)"):
            ratios = [o / mine for o, mine in zip(runs[other], runs[name])]
            print(f"{other} / {name} per round: median {statistics.median(ratios):.1f}x (min {min(ratios):.1f}x)")
    for name, values in splits.items():
        if values:
            medians = {k: statistics.median(v[k] for v in values) for k in STAGES}
            print(f"{name} split (medians): " + ", ".join(f"{k} {medians[k]:.1f} ms" for k in STAGES))


if __name__ == "__main__":
    main()
