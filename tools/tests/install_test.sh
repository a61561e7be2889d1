#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere and
# runs a script with the moved program and a fresh registry: an install must
# find its libraries and data relative to itself, not where it was put first.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quillan-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
mv "$work/first" "$work/moved"
prefix=$work/moved
id=io.quillan.Quillan

# The layout: programs in bin/, every library they load in lib/quillan/, the
# data folder, and the desktop's files.
for f in bin/quillan bin/quillan-regsvr \
         lib/quillan/libquillan_runtime.so lib/quillan/libquillan_window.so lib/quillan/libTarvik.so lib/quillan/libLexora.so \
         lib/quillan/libSumtrel.so lib/quillan/libJScript.so lib/quillan/libVBScript.so lib/quillan/libScripting.so \
         share/quillan/assistant.rcc share/quillan/help/index.html share/quillan/icons/quillan.svg \
         share/applications/$id.desktop share/mime/packages/$id.xml share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/man/man1/quillan.1.gz share/man/man1/quillan-regsvr.1.gz \
         share/doc/quillan/copyright share/dbus-1/services/$id.service; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ -n "$(ls "$prefix/share/quillan/Include/VBScript")" ] || fail "no VBScript snippets in share/quillan/Include"
[ -n "$(ls "$prefix/share/quillan/Include/JScript")" ] || fail "no JScript snippets in share/quillan/Include"
if ls "$prefix"/bin/*.so >/dev/null 2>&1; then fail "libraries installed in bin/: $(ls "$prefix"/bin/*.so)"; fi
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  # A PNG of that size: the signature, then the IHDR chunk's width and height.
  dims=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$png")
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done
gzip -t "$prefix/share/man/man1/quillan.1.gz" || fail "quillan.1.gz is not gzip"

# The desktop files name each other and the icon consistently.
desktop=$prefix/share/applications/$id.desktop
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon is not $id"
grep -q "^MimeType=.*application/x-quillan-document;" "$desktop" || fail "the desktop entry does not open .qln documents"
grep -q 'type="application/x-quillan-document"' "$prefix/share/mime/packages/$id.xml" || fail "the document type is not defined"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$prefix/share/metainfo/$id.metainfo.xml" || fail "AppStream data names another desktop entry"

# The run paths are relative to the binaries: nothing points into the build.
for f in "$prefix/bin/quillan" "$prefix/bin/quillan-regsvr" "$prefix"/lib/quillan/*.so; do
  runpath=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case "$runpath" in
    '$ORIGIN/../lib/quillan'|'$ORIGIN') ;;
    *) fail "$f has run path '$runpath'" ;;
  esac
done

# The moved program runs a script with a registry that knows nothing yet.
export QUILLAN_REGISTRY_DIR=$work/registry
unset XDG_CONFIG_HOME
cd "$work"
"$prefix/bin/quillan" --run "$source/examples/sine_family.vbs" --export "$work/x.jpg" || fail "quillan --run exited with $?"
[ "$(head -c 3 "$work/x.jpg" | od -An -tx1 | tr -d ' \n')" = "ffd8ff" ] || fail "x.jpg is not a JPEG picture"
# The installed examples run from their folder, finding their data there.
(cd "$prefix/share/quillan/examples" && "$prefix/bin/quillan" --run csv_plot.vbs --export "$work/csv.jpg") ||
  fail "the installed csv_plot.vbs exited with $?"
[ -s "$work/csv.jpg" ] || fail "the installed csv_plot.vbs drew nothing"
# It registered the libraries it was installed with, from where they are now.
grep -rq "$prefix/lib/quillan/libTarvik.so" "$QUILLAN_REGISTRY_DIR" || fail "libTarvik.so is not registered from the moved prefix"
if grep -rq "$build" "$QUILLAN_REGISTRY_DIR"; then fail "the registry names the build folder"; fi
# The registration tool works from the install too.
"$prefix/bin/quillan-regsvr" -u -q "$prefix/lib/quillan/libSumtrel.so" || fail "quillan-regsvr -u"
echo "installed, moved and ran: $prefix"
