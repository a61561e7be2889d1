#!/usr/bin/env bash
# Installs what is missing, builds, and runs an example script without a
# display, writing the graph it draws as a JPEG picture.
# Usage: scripts/demo.sh [SCRIPT [PICTURE.jpg]]
#   (default: examples/sine_family.vbs, written to sine_family.jpg)
set -euo pipefail
cd "$(dirname "$0")/.."

script="${1:-examples/sine_family.vbs}"
picture="${2:-$(basename "${script%.*}").jpg}"

bash scripts/setup.sh
bash scripts/build.sh
./build/bin/quillan --run "$script" --export "$picture" --timings
echo "demo: $script drew $picture"
