#!/usr/bin/env python3
"""Hand-over to the running window: how long `quillan FILE` takes, from
launch to exit, when a workbench window already runs and takes FILE.

Starts one window on a private session bus (dbus-run-session, Qt's
off-screen platform, a private registry folder), then times N runs of
`quillan FILE` (handed over on the bus) and N of `quillan --version` (the
program's start and end with nothing to do) in the same run, and reports
their medians and ratio. Then the same hand-over without a session bus,
through the local socket, to a second window started without one.

Usage: bench/handover_bench.py [BUILD_DIR] [--runs N]
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
TARGET_MS = 100.0


def wait_for(condition, what, window, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        if window.poll() is not None:
            raise RuntimeError("the window ended (status %s) before %s" % (window.returncode, what))
        time.sleep(0.05)
    raise RuntimeError("timed out waiting until " + what)


def bus_name_taken():
    names = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                            "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"],
                           capture_output=True, text=True).stdout
    return '"io.quillan.Quillan' in names


def timed_runs(command, env, cwd, runs):
    times = []
    for _ in range(runs):
        start = time.monotonic()
        result = subprocess.run(command, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                text=True, timeout=30)
        times.append((time.monotonic() - start) * 1000.0)
        if result.returncode != 0:
            raise RuntimeError("%s exited with %d: %s" % (" ".join(command), result.returncode, result.stderr))
    return times


def report(label, times):
    print("%-26s median %6.1f ms, min %6.1f, max %6.1f, %d runs"
          % (label, statistics.median(times), min(times), max(times), len(times)))


def start_window(program, env, log):
    return subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT)


def end_window(window):
    window.terminate()
    try:
        window.wait(timeout=10)
    except subprocess.TimeoutExpired:
        window.kill()
        window.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()

    if not os.environ.get("QUILLAN_HANDOVER_BENCH_INSIDE"):
        for tool in ("dbus-run-session", "dbus-send"):
            if not shutil.which(tool):
                sys.exit("handover_bench: %s is not installed (scripts/setup.sh installs it)" % tool)
        env = dict(os.environ, QUILLAN_HANDOVER_BENCH_INSIDE="1")
        return subprocess.call(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
                                args.build, "--runs", str(args.runs)], env=env)

    program = os.path.join(os.path.abspath(args.build), "bin", "quillan")
    with tempfile.TemporaryDirectory(prefix="quillan-handover-") as work:
        runtime = os.path.join(work, "runtime")
        os.mkdir(runtime, 0o700)
        scripts = os.path.join(work, "scripts")
        os.mkdir(scripts)
        shutil.copy(os.path.join(SOURCE, "examples", "sine_family.vbs"), os.path.join(scripts, "handed.vbs"))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime,
                   QUILLAN_REGISTRY_DIR=os.path.join(work, "registry"))
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        log = open(os.path.join(work, "windows.log"), "w")

        # On the session bus.
        window = start_window(program, env, log)
        try:
            wait_for(bus_name_taken, "the window took its name on the bus", window)
            timed_runs([program, "handed.vbs"], env, scripts, 1)  # warms the file cache
            bus = timed_runs([program, "handed.vbs"], env, scripts, args.runs)
            version = timed_runs([program, "--version"], env, scripts, args.runs)
            if window.poll() is not None:
                raise RuntimeError("the window ended during the runs")
        finally:
            end_window(window)

        # Without a session bus: the local socket in the runtime folder. A
        # registry folder of its own keeps it apart from the window above.
        alone = dict(env, QUILLAN_REGISTRY_DIR=os.path.join(work, "registry-alone"))
        alone.pop("DBUS_SESSION_BUS_ADDRESS", None)
        window = start_window(program, alone, log)
        try:
            wait_for(lambda: glob.glob(os.path.join(runtime, "io.quillan.Quillan*.socket")),
                     "the window listened on its local socket", window)
            timed_runs([program, "handed.vbs"], alone, scripts, 1)
            socket = timed_runs([program, "handed.vbs"], alone, scripts, args.runs)
        finally:
            end_window(window)
        log.close()

    report("hand-over, session bus", bus)
    report("hand-over, local socket", socket)
    report("quillan --version", version)
    print("ratio  hand-over / --version: bus %.2f, socket %.2f"
          % (statistics.median(bus) / statistics.median(version), statistics.median(socket) / statistics.median(version)))
    verdict = "within" if max(statistics.median(bus), statistics.median(socket)) < TARGET_MS else "OVER"
    print("target hand-over under %.0f ms (median): %s" % (TARGET_MS, verdict))
    return 0


if __name__ == "__main__":
    sys.exit(main())
