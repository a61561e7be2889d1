#!/usr/bin/env python3
"""Start-up of the workbench window: from launch until the window is shown
with examples/sine_family.vbs opened, run, drawn and loaded in the editor.

Runs quillan --timings FILE ten times (under Xvfb when there is no display),
reads the "window ready" line it prints, and reports the median of the time
seen from outside (launch to that line) and of the program's own count.
When gnuplot is installed, it is timed in the same run on the same curves
with its qt or x11 terminal and -persist: launch until its window is mapped.

Usage: bench/startup_bench.py [BUILD_DIR] [--runs N]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)

GNUPLOT_CURVES = """set terminal {terminal} size 1280,800
set samples 601
set xrange [0:12]
set key off
set xlabel "x"
set ylabel "A sin(x + k/2)"
plot for [k=0:5] (1 + k * 0.25) * sin(x + k * 0.5) with lines lc rgb sprintf("#%02x%02x%02x", 40 * k, 60, 255 - 40 * k)
"""


def time_quillan(program, script, env):
    start = time.monotonic()
    process = subprocess.Popen([program, "--timings", script], stderr=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               env=env, text=True)
    own = None
    try:
        for line in process.stderr:
            if "window ready in" in line:
                seen = time.monotonic() - start
                own = float(line.split("window ready in")[1].split("ms")[0])
                return seen * 1000.0, own
        raise RuntimeError("quillan ended without reporting its window ready (exit %s)" % process.wait())
    finally:
        process.kill()
        process.wait()


def window_ids(name):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], capture_output=True, text=True)
    return set(result.stdout.split())


def time_gnuplot(gnuplot, terminal, commands_file):
    before = window_ids("Gnuplot")
    start = time.monotonic()
    process = subprocess.Popen([gnuplot, "-persist", commands_file], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        while time.monotonic() - start < 20:
            if window_ids("Gnuplot") - before:
                return (time.monotonic() - start) * 1000.0
            time.sleep(0.002)
        raise RuntimeError("no gnuplot window appeared")
    finally:
        process.kill()
        process.wait()
        subprocess.run(["pkill", "-f", "gnuplot_(qt|x11)"], capture_output=True)


def gnuplot_terminal(gnuplot):
    terminals = subprocess.run([gnuplot, "-e", "set terminal"], capture_output=True, text=True)
    listing = terminals.stdout + terminals.stderr
    for terminal in ("qt", "x11"):
        if any(line.split()[:1] == [terminal] for line in listing.splitlines()):
            return terminal
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()

    if not os.environ.get("DISPLAY") and not os.environ.get("QUILLAN_STARTUP_BENCH_INSIDE"):
        if not shutil.which("xvfb-run"):
            sys.exit("startup_bench: no display and no xvfb-run (scripts/setup.sh installs it)")
        env = dict(os.environ, QUILLAN_STARTUP_BENCH_INSIDE="1")
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -noreset", sys.executable,
                                os.path.abspath(__file__), args.build, "--runs", str(args.runs)], env=env)

    program = os.path.join(os.path.abspath(args.build), "bin", "quillan")
    script = os.path.join(SOURCE, "examples", "sine_family.vbs")
    with tempfile.TemporaryDirectory(prefix="quillan-startup-") as work:
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QUILLAN_REGISTRY_DIR=os.path.join(work, "registry"))
        time_quillan(program, script, env)  # registers the libraries, warms the file cache
        seen, own = [], []
        for _ in range(args.runs):
            outside, inside = time_quillan(program, script, env)
            seen.append(outside)
            own.append(inside)
        print("quillan  %s: median %.1f ms from launch to the ready window (program's own count %.1f ms), "
              "min %.1f, max %.1f, %d runs"
              % (os.path.basename(script), statistics.median(seen), statistics.median(own), min(seen), max(seen),
                 len(seen)))
        limit = 400.0
        verdict = "within" if statistics.median(seen) < limit else "OVER"
        print("target   under %.0f ms: %s" % (limit, verdict))

        gnuplot = shutil.which("gnuplot")
        terminal = gnuplot_terminal(gnuplot) if gnuplot else None
        if not gnuplot or not terminal or not shutil.which("xdotool"):
            print("gnuplot  not installed here (or without a qt/x11 terminal): no comparison")
            return 0
        commands = os.path.join(work, "curves.gp")
        with open(commands, "w") as f:
            f.write(GNUPLOT_CURVES.format(terminal=terminal))
        time_gnuplot(gnuplot, terminal, commands)
        shown = [time_gnuplot(gnuplot, terminal, commands) for _ in range(args.runs)]
        median = statistics.median(shown)
        print("gnuplot  -persist, %s terminal: median %.1f ms from launch to its window mapped, min %.1f, max %.1f"
              % (terminal, median, min(shown), max(shown)))
        print("ratio    quillan / gnuplot = %.2f" % (statistics.median(seen) / median))
    return 0


if __name__ == "__main__":
    sys.exit(main())
