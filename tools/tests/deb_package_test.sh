#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks what it holds
# and what it depends on; runs lintian when it is installed (its errors
# fail, its warnings are shown), then runs the packaged program unpacked.
# Exits 77 (skipped) without cpack or dpkg-deb.
# Usage: deb_package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/quillan-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/quillan_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single quillan_*.deb: $(ls "$work/out")"
deb=${debs[0]}

# The control fields.
dpkg-deb --field "$deb" Package | grep -qx quillan || fail "package name"
version=$(dpkg-deb --field "$deb" Version)
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+-[0-9]+$ ]] || fail "version '$version'"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/^ *//; s/ *$//')
for need in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libqt6dbus6 libqt6network6 fonts-liberation fonts-urw-base35 fontconfig; do
  grep -qxF -- "$need" <<<"$names" || fail "Depends lacks $need"
done
# Nothing of the build: no development packages, test or benchmark
# libraries, sanitizer runtimes, or the package's own private libraries.
for bad in -dev libgtest libgmock libbenchmark libasan libubsan libquillan; do
  if grep -q -- "$bad" <<<"$depends"; then fail "Depends names $bad"; fi
done

# The files.
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
id=io.quillan.Quillan
for f in /usr/bin/quillan /usr/bin/quillan-regsvr \
         /usr/lib/quillan/libquillan_runtime.so /usr/lib/quillan/libquillan_window.so /usr/lib/quillan/libTarvik.so /usr/lib/quillan/libLexora.so \
         /usr/lib/quillan/libSumtrel.so /usr/lib/quillan/libJScript.so /usr/lib/quillan/libVBScript.so \
         /usr/lib/quillan/libScripting.so /usr/share/quillan/assistant.rcc /usr/share/quillan/help/index.html \
         /usr/share/applications/$id.desktop /usr/share/mime/packages/$id.xml /usr/share/metainfo/$id.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/$id.svg /usr/share/icons/hicolor/48x48/apps/$id.png \
         /usr/share/man/man1/quillan.1.gz /usr/share/doc/quillan/copyright /usr/share/doc/quillan/changelog.Debian.gz \
         /usr/share/dbus-1/services/$id.service /usr/share/quillan/examples/csv_plot.vbs \
         /usr/share/quillan/examples/data/damped_oscillation.csv; do
  grep -qx "$f" "$work/contents" || fail "the package lacks $f"
done
grep -q '^/usr/share/quillan/Include/VBScript/.' "$work/contents" || fail "the package has no VBScript snippets"
if grep -v '^/usr/' "$work/contents" | grep -qv '^/$'; then fail "files outside /usr: $(grep -v '^/usr/' "$work/contents")"; fi
if grep -Eq '_tests$|_bench$|quillan-mathdemo|quillan-render-icon' "$work/contents"; then fail "the package holds build tools or tests"; fi

# lintian's errors are faults of the package; warnings are shown.
if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
  cat "$work/lintian.log"
  if grep -q '^E: ' "$work/lintian.log"; then fail "lintian reports errors"; fi
else
  echo "lintian is not installed: not run"
fi

dpkg-deb -x "$deb" "$work/root"
# The bus starts the program where the package puts it, by the desktop
# entry's name.
service=$work/root/usr/share/dbus-1/services/$id.service
grep -qx "Name=$id" "$service" || fail "the D-Bus service file is not for $id: $(cat "$service")"
grep -qx "Exec=/usr/bin/quillan --gapplication-service" "$service" || fail "the D-Bus service file starts: $(grep '^Exec' "$service")"
grep -qx "DBusActivatable=true" "$work/root/usr/share/applications/$id.desktop" || fail "the desktop entry is not D-Bus activatable"

# The packaged (stripped) program runs a script from where it is unpacked.
QUILLAN_REGISTRY_DIR=$work/registry "$work/root/usr/bin/quillan" --run "$source/examples/sine_family.vbs" \
  --export "$work/x.png" || fail "the packaged quillan --run exited with $?"
[ -s "$work/x.png" ] || fail "the packaged program wrote no picture"
echo "package: $(basename "$deb") ok"
