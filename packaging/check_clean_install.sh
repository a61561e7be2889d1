#!/usr/bin/env bash
# Installs the Debian package on a fresh, minimal Debian 12 that has none of
# the packages the build needs (debootstrap --variant=minbase into a scratch
# folder, then chroot), and checks what a user would get: apt pulls in every
# dependency (without the recommended packages: Depends must be enough),
# `quillan --run` draws a picture, the window starts on Qt's off-screen
# platform, and the menu entry, its D-Bus service and icon are in place.
#
# A manual check, not part of the test suite: it downloads some 150 MB from
# the Debian mirror, needs root (debootstrap, chroot, mounting /proc) and
# takes minutes.
#
# Usage: packaging/check_clean_install.sh [PACKAGE.deb] [ROOT_FOLDER]
#   PACKAGE.deb  default: the newest build/package/quillan_*.deb
#   ROOT_FOLDER  where the system is made (default: a new folder in /var/tmp);
#                one made before is used again, and the package reinstalled
# QUILLAN_MIRROR names another Debian mirror.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-$(ls -t "$source"/build/package/quillan_*.deb 2>/dev/null | head -1)}
root=${2:-$(mktemp -d /var/tmp/quillan-clean.XXXXXX)}
mirror=${QUILLAN_MIRROR:-http://deb.debian.org/debian}
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

[ "$(id -u)" -eq 0 ] || fail "run as root (debootstrap, chroot and mount need it)"
[ -f "$deb" ] || fail "no package: build one with (cd build && cpack -G DEB), or name it"
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
if ! command -v debootstrap >/dev/null; then
  step "installing debootstrap"
  apt-get install -y debootstrap
fi

if [ ! -x "$root/usr/bin/apt-get" ]; then
  step "making a minimal Debian 12 in $root"
  debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
mount -t proc proc "$root/proc"
trap 'umount "$root/proc" 2>/dev/null || true' EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

# None of what the build or its tests use is there before the package.
if ! dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' quillan 2>/dev/null | grep -q '^install ok'; then
  for package in libqt6core6 libqt6widgets6 qt6-base-dev cmake g++ fonts-liberation fontconfig; do
    if dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok'; then
      fail "$package is installed in the fresh system already"
    fi
  done
fi

step "installing $(basename "$deb") with apt"
cp "$deb" "$root/tmp/"
cp "$source/examples/sine_family.vbs" "$root/tmp/"
in_root apt-get update
# Without the recommended packages: what Depends names must be enough.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends --reinstall \
  "/tmp/$(basename "$deb")"

step "libraries"
for file in /usr/bin/quillan /usr/bin/quillan-regsvr /usr/lib/quillan/*.so; do
  missing=$(in_root sh -c "ldd $file" | grep 'not found' || true)
  [ -z "$missing" ] || fail "$file lacks: $missing"
done

step "quillan --run"
rm -rf "$root/tmp/registry" "$root/tmp/sine_family.jpg"
in_root env QUILLAN_REGISTRY_DIR=/tmp/registry quillan --run /tmp/sine_family.vbs --export /tmp/sine_family.jpg ||
  fail "quillan --run exited with $?"
[ "$(head -c 3 "$root/tmp/sine_family.jpg" | od -An -tx1 | tr -d ' \n')" = ffd8ff ] || fail "no JPEG picture written"
echo "picture: $(stat -c %s "$root/tmp/sine_family.jpg") bytes"

step "the window (off-screen platform, 5 seconds)"
status=0
in_root env QUILLAN_REGISTRY_DIR=/tmp/registry QT_QPA_PLATFORM=offscreen timeout 5 quillan /tmp/sine_family.vbs || status=$?
[ "$status" -eq 124 ] || fail "the window ended by itself with status $status"

step "the menu entry"
id=io.quillan.Quillan
desktop=$root/usr/share/applications/$id.desktop
[ -f "$desktop" ] || fail "no menu entry $id.desktop"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1 | grep -v ': hint: ' || true)
  [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
exec_program=$(sed -n 's/^TryExec=//p' "$desktop")
in_root sh -c "command -v $exec_program" >/dev/null || fail "TryExec=$exec_program is not on the PATH"
[ -f "$root/usr/share/dbus-1/services/$id.service" ] || fail "no D-Bus service file"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no icon"
echo "clean install of $(basename "$deb") in $root: ok"
