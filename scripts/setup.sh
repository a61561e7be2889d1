#!/usr/bin/env bash
# Installs every Debian package Quillan needs to build, test and run.
# Idempotent; must run as root (or through sudo when available).
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libx11-dev
  duktape-dev libpcre2-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-liberation fonts-urw-base35 fontconfig
  xvfb xauth xdotool x11-apps python3 poppler-utils
  clang libclang-rt-dev
  dpkg-dev desktop-file-utils appstream libxml2-utils shared-mime-info lintian dbus libglib2.0-bin
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "setup: must run as root to install: ${missing[*]}" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "setup: installed ${missing[*]}"
