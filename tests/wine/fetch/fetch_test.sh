#!/usr/bin/env bash
# kvfetch against the scripted Linux peer (misbehave.py): every scenario's exit code, body
# bytes and time are checked. A .exe runs under Wine (start this through wine-run.sh --shell,
# which provides WINEPREFIX, DISPLAY and the Korean locale); anything else runs natively.
#   fetch_test.sh KVFETCH MISBEHAVE_PY
set -u
exe="$1"
peer="$2"
work="$(mktemp -d)"
server_pid=""
failures=0
case "$exe" in
  *.exe) run() { wine "$exe" "$@"; } ;;
  *) run() { "$exe" "$@"; } ;;
esac

stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=""; fi
}
trap 'stop_server; rm -rf "$work"' EXIT

start_server() {
  rm -f "$work/port"
  python3 "$peer" --port-file "$work/port" "$1" &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  port="$(cat "$work/port" 2>/dev/null)"
  [ -n "$port" ] || { echo "FAIL: peer for $1 did not start"; exit 1; }
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# check NAME EXPECTED_RC EXPECTED_BODY_FILE MAX_MS -- kvfetch arguments (the URL uses $port)
# The time is the exchange's own, as kvfetch --time reports it: a program's start under Wine
# varies by seconds on a loaded machine and says nothing of the client's limits. Where no
# exchange ran (bad arguments), the whole run is timed.
check() {
  local name="$1" want_rc="$2" want_body="$3" max_ms="$4"
  shift 5
  local t0 t1 rc
  t0=$(now_ms)
  run --time "$@" >"$work/body" 2>"$work/err"
  rc=$?
  t1=$(now_ms)
  local ms ok=1
  ms=$(sed -n 's/^exchange-ms: \([0-9]*\)\r\?$/\1/p' "$work/err" | tail -n1)
  [ -n "$ms" ] || ms=$((t1 - t0))
  [ "$rc" = "$want_rc" ] || ok=0
  if [ -n "$want_body" ] && ! cmp -s "$work/body" "$want_body"; then ok=0; fi
  [ "$ms" -le "$max_ms" ] || ok=0
  if [ "$ok" = 1 ]; then
    echo "ok   $name (exit $rc, $(stat -c %s "$work/body") bytes, $ms ms)"
  else
    failures=$((failures + 1))
    echo "FAIL $name: exit $rc (want $want_rc), $ms ms (max $max_ms), body:"
    head -c 300 "$work/body" | od -c | head -8
    echo "stderr:"; head -20 "$work/err"
  fi
}

body() { printf '%b' "$1" >"$work/want"; echo "$work/want"; }
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 4)' >"$work/binary"

# Warm the prefix so the first timed case does not pay for Wine's start.
run >/dev/null 2>&1

start_server ok
check "binary body on the free slot" 0 "$work/binary" 8000 -- "http://127.0.0.1:$port/x"
check "binary body on the template slot" 0 "$work/binary" 8000 -- --slot template "http://127.0.0.1:$port/x"
check "head report" 0 "" 8000 -- --head "http://127.0.0.1:$port/x"
grep -q '^status: 200' "$work/err" && grep -q '^set-cookie: b=2' "$work/err" && grep -q '^content-length: 1024' "$work/err" \
  || { failures=$((failures + 1)); echo "FAIL head report:"; cat "$work/err"; }
stop_server

start_server split
check "split reply" 0 "$work/binary" 8000 -- --slot update "http://127.0.0.1:$port/x"
stop_server

start_server chunked
check "chunked in pieces, connection kept open" 0 "$(body 'Wikipedia')" 4000 -- --slot template "http://127.0.0.1:$port/x"
stop_server

start_server keepalive
check "keep-alive does not delay" 0 "$(body 'hello')" 4000 -- --slot week "http://127.0.0.1:$port/x"
stop_server

start_server silence
check "silence mid-reply fails" 1 "$(body 'hello')" 2900 -- --slot cert "http://127.0.0.1:$port/x"
stop_server

start_server closemid
check "close mid-body on a text slot" 0 "$(body '0123456789')" 8000 -- --slot free "http://127.0.0.1:$port/x"
check "close mid-body on a file slot" 1 "" 8000 -- --slot template "http://127.0.0.1:$port/x"
stop_server

start_server drip
check "drip hits the deadline" 1 "" 4500 -- --deadline 1500 "http://127.0.0.1:$port/x"
stop_server

start_server notfound
check "404 file" 1 "" 8000 -- --slot update "http://127.0.0.1:$port/x"
check "404 text stands" 0 "$(body 'not found')" 8000 -- "http://127.0.0.1:$port/x"
stop_server

start_server overflow
check "chunk size overflow" 1 "" 4000 -- "http://127.0.0.1:$port/x"
stop_server

start_server echo
check "request bytes" 0 "$(body "GET /k_app/s.asp?keyword=a+b HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\nAccept: */*\r\nAccept-Language: ko\r\nCookie: \r\n\r\n")" 8000 \
  -- "http://127.0.0.1:$port/k_app/s.asp?keyword=a b#dropped"
# Off Windows the Cookie line comes from the cookie file.
case "$exe" in
  *.exe) ;;
  *)
    printf 'cookies.test\tsid=42\nother.test\tx=1\n' >"$work/cookies"
    KV_COOKIE_FILE="$work/cookies" check "cookie from the cookie file" 0 \
      "$(body "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\nAccept: */*\r\nAccept-Language: ko\r\nCookie: sid=42\r\n\r\n")" 8000 \
      -- --cookie-address http://cookies.test "http://127.0.0.1:$port"
    ;;
esac
stop_server

check "unresolvable host" 1 "" 15000 -- "http://no-such-host.invalid/x"
check "bad arguments" 2 "" 8000 -- --slot nope "http://127.0.0.1/x"

if [ "$failures" -ne 0 ]; then echo "$failures case(s) failed"; exit 1; fi
echo "all cases passed"
