#!/usr/bin/env bash
# Runs webview_test.exe (under wine-run.sh --shell) against kvservice on Linux loopback and
# keeps its screenshot as PNG.
#   webview_test.sh WEBVIEW_TEST_EXE KVSERVICE DATA_DIR SCREENS_FOLDER
set -u
exe=$1 service=$2 data=$3 screens=$4
[ -x "$service" ] || { echo "FAIL: kvservice not built ($service)"; exit 1; }
work=$(mktemp -d)
service_pid=""
trap '[ -n "$service_pid" ] && { kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null; }; rm -rf "$work"' EXIT
"$service" --port 0 --port-file "$work/port" --data "$data" >"$work/service.out" 2>&1 &
service_pid=$!
for _ in $(seq 1 200); do
  [ -s "$work/port" ] && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$work/port" ] || { echo "FAIL: kvservice did not start:"; cat "$work/service.out"; exit 1; }
(cd "$(dirname "$exe")" && wine "$exe" "$(cat "$work/port")" "Z:${work//\//\\}")
rc=$?
mkdir -p "$screens"
for f in "$work"/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "$screens/$(basename "${f%.bmp}").png" || { echo "webview_test.sh: convert $f failed" >&2; rc=1; }
done
exit $rc
