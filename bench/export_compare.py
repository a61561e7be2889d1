#!/usr/bin/env python3
"""Vector export of 10 series x 60,000 points (y = sin(x / 50 + k) * x) at
1280x800: quillan's SVG and PDF (bench/export_bench, into memory) next to
matplotlib's savefig of the same curves to SVG and PDF (into memory), in the
same run. Prints the median time of each and the file sizes.

    python3 bench/export_compare.py build/bin/export_bench [rounds]

The rounds alternate between the two, so that the machine's load falls on
both alike. matplotlib is timed for savefig alone: its figure is built once
beforehand, as the benchmark's graph holds its points before the export.
"""
import json
import os
import statistics
import subprocess
import sys

# The system's Python, which has Debian's matplotlib.
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable

MATPLOTLIB = r"""
import io, json, sys, time
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
x = np.arange(60000, dtype=float)
fig = plt.figure(figsize=(12.8, 8), dpi=100)
ax = fig.add_subplot()
for k in range(10):
    ax.plot(x, np.sin(x / 50 + k) * x, linewidth=1)
ax.set_xlabel("Time $t_0$ (s)")
ax.set_ylabel(r"$\alpha^2$")
out = {}
for fmt in ("svg", "pdf"):
    times, cpu = [], []
    size = 0
    for _ in range(int(sys.argv[1])):
        buffer = io.BytesIO()
        start, start_cpu = time.perf_counter(), time.process_time()
        fig.savefig(buffer, format=fmt)
        times.append((time.perf_counter() - start) * 1000)
        cpu.append((time.process_time() - start_cpu) * 1000)
        size = len(buffer.getvalue())
    out[fmt] = {"times": times, "cpu": cpu, "bytes": size}
print(json.dumps(out))
"""


def quillan_round(bench):
    result = subprocess.run([bench, "--benchmark_format=json", "--benchmark_filter=Svg|Pdf"],
                            capture_output=True, text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if result.returncode != 0:
        sys.exit(f"{bench} failed: {result.stderr.strip()}")
    out = {}
    for b in json.loads(result.stdout)["benchmarks"]:
        fmt = "svg" if "Svg" in b["name"] else "pdf"
        out[fmt] = {"ms": b["real_time"], "cpu": b["cpu_time"], "bytes": int(b["bytes"])}
    return out


def matplotlib_round(repetitions):
    result = subprocess.run([PYTHON, "-c", MATPLOTLIB, str(repetitions)], capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"matplotlib failed: {result.stderr.strip()}")
    return json.loads(result.stdout)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bench = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    if subprocess.run([PYTHON, "-c", "import matplotlib"], capture_output=True).returncode != 0:
        sys.exit("matplotlib is not installed (apt-get install python3-matplotlib)")
    mine = {"svg": [], "pdf": []}
    mine_cpu = {"svg": [], "pdf": []}
    theirs = {"svg": [], "pdf": []}
    theirs_cpu = {"svg": [], "pdf": []}
    sizes = {}
    for _ in range(rounds):
        q = quillan_round(bench)
        m = matplotlib_round(3)
        for fmt in ("svg", "pdf"):
            mine[fmt].append(q[fmt]["ms"])
            mine_cpu[fmt].append(q[fmt]["cpu"])
            theirs[fmt].extend(m[fmt]["times"])
            theirs_cpu[fmt].extend(m[fmt]["cpu"])
            sizes[fmt] = (q[fmt]["bytes"], m[fmt]["bytes"])
    print("10 series x 60,000 points, 1280x800, written into memory; medians in ms (wall / CPU)")
    print(f"{'':<5}{'quillan':>18}{'matplotlib':>20}{'speed-up':>16}{'quillan bytes':>15}{'matplotlib bytes':>18}{'size':>7}")
    for fmt in ("svg", "pdf"):
        a, b = statistics.median(mine[fmt]), statistics.median(theirs[fmt])
        ac, bc = statistics.median(mine_cpu[fmt]), statistics.median(theirs_cpu[fmt])
        qs, ms = sizes[fmt]
        print(f"{fmt.upper():<5}{a:>9.1f} /{ac:>7.1f}{b:>11.1f} /{bc:>7.1f}{b / a:>8.1f}x /{bc / ac:>5.1f}x"
              f"{qs:>15,}{ms:>18,}{qs / ms:>7.2f}")
    print(f"(the benchmark {rounds} times, savefig {3 * rounds} times per format, alternating)")


if __name__ == "__main__":
    main()
