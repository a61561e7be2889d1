#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
# Usage: scripts/test.sh [--sanitize]   (AddressSanitizer + UndefinedBehaviorSanitizer)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
sanitize=""
dir=build
if [ "${1:-}" = "--sanitize" ]; then
  sanitize="--sanitize"
  dir=build-asan
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
fi
bash scripts/build.sh $sanitize "$dir"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" -j2 --output-on-failure --timeout 300
