#!/usr/bin/env bash
# One window per session, on a private session bus: with a window running,
# a second `quillan FILE` (FILE relative to its own folder) hands FILE to it
# and exits 0, and the running window opens it (it lands in the window's
# recent-file list); `quillan --run` never hands over.
# Usage: single_instance_test.sh BIN_DIR SOURCE_DIR. Exit status 77: skipped.
set -euo pipefail
bin=$(cd "$1" && pwd)
source=$2
for tool in dbus-run-session dbus-send; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ "${3:-}" != --inside ]; then
  exec dbus-run-session -- bash "$0" "$bin" "$source" --inside
fi
# The window is ended by a signal: there is no exit to check leaks at.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillan-single.XXXXXX")
first=""
finish() {
  if [ -n "$first" ]; then kill "$first" 2>/dev/null || true; wait "$first" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export QUILLAN_REGISTRY_DIR=$work/registry
export QT_QPA_PLATFORM=offscreen

# The window of a registry folder of its own takes a name of its own.
owned() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.ListNames 2>/dev/null | grep -q '"io\.quillan\.Quillan\.Profile_'
}
"$bin/quillan" >"$work/first.log" 2>&1 &
first=$!
for _ in $(seq 300); do owned && break; kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
owned || { cat "$work/first.log"; fail "the first window did not take the session's name"; }

mkdir "$work/scripts"
cp "$source/examples/sine_family.vbs" "$work/scripts/handed.vbs"
start=$(date +%s%N)
# A second window of its own would not end: timeout then fails the test.
(cd "$work/scripts" && timeout 30 "$bin/quillan" handed.vbs) || fail "the second quillan exited with $?"
echo "handed over in $(( ($(date +%s%N) - start) / 1000000 )) ms"
kill -0 "$first" 2>/dev/null || fail "the first window ended"
for _ in $(seq 300); do
  grep -qF "$work/scripts/handed.vbs" "$QUILLAN_REGISTRY_DIR/user.reg" 2>/dev/null && break
  sleep 0.1
done
grep -qF "$work/scripts/handed.vbs" "$QUILLAN_REGISTRY_DIR/user.reg" 2>/dev/null ||
  { cat "$work/first.log"; fail "the running window did not open the file handed over"; }

# A batch run does its own work while the window runs.
"$bin/quillan" --run "$source/examples/sine_family.vbs" --export "$work/x.jpg" || fail "quillan --run exited with $?"
[ -s "$work/x.jpg" ] || fail "quillan --run handed over instead of writing x.jpg"
echo "single instance: ok"
