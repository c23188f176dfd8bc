#!/usr/bin/env bash
# The start-up check's exchanges under Wine against kvservice on Linux loopback: the version
# equal (nothing happens), with a line end (the signed library replaces the old one), another
# version with a library signed by another key or a signed program (refused), and the service
# gone (refused). A missing kvservice is a failure: the native build always makes it.
#   service_test.sh UPDATE_TEST_EXE KestrovaSE.dll KVUpdater.exe FIXTURES KVSERVICE DATA
set -u
exe="$1"; library="$2"; updater="$3"; fixtures="$4"; service="$5"; data="$6"
[ -x "$service" ] || { echo "FAIL: kvservice not built ($service)"; exit 1; }

work="$(mktemp -d)"
service_pid=""
stop_service() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null; service_pid=""; fi
}
trap 'stop_service; rm -rf "$work"' EXIT

start_service() {  # kvservice arguments
  stop_service
  rm -f "$work/port"
  "$service" --port 0 --port-file "$work/port" --data "$data" "$@" >"$work/service.out" 2>&1 &
  service_pid=$!
  for _ in $(seq 1 200); do
    [ -s "$work/port" ] && { port="$(cat "$work/port")"; return 0; }
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "FAIL: kvservice did not start:"; cat "$work/service.out"; exit 1
}

failures=0
check() {  # name expect
  if wine "$exe" "$library" "$updater" "$fixtures" --service "127.0.0.1:$port" --expect "$2" \
       --gtest_filter='ServiceUpdate.*' >"$work/run.out" 2>&1; then
    echo "ok   $1"
  else
    failures=$((failures + 1))
    echo "FAIL $1:"; cat "$work/run.out"
  fi
}

start_service --version "0.9.96.6" --newlib "$library"
check "version equal: nothing happens" equal
start_service --version $'0.9.96.6\n' --newlib "$library"
check "version with a line end: the signed library replaces the old one" replaced
start_service --version "0.9.97.1" --newlib "$fixtures/KestrovaSE_otherkey.dll"
check "library signed by another key: refused" refused
start_service --version "0.9.97.1" --newlib "$fixtures/signed_program.exe"
check "a signed program that is no DLL: refused" refused
stop_service  # the port is free now: nothing answers there
check "service unreachable: refused" refused

[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "all cases passed"
