#!/usr/bin/env bash
# One window per session. With a window running, a second `quillan FILE`
# (FILE relative to its own folder) hands FILE to it and exits 0, and the
# running window opens it (it lands in the window's recent-file list);
# `quillan --run` never hands over.
#   bus         on a private session bus
#   socket      with no session bus: through the local socket in the runtime
#               folder; a socket left by a killed window does not stop the
#               next, and a window that does not answer (stopped) makes the
#               new start open its own
#   activation  the installed D-Bus service file: a bus whose only service
#               folder is the install's starts quillan for an Open call on
#               io.quillan.Quillan, and the window opens the file; a start
#               whose registry folder is the default one, spelt otherwise,
#               hands over to it
# Usage: single_instance_test.sh bus|socket|activation BUILD_DIR SOURCE_DIR
# Exit status 77: skipped.
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
source=$(cd "$3" && pwd)
bin=$build/bin
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }; }
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${4:-}" != --inside ]; then
  case "$mode" in
    bus) need dbus-run-session; need dbus-send
         exec dbus-run-session -- bash "$0" "$@" --inside ;;
    socket) exec env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY bash "$0" "$@" --inside ;;
    activation) need dbus-run-session; need gdbus
         # The bus and the program it starts see the same environment: the
         # default registry folder is the test's own.
         work=$(mktemp -d "${TMPDIR:-/tmp}/quillan-activation.XXXXXX")
         trap 'rm -rf "$work"' EXIT
         # A prefix relative to the current folder: the service file still
         # names the program by its absolute path.
         (cd "$work" && cmake --install "$build" --prefix prefix) >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
         service=$work/prefix/share/dbus-1/services/io.quillan.Quillan.service
         [ -f "$service" ] || fail "no D-Bus service file installed"
         grep -qx 'Name=io.quillan.Quillan' "$service" || fail "the service file names another bus name: $(cat "$service")"
         grep -qx "Exec=$work/prefix/bin/quillan --gapplication-service" "$service" ||
           fail "the service file does not start the installed program: $(cat "$service")"
         cat >"$work/session.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=$work</listen>
  <servicedir>$work/prefix/share/dbus-1/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
         # A window the bus started is the daemon's child, not ours: it is
         # found by its program and ended after the bus.
         trap 'for exe in /proc/[0-9]*/exe; do
                 [ "$(readlink "$exe" 2>/dev/null)" = "$work/prefix/bin/quillan" ] || continue
                 pid=${exe#/proc/}; kill "${pid%/exe}" 2>/dev/null || true
               done; rm -rf "$work"' EXIT
         status=0
         env -u QUILLAN_REGISTRY_DIR XDG_CONFIG_HOME="$work/config" QUILLAN_TEST_WORK="$work" QT_QPA_PLATFORM=offscreen \
           dbus-run-session --config-file="$work/session.conf" -- bash "$0" "$@" --inside || status=$?
         exit $status ;;
    *) echo "usage: $0 bus|socket|activation BUILD_DIR SOURCE_DIR" >&2; exit 2 ;;
  esac
fi
# The windows are ended by a signal: there is no exit to check leaks at.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"; fi
export QT_QPA_PLATFORM=offscreen

if [ "$mode" = activation ]; then
  work=$QUILLAN_TEST_WORK
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/quillan-single.XXXXXX")
fi
pids=()
finish() {
  for pid in "${pids[@]}"; do kill -CONT "$pid" 2>/dev/null || true; kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ "$mode" = activation ] || rm -rf "$work"
}
trap finish EXIT
if [ "$mode" = activation ]; then
  registry=$XDG_CONFIG_HOME/quillan
else
  registry=$work/registry
  export QUILLAN_REGISTRY_DIR=$registry
fi
mkdir -p "$work/scripts"

# Waits until the window's recent-file list names FILE.
opened() {
  for _ in $(seq 300); do
    grep -qF "$1" "$registry/user.reg" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# Starts `quillan NAME` in the scripts folder, NAME a copy of an example,
# and expects it to hand NAME over and exit 0 (a window of its own would not
# end: timeout then fails the test).
hand_over() {
  cp "$source/examples/sine_family.vbs" "$work/scripts/$1"
  local start status=0
  start=$(date +%s%N)
  (cd "$work/scripts" && timeout 30 "$bin/quillan" "$1") || status=$?
  [ "$status" -eq 0 ] || fail "quillan $1 exited with $status instead of handing over"
  echo "$1 handed over in $(( ($(date +%s%N) - start) / 1000000 )) ms"
}
# Starts a window in the background; its pid is $window.
start_window() {
  "$bin/quillan" >>"$work/windows.log" 2>&1 &
  window=$!
  pids+=("$window")
}
batch_runs_alone() {
  "$bin/quillan" --run "$source/examples/sine_family.vbs" --export "$work/x.jpg" || fail "quillan --run exited with $?"
  [ -s "$work/x.jpg" ] || fail "quillan --run handed over instead of writing x.jpg"
}

case "$mode" in
bus)
  # The window of a registry folder of its own takes a name of its own.
  owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.ListNames 2>/dev/null | grep -q '"io\.quillan\.Quillan\.Profile_'
  }
  start_window
  for _ in $(seq 300); do owned && break; kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
  owned || { cat "$work/windows.log"; fail "the first window did not take the session's name"; }
  hand_over handed.vbs
  kill -0 "$window" 2>/dev/null || fail "the first window ended"
  opened "$work/scripts/handed.vbs" || { cat "$work/windows.log"; fail "the running window did not open the file handed over"; }
  batch_runs_alone
  ;;

