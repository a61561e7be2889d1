#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(vbscript jscript_host title_markup colorizer registry_file storage persist coerce remote_message)

usage() {
  cat <<USAGE
Usage: scripts/fuzz.sh [--slow-units-warn] [TARGET|all] [SECONDS]

Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
into build-fuzz/ and runs TARGET, or every target one after another, for
SECONDS each (default 60). Each run starts from a copy of fuzz/corpus/TARGET
in a scratch folder (the committed corpus is never written) and uses
fuzz/dict/TARGET.dict when there is one. Exits non-zero when a target finds
a crash, a hang or a leak, printing the path of the input that caused it;
the scratch folder is then kept.

--slow-units-warn reports inputs that ran past the time limit without
failing the run (continuous integration uses it: a few of Duktape's own
built-ins, such as sort over an array of length 300,000,000, run to their
end without looking at a stop request). Crashes, leaks and memory faults
still fail.

Targets: ${targets[*]}
USAGE
}

slowWarn=0
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  --slow-units-warn) slowWarn=1; shift ;;
esac
which="${1:-all}"
seconds="${2:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "fuzz: SECONDS must be a positive whole number, not '$seconds'" >&2
  usage >&2
  exit 2
fi
if [ "$which" = all ]; then
  run=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $which "* ]]; then
  run=("$which")
else
  echo "fuzz: no target '$which'" >&2
  usage >&2
  exit 2
fi

bash scripts/setup.sh
dir=build-fuzz
if ! grep -qs '^QUILLAN_FUZZ:BOOL=ON' "$dir/CMakeCache.txt"; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQUILLAN_FUZZ=ON -DQUILLAN_BENCHMARKS=OFF
fi
ninja -C "$dir" "${run[@]/#/fuzz_}"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillan-fuzz-run-XXXXXX")"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"

failed=()
for t in "${run[@]}"; do
  work="$scratch/$t"
  mkdir -p "$work/corpus" "$work/crashes"
  cp -R "fuzz/corpus/$t/." "$work/corpus/"
  args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
        -close_fd_mask=1 -artifact_prefix="$work/crashes/")
  if [ -f "fuzz/dict/$t.dict" ]; then args+=(-dict="fuzz/dict/$t.dict"); fi
  echo "== fuzz_$t for ${seconds}s =="
  status=0
  nice -n 10 "$dir/bin/fuzz_$t" "${args[@]}" "$work/corpus" >"$work/log" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::peak_rss_mb' "$work/log" || true
  found=("$work"/crashes/*)
  if [ "$slowWarn" -eq 1 ] && grep -q 'ERROR: libFuzzer: timeout' "$work/log" &&
     ! compgen -G "$work/crashes/crash-*" >/dev/null && ! compgen -G "$work/crashes/leak-*" >/dev/null &&
     ! compgen -G "$work/crashes/oom-*" >/dev/null; then
    for f in "${found[@]}"; do [ -e "$f" ] && echo "fuzz: $t: warning: an input ran past the time limit: $f"; done
    continue
  fi
  if [ "$status" -ne 0 ] || [ -e "${found[0]}" ]; then
    grep -E 'ERROR: |SUMMARY: |runtime error:' "$work/log" | head -5 || true
    for f in "${found[@]}"; do [ -e "$f" ] && echo "fuzz: $t: crash input: $f"; done
    echo "fuzz: $t: log: $work/log"
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: faults found by: ${failed[*]} (inputs and logs kept in $scratch)" >&2
  exit 1
fi
rm -rf "$scratch"
echo "fuzz: no faults found"
