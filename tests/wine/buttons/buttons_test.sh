#!/usr/bin/env bash
# Runs buttons_test.exe (under wine-run.sh --shell) and keeps its screenshots as PNG.
#   buttons_test.sh BUTTONS_TEST_EXE SCREENS_FOLDER
set -u
exe=$1 screens=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$(dirname "$exe")" && wine "$exe" "Z:${work//\//\\}")
rc=$?
mkdir -p "$screens"
for f in "$work"/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "$screens/$(basename "${f%.bmp}").png" || { echo "buttons_test.sh: convert $f failed" >&2; rc=1; }
done
exit $rc
