#!/usr/bin/env bash
# Installs what is missing, builds, and shows an example script at work.
# With a display (DISPLAY or WAYLAND_DISPLAY set) the workbench window opens
# with the script loaded and run; without one the script runs in batch mode
# and the graph it draws is written as a JPEG picture.
# Usage: scripts/demo.sh [SCRIPT [PICTURE.jpg]]
#   (default: examples/sine_family.vbs, written to sine_family.jpg)
#   QUILLAN_DEMO_BATCH=1 runs the batch example even with a display.
set -euo pipefail
cd "$(dirname "$0")/.."

script="${1:-examples/sine_family.vbs}"
picture="${2:-$(basename "${script%.*}").jpg}"

bash scripts/setup.sh
bash scripts/build.sh
if [ -z "${QUILLAN_DEMO_BATCH:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "demo: opening the workbench with $script"
  exec ./build/bin/quillan "$script"
fi
./build/bin/quillan --run "$script" --export "$picture" --timings
echo "demo: $script drew $picture"
