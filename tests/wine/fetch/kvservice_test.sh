#!/usr/bin/env bash
# kvfetch.exe under Wine against the substitute service kvservice on Linux loopback: the
# version file and the lists must arrive, byte for byte as the native kvfetch gets them.
# A missing kvservice is a failure: the native build always makes it.
#   kvservice_test.sh KVFETCH_EXE NATIVE_BUILD_DIR NATIVE_OUT_DIR SOURCE_DIR
set -u
exe="$1"; native_build="$2"; native_out="$3"; src="$4"

service=""
for c in "$native_out/kvservice" "$native_build/tools/kvservice/kvservice"; do
  [ -x "$c" ] && { service="$c"; break; }
done
[ -n "$service" ] || { echo "FAIL: kvservice not built (looked in $native_out and $native_build/tools/kvservice)"; exit 1; }
native=""
for c in "$native_out/kvfetch" "$native_build/tools/kvfetch/kvfetch"; do
  [ -x "$c" ] && { native="$c"; break; }
done

work="$(mktemp -d)"
service_pid=""
trap '[ -n "$service_pid" ] && { kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null; }; rm -rf "$work"' EXIT

data="$src/tools/kvservice/data"
[ -f "$data/catalogue.xml" ] || { echo "FAIL: kvservice sample data missing ($data/catalogue.xml)"; exit 1; }

start_service() {  # extra kvservice arguments
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null; service_pid=""; fi
  # Port 0: the service binds a free port itself and writes it to a file once it accepts.
  rm -f "$work/port"
  "$service" --port 0 --port-file "$work/port" --data "$data" "$@" >"$work/service.out" 2>&1 &
  service_pid=$!
  local up=0
  for _ in $(seq 1 200); do
    if [ -s "$work/port" ]; then up=1; break; fi
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.05
  done
  [ "$up" = 1 ] || { echo "FAIL: kvservice did not start:"; cat "$work/service.out"; exit 1; }
  port="$(cat "$work/port")"
}
start_service

failures=0
fetch_both() {  # slot path
  local slot="$1" path="$2" rc
  wine "$exe" --head --slot "$slot" "http://127.0.0.1:$port$path" >"$work/wine.body" 2>"$work/wine.err"
  rc=$?
  if [ -n "$native" ]; then
    "$native" --slot "$slot" "http://127.0.0.1:$port$path" >"$work/native.body" 2>/dev/null
    local nrc=$?
    if [ "$rc" != "$nrc" ] || ! cmp -s "$work/wine.body" "$work/native.body"; then
      failures=$((failures + 1))
      echo "FAIL $path: Wine exit $rc, $(stat -c %s "$work/wine.body") bytes; native exit $nrc, $(stat -c %s "$work/native.body") bytes"
      return 1
    fi
  fi
  echo "ok   $slot $path (exit $rc, $(stat -c %s "$work/wine.body") bytes)"
  return "$rc"
}

if fetch_both update /k_app/update/kestrovase_version.ini; then
  grep -q '0\.9\.96\.6' "$work/wine.body" || { failures=$((failures + 1)); echo "FAIL version body:"; head -c 200 "$work/wine.body"; echo; }
else
  failures=$((failures + 1)); echo "FAIL version file: exit non-zero"; cat "$work/wine.err"
fi
for p in /k_app/search_weekform.asp "/k_app/search_freeform.asp?ext=doc&keyword=" /k_app/search_bestform.asp?ext=xls /k_app/banner_list.asp; do
  if fetch_both week "$p"; then
    head -c 1 "$work/wine.body" | grep -q '<' || { failures=$((failures + 1)); echo "FAIL $p: not XML"; head -c 200 "$work/wine.body"; echo; }
  else
    failures=$((failures + 1)); echo "FAIL $p: exchange failed"; cat "$work/wine.err"
  fi
done

# Template files, with Content-Length and then chunked: the bytes of the file on disk.
sample="$(ls "$data/files" 2>/dev/null | head -1)"
for mode in plain chunked; do
  [ "$mode" = chunked ] && start_service --chunked
  [ -n "$sample" ] || { echo "no sample file under $data/files"; break; }
  if fetch_both template "/k_app/files/$sample" && cmp -s "$work/wine.body" "$data/files/$sample"; then :; else
    failures=$((failures + 1)); echo "FAIL $mode file $sample differs from the file on disk"
  fi
  if [ "$mode" = chunked ] && ! grep -q '^chunked: yes' "$work/wine.err"; then
    failures=$((failures + 1)); echo "FAIL the --chunked service did not chunk:"; cat "$work/wine.err"
  fi
  if ! fetch_both week /k_app/search_weekform.asp; then failures=$((failures + 1)); echo "FAIL $mode list"; fi
done

if [ "$failures" -ne 0 ]; then echo "$failures case(s) failed"; exit 1; fi
echo "all cases passed"
