#!/usr/bin/env python3
"""Runs vbscript_bench and the same algorithms in Lua 5.4 and Python 3, in one
run, and prints the medians (milliseconds) and the ratios.

    python3 bench/vbscript_compare.py BUILD_DIR/bin/vbscript_bench [repetitions]

Lua comes from Debian's lua5.4 package; Python is the interpreter running
this script (use /usr/bin/python3 for Debian's)."""

import json
import statistics
import subprocess
import sys
import time

LUA = r"""
local function sinloop()
  local s = 0
  for i = 1, 1000000 do s = s + math.sin(i * 0.001) * i end
  return s
end
local function f(a, b) return a * b + 1 end
local function calls()
  local r
  for i = 1, 1000000 do r = f(i, 2) end
  return r
end
local function append(n)
  local parts = {}
  for i = 1, n do parts[#parts + 1] = "abc" end
  return #table.concat(parts)
end
local host = {}
function host:mix(a, b, c) return a * b + c end
local function hostcalls()
  local r
  for i = 1, 1000000 do r = host:mix(i, 2.5, 1) end
  return r
end
local which = arg[1]
local fn = ({sinloop = sinloop, calls = calls, hostcalls = hostcalls,
             append = function() return append(100000) end})[which]
local t = os.clock()
fn()
print((os.clock() - t) * 1000)
"""

PYTHON = r"""
import math, sys, time
def sinloop():
    s = 0
    for i in range(1, 1000001):
        s = s + math.sin(i * 0.001) * i
    return s
def f(a, b):
    return a * b + 1
def calls():
    r = None
    for i in range(1, 1000001):
        r = f(i, 2)
    return r
def append(n):
    s = ""
    for i in range(n):
        s = s + "abc"
    return len(s)
class Host:
    def mix(self, a, b, c):
        return a * b + c
def hostcalls():
    h = Host()
    r = None
    for i in range(1, 1000001):
        r = h.mix(i, 2.5, 1)
    return r
fn = {"sinloop": sinloop, "calls": calls, "hostcalls": hostcalls,
      "append": lambda: append(100000)}[sys.argv[1]]
t = time.process_time()
fn()
print((time.process_time() - t) * 1000)
"""

CASES = ["sinloop", "calls", "append", "hostcalls"]


def median_of(command, repetitions):
    times = []
    for _ in range(repetitions):
        out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
        times.append(float(out.strip().splitlines()[-1]))
    return statistics.median(times)


VBS_NAMES = {"sinloop": "SinLoopFunction", "calls": "Calls", "append": "Append/100000", "hostcalls": "HostCalls",
             "global": "SinLoopGlobal", "append4": "Append/400000", "properties": "Properties"}


def vbscript_times(bench, names):
    """One run of the named benchmarks, three times each in random order in
    one process: the median CPU milliseconds by name (the machine may be
    shared, and the other languages are timed by CPU too)."""
    pattern = "^(" + "|".join(names) + ")$"
    out = subprocess.run([bench, "--benchmark_format=json", f"--benchmark_filter={pattern}",
                          "--benchmark_repetitions=3", "--benchmark_enable_random_interleaving=true",
                          "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True).stdout
    return {b["run_name"]: b["cpu_time"] for b in json.loads(out)["benchmarks"] if b.get("aggregate_name") == "median"}


def main():
    bench = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    # The languages take turns in every round, so that a busy spell of the
    # machine falls on all of them alike; ratios are taken per round.
    samples = {c: {"vbs": [], "lua": [], "py": []} for c in CASES}
    extra = {k: [] for k in ("global", "append4", "properties")}
    for _ in range(repetitions):
        # Each append size in a process of its own: what other benchmarks
        # leave in the heap changes how much of the memory they need is
        # already mapped, which would hide whether the time is linear.
        appends = [VBS_NAMES["append"], VBS_NAMES["append4"]]
        times = vbscript_times(bench, [n for n in VBS_NAMES.values() if n not in appends])
        for name in appends:
            times.update(vbscript_times(bench, [name]))
        for c in CASES:
            samples[c]["vbs"].append(times[VBS_NAMES[c]])
        for k in extra:
            extra[k].append(times[VBS_NAMES[k]])
        for c in CASES:
            samples[c]["lua"].append(median_of(["lua5.4", "-e", LUA.replace("arg[1]", repr(c))], 1))
            samples[c]["py"].append(median_of([sys.executable, "-c", PYTHON, c], 1))
    med = statistics.median
    vbs = {c: med(samples[c]["vbs"]) for c in CASES}
    lua = {c: med(samples[c]["lua"]) for c in CASES}
    py = {c: med(samples[c]["py"]) for c in CASES}
    print(f"{'case':<22}{'VBScript':>10}{'Lua 5.4':>10}{'Python 3':>10}{'VBS/Lua':>9}{'VBS/Py':>9}")
    for c in CASES:
        print(f"{c:<22}{vbs[c]:>10.1f}{lua[c]:>10.1f}{py[c]:>10.1f}{vbs[c] / lua[c]:>9.2f}{vbs[c] / py[c]:>9.2f}")
    # Ratios per round, then their median: steadier than a ratio of medians.
    for c in ("sinloop", "calls"):
        ratios = [v / l for v, l in zip(samples[c]["vbs"], samples[c]["lua"])]
        print(f"{c} / Lua per round: median {med(ratios):.2f} (" + ", ".join(f"{r:.2f}" for r in ratios) + ")")
    print(f"{'sinloop (global code)':<22}{med(extra['global']):>10.1f}")
    print(f"{'append x4 (400,000)':<22}{med(extra['append4']):>10.1f}"
          f"   ratio to 100,000: {med(extra['append4']) / vbs['append']:.2f}")
    host = [h / c for h, c in zip(samples["hostcalls"]["vbs"], samples["calls"]["vbs"])]
    props = [p / c for p, c in zip(extra["properties"], samples["calls"]["vbs"])]
    print(f"hostcalls / calls per round: median {med(host):.2f} (" + ", ".join(f"{r:.2f}" for r in host) + ")")
    print(f"{'properties':<22}{med(extra['properties']):>10.1f}   ratio to calls per round: median {med(props):.2f}")


if __name__ == "__main__":
    main()
