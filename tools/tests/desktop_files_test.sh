#!/usr/bin/env bash
# Validates one of the files Quillan gives the desktop with the tool the
# desktop itself uses. Exits 77 (skipped) when that tool is not installed.
# Usage: desktop_files_test.sh desktop|metainfo|mime SOURCE_DIR
set -euo pipefail
mode=$1
dir=$2/share/desktop
id=io.quillan.Quillan
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }; }

case "$mode" in
  desktop)
    need desktop-file-validate
    # Hints are advice; errors and warnings fail.
    out=$(desktop-file-validate "$dir/$id.desktop" 2>&1 | grep -v ': hint: ' || true)
    [ -z "$out" ] || { echo "$out"; exit 1; }
    ;;
  metainfo)
    need appstreamcli
    appstreamcli validate --no-net --explain "$dir/$id.metainfo.xml"
    ;;
  mime)
    need xmllint
    need update-mime-database
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # Valid against the document type that shared-mime-info's own database
    # declares inline (update-mime-database skips elements it does not know).
    system=/usr/share/mime/packages/freedesktop.org.xml
    if [ -f "$system" ]; then
      sed -n '/<!DOCTYPE mime-info \[/,/^\]>/p' "$system" | sed '1d;$d' >"$work/mime-info.dtd"
      xmllint --noout --dtdvalid "$work/mime-info.dtd" "$dir/$id.xml"
    else
      xmllint --noout "$dir/$id.xml"
    fi
    # The desktop's database compiler accepts it and maps *.qln.
    mkdir -p "$work/mime/packages"
    cp "$dir/$id.xml" "$work/mime/packages/"
    out=$(XDG_DATA_HOME=$work XDG_DATA_DIRS=$work update-mime-database "$work/mime" 2>&1)
    [ -z "$out" ] || { echo "$out"; exit 1; }
    grep -q '^50:application/x-quillan-document:\*\.qln$' "$work/mime/globs2" ||
      { echo "*.qln does not map to application/x-quillan-document:"; cat "$work/mime/globs2"; exit 1; }
    ;;
  *)
    echo "usage: $0 desktop|metainfo|mime SOURCE_DIR" >&2
    exit 2
    ;;
esac
echo "$mode: valid"
