#!/usr/bin/env bash
# Configures and builds Quillan. Usage: scripts/build.sh [--sanitize] [BUILD_DIR]
# Without a folder: build/ (build-asan/ with --sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
dir=""
for a in "$@"; do
  case "$a" in
    --sanitize) sanitize=ON ;;
    -h|--help) echo "Usage: scripts/build.sh [--sanitize] [BUILD_DIR]"; exit 0 ;;
    *) dir="$a" ;;
  esac
done
if [ -z "$dir" ]; then
  if [ "$sanitize" = ON ]; then dir=build-asan; else dir=build; fi
fi
bench=ON
[ "$sanitize" = ON ] && bench=OFF

cmake -S . -B "$dir" -G Ninja -DQUILLAN_SANITIZE="$sanitize" -DQUILLAN_BENCHMARKS="$bench" >/dev/null
cmake --build "$dir" -j2