socket)
  export XDG_RUNTIME_DIR=$work/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  listening() { ls "$XDG_RUNTIME_DIR"/io.quillan.Quillan.Profile_*.socket >/dev/null 2>&1; }
  start_window
  for _ in $(seq 300); do listening && break; kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
  listening || { cat "$work/windows.log"; fail "the first window does not listen in $XDG_RUNTIME_DIR"; }
  hand_over handed.vbs
  kill -0 "$window" 2>/dev/null || fail "the first window ended"
  opened "$work/scripts/handed.vbs" || { cat "$work/windows.log"; fail "the running window did not open the file handed over"; }
  batch_runs_alone

  # A window killed outright leaves its socket file; the next start takes
  # the name all the same, and files go to it.
  kill -KILL "$window"
  wait "$window" 2>/dev/null || true
  listening || fail "the killed window's socket file is gone: nothing stale to test"
  start_window
  sleep 1
  kill -0 "$window" 2>/dev/null || { cat "$work/windows.log"; fail "a start after a killed window did not stay up"; }
  hand_over after_crash.vbs
  opened "$work/scripts/after_crash.vbs" || { cat "$work/windows.log"; fail "the window after the crash did not open the file"; }

  # A window that does not answer (stopped): the new start waits a little,
  # then opens a window of its own, which stays up.
  kill -STOP "$window"
  cp "$source/examples/sine_family.vbs" "$work/scripts/unanswered.vbs"
  (cd "$work/scripts" && exec "$bin/quillan" unanswered.vbs) >>"$work/windows.log" 2>&1 &
  own=$!
  pids+=("$own")
  sleep 6
  kill -0 "$own" 2>/dev/null || { cat "$work/windows.log"; fail "with the window stopped, a new start ended instead of opening its own"; }
  opened "$work/scripts/unanswered.vbs" || fail "the start's own window did not open its file"
  kill -CONT "$window"

  # The switch the bus starts the program with is refused without a bus.
  status=0
  timeout 30 "$bin/quillan" --gapplication-service >"$work/service.log" 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "quillan --gapplication-service without a bus exited with $status, not 2"
  grep -q 'session bus' "$work/service.log" || fail "no word about the missing bus: $(cat "$work/service.log")"
  ;;

activation)
  cp "$source/examples/sine_family.vbs" "$work/scripts/activated.vbs"
  # Nothing holds the name: the bus starts the installed program for the call.
  reply=$(timeout 60 gdbus call --session --timeout 50 --dest io.quillan.Quillan --object-path /io/quillan/Quillan \
            --method org.freedesktop.Application.Open "['file://$work/scripts/activated.vbs']" '{}') ||
    fail "the Open call on io.quillan.Quillan failed"
  [ "$reply" = "()" ] || fail "Open answered '$reply'"
  pid=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
          --method org.freedesktop.DBus.GetConnectionUnixProcessID io.quillan.Quillan |
          sed -n 's/^(uint32 \([0-9]*\),)$/\1/p')
  [ -n "$pid" ] || fail "nothing owns io.quillan.Quillan after the call"
  pids+=("$pid")
  [ "$(readlink "/proc/$pid/exe")" = "$work/prefix/bin/quillan" ] || fail "io.quillan.Quillan is owned by $(readlink "/proc/$pid/exe")"
  opened "$work/scripts/activated.vbs" || fail "the window started by the bus did not open the file"
  # The default registry folder given by its path (with a trailing slash)
  # is the same folder: the start hands over on io.quillan.Quillan.
  export QUILLAN_REGISTRY_DIR=$registry/
  hand_over default_folder.vbs
  opened "$work/scripts/default_folder.vbs" || fail "the window started by the bus did not open the file handed over"
  kill -0 "$pid" 2>/dev/null || fail "the window started by the bus ended"
  # Started by the bus again while the name has its window, the program ends.
  timeout 30 "$work/prefix/bin/quillan" --gapplication-service || fail "a second service start exited with $?"
  kill -0 "$pid" 2>/dev/null || fail "the window started by the bus ended"
  ;;
esac
echo "single instance ($mode): ok"
