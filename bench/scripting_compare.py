#!/usr/bin/env python3
"""Runs scripting_bench (VBScript with the scripting library) and the same
loops in Python 3, in one run, and prints the medians (milliseconds) and
their ratios.

    python3 bench/scripting_compare.py BUILD_DIR/bin/scripting_bench [rounds]

ReadLineSplit: every line of a 100 MiB CSV file, split at commas
(`for line in f: line.split(',')`); the benchmark writes the file first, at
$QUILLAN_BENCH_CSV (default /tmp/quillan-bench-100mb.csv).
DictionaryAddItem: 1,000,000 insertions of string keys "k1".."k1000000",
then 1,000,000 look-ups summing the items. Both sides are timed by CPU time."""

import json
import os
import statistics
import subprocess
import sys
import time

CSV = os.environ.get("QUILLAN_BENCH_CSV", "/tmp/quillan-bench-100mb.csv")


def python_readline():
    start = time.process_time()
    n = 0
    with open(CSV, encoding="utf-8", newline=None) as f:
        for line in f:
            line.rstrip("\n").split(",")
            n += 1
    return (time.process_time() - start) * 1000, n


def python_dictionary():
    start = time.process_time()
    d = {}
    for i in range(1, 1000001):
        key = "k" + str(i)
        if key in d:
            raise KeyError(key)
        d[key] = i
    s = 0
    for i in range(1, 1000001):
        s += d["k" + str(i)]
    return (time.process_time() - start) * 1000, s


def vbscript(bench):
    out = subprocess.run([bench, "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    return {b["name"].split("/")[0]: b for b in json.loads(out)["benchmarks"]}


def main():
    bench = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    times = {"ReadLineSplit": ([], []), "DictionaryAddItem": ([], [])}
    # The two take turns in every round, so that a busy spell of a shared
    # machine falls on both alike.
    for _ in range(rounds):
        result = vbscript(bench)
        py_read, _ = python_readline()
        py_dict, total = python_dictionary()
        if int(result["DictionaryAddItem"]["sum"]) != total:
            sys.exit("the dictionary sums differ")
        times["ReadLineSplit"][0].append(result["ReadLineSplit"]["cpu_time"])
        times["ReadLineSplit"][1].append(py_read)
        times["DictionaryAddItem"][0].append(result["DictionaryAddItem"]["cpu_time"])
        times["DictionaryAddItem"][1].append(py_dict)
    med = statistics.median
    for name, (vbs, py) in times.items():
        print(f"{name:<20} VBScript {med(vbs):>9.0f} ms   Python {med(py):>9.0f} ms   ratio {med(vbs) / med(py):.2f}")


if __name__ == "__main__":
    main()
