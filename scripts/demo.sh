#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demonstration: the math
# library created by ProgID and called through IDispatch.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
./build/bin/quillan-mathdemo "$@"
