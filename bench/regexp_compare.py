#!/usr/bin/env python3
"""Runs regexp_bench's ReplaceDigits (VBScript's RegExp: Global "\\d+" ->
"<$&>" over a 1 MiB text) and the same replacement with Python's re.sub, in
one run, and prints both medians (milliseconds) and their ratio.

    python3 bench/regexp_compare.py BUILD_DIR/bin/regexp_bench [repetitions]

The text is the sentence below repeated to 1,048,576 characters, as in
bench/regexp_bench.cpp. Both sides are timed by CPU time."""

import json
import re
import statistics
import subprocess
import sys
import time

SENTENCE = "lorem 123 ipsum 45678 dolor 9 sit amet, 2024 consectetur 31 adipiscing\n"
LENGTH = 1 << 20


def python_time(text, pattern):
    start = time.process_time()
    result = pattern.sub(r"<\g<0>>", text)
    elapsed = (time.process_time() - start) * 1000
    return elapsed, len(result)


def vbscript_time(bench):
    out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_filter=^ReplaceDigits$",
                          "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True).stdout
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            return b["cpu_time"], b.get("result_chars")
    raise RuntimeError("no median in the benchmark's output")


def main():
    bench = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    text = (SENTENCE * (LENGTH // len(SENTENCE) + 1))[:LENGTH]
    pattern = re.compile(r"\d+")
    vbs, py, ratios = [], [], []
    length = None
    # The two take turns in every round, so that a busy spell of a shared
    # machine falls on both alike; the ratio is also taken per round.
    for _ in range(repetitions):
        v, chars = vbscript_time(bench)
        p = statistics.median(python_time(text, pattern)[0] for _ in range(3))
        length = python_time(text, pattern)[1]
        if chars is not None and int(chars) != length:
            sys.exit(f"the results differ in length: RegExp {int(chars)}, re.sub {length}")
        vbs.append(v)
        py.append(p)
        ratios.append(v / p)
    med = statistics.median
    print(f"Replace \\d+ -> <$&> over {LENGTH:,} characters ({length:,} after)")
    print(f"{'VBScript RegExp':<18}{med(vbs):>9.2f} ms")
    print(f"{'Python re.sub':<18}{med(py):>9.2f} ms")
    print(f"ratio RegExp / Python: median per round {med(ratios):.2f} ("
          + ", ".join(f"{r:.2f}" for r in ratios) + ")")


if __name__ == "__main__":
    main()
