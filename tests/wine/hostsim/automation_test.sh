#!/usr/bin/env bash
# Cross-process automation of hostsim as a new user meets it: a fresh prefix made with
# `wineboot -i`, the Korean locale, a private Xvfb at 1024x768x24, HOME in a scratch folder;
# once the prefix's set-up session has ended (`wineserver -w`: while it lives Wine cannot start
# the COM service at all), `hostsim.exe /RegServer`, then at once the 32-bit cscript (the 64-bit one
# where 32-bit code is emulated, see below) drives the
# three hosts in turn and quits them, then a second-process C++ client does the same. Each
# client must end with exit code 0 within 60 s and leave no host process behind.
#   automation_test.sh HOSTSIM.exe CLIENT.exe WORK_ROOT     (KEEP=1 keeps the work folder)
set -u
host_src=$1 client_src=$2
mkdir -p "$3" && root="$(cd "$3" && pwd)" || exit 1
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "$root/run.XXXXXX")"
xpid=""

cleanup() {
  if [ -d "$work/prefix" ]; then
    WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$work/prefix" timeout 20 wineserver -w >/dev/null 2>&1
  fi
  if [ -n "$xpid" ]; then kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; fi
  if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "FAIL [automation]: $*"
  for f in script.txt client.txt server.log script.err client.err reg.txt; do
    [ -s "$work/$f" ] && { echo "--- $f"; tail -60 "$work/$f"; }
  done
  exit 1
}

# Our `wine`: 64-bit programs through the 64-bit loader (scripts/wine-bin).
export PATH="$here/../../../scripts/wine-bin:$PATH"
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
mkdir -p "$HOME" "$work/bin" "$work/docs"

# A display of our own; ours only if its lock names our server (parallel runs race for numbers).
for n in $(seq 400 600); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 1 50); do
    if [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xpid" ]; then
      export DISPLAY=":$n"
      break 2
    fi
    kill -0 "$xpid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; xpid=""
done
[ -n "$xpid" ] || fail "no free X display"

timeout 180 wineboot -i >/dev/null 2>&1 || fail "wineboot -i"
# Wine leaves the set-up session of a new prefix running for a while, and while it lives the
# COM service cannot start (see WaitForComService in tools/hostsim/win/LocalServer.cpp): let it
# end before the first program runs.
timeout 120 wineserver -w || fail "the set-up session of the new prefix did not end"
# Its own copies: the host processes of this prefix are told apart by their path.
cp "$host_src" "$work/bin/hostsim.exe" && cp "$client_src" "$work/bin/hostsim_client.exe" || fail "copy"
win() { winepath -w "$1" 2>/dev/null; }
hostpath="$(win "$work/bin")\\hostsim.exe"
(cd "$work/bin" && timeout 120 wine hostsim.exe /RegServer) >"$work/reg.txt" 2>&1 || fail "/RegServer"
export HOSTSIM_LOG="$(win "$work/server.log")"

for f in "보고서 초안.doc" "예산 계획.xls" "발표 자료.ppt"; do printf 'document\n' >"$work/docs/$f"; done
docs="$(win "$work/docs")"

# Processes whose command line starts with our copy's path (the awk line itself does not).
# (The path goes through the environment: awk -v would read its backslashes as escapes.)
host_processes() { ps -eo pid=,args= | HOSTPATH="$hostpath" awk 'index($0, ENVIRON["HOSTPATH"]) > 0 && index($0, "awk") == 0'; }
hosts_left() { host_processes | wc -l; }
# The hosts end after their clients: wait for that, bounded.
wait_hosts_gone() {
  local i
  for i in $(seq 1 200); do
    [ "$(hosts_left)" = 0 ] && return 0
    sleep 0.1
  done
  fail "$1: host processes left in the prefix: $(host_processes | tr '\n' ';')"
}
run_timed() {  # run_timed LIMIT OUT ERR COMMAND...: the command in $work, ended after LIMIT s
  local limit=$1 out=$2 err=$3 start rc
  shift 3
  start=$(date +%s)
  (cd "$work" && timeout --kill-after=5 "$limit" "$@") >"$out" 2>"$err"
  rc=$?
  elapsed=$(( $(date +%s) - start ))
  return $rc
}
expect() { grep -qxF -- "$2" "$1" || fail "missing in $(basename "$1"): $2"; }

# The script host reads code page 949; its Korean output comes escaped and is decoded here.
iconv -f UTF-8 -t CP949 "$here/tour.js" >"$work/tour.js" || fail "iconv"
# The 32-bit cscript may take 60 s on top of a 32-bit program's start-up here, which is measured
# after both clients, so that they run at once after /RegServer as for a new user (under an
# emulator a 32-bit program starts many times slower); until then it is only kept from hanging.
# Under the qemu-i386 emulator a 32-bit COM client cannot outlive its server: the failed call that
# releases the proxy of a host that quit raises an exception inside the RPC runtime, and the
# emulator resumes that exception on another thread's registers ("Got unexpected trap -1", a
# jump to address 0). There the 64-bit cscript drives the hosts instead; the 32-bit client runs
# wherever the kernel runs 32-bit code.
cscript='C:\windows\syswow64\cscript.exe'
if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
  cscript='C:\windows\system32\cscript.exe'
  echo "note: 32-bit programs are emulated here: the 64-bit cscript drives the hosts instead of the 32-bit one"
fi
run_timed 300 "$work/script.raw" "$work/script.err" wine "$cscript" //nologo tour.js "$docs"
rc=$?
python3 - "$work/script.raw" >"$work/script.txt" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="ascii", errors="replace").read().replace("\r", "")
print(re.sub(r"%u([0-9A-Fa-f]{4})|%([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1) or m.group(2), 16)), text), end="")
PY
[ "$rc" = 124 ] || [ "$rc" = 137 ] && fail "cscript did not end within 300 s"
[ "$rc" = 0 ] || fail "cscript exit code $rc"
script_elapsed=$elapsed
s="$work/script.txt"
expect "$s" "script Word opened=보고서 초안.doc"
expect "$s" "script Word ActiveWindow.Caption=보고서 초안.doc"
expect "$s" "script Word Caption=Word"
expect "$s" "script Word Documents=yes Workbooks=no Presentations=no"
expect "$s" "script Word quit"
expect "$s" "script Excel opened=예산 계획.xls"
expect "$s" "script Excel ActiveWindow.Caption=예산 계획.xls"
expect "$s" "script Excel Caption=예산 계획.xls - Excel"
expect "$s" "script Excel Documents=no Workbooks=yes Presentations=no"
expect "$s" "script PowerPoint opened=발표 자료.ppt"
expect "$s" "script PowerPoint ActiveWindow.Caption=발표 자료.ppt"
expect "$s" "script PowerPoint Caption=발표 자료.ppt - PowerPoint"
expect "$s" "script PowerPoint HWND=set"
expect "$s" "script PowerPoint Documents=no Workbooks=no Presentations=yes"
expect "$s" "script done"
wait_hosts_gone "after cscript"
echo "cscript: exit 0 in ${elapsed}s, no host left"

run_timed 60 "$work/client.raw" "$work/client.err" wine "$(win "$work/bin")\\hostsim_client.exe" tour "$docs" -
rc=$?
tr -d '\r' <"$work/client.raw" >"$work/client.txt"
[ "$rc" = 124 ] || [ "$rc" = 137 ] && fail "client did not end within 60 s"
[ "$rc" = 0 ] || fail "client exit code $rc"
c="$work/client.txt"
for app in Word Excel PowerPoint; do
  expect "$c" "client $app created 0x00000000"
  expect "$c" "client $app Visible put 0x00000000 now=-1"
  expect "$c" "client $app Quit 0x00000000"
  # Refused, disconnected, stopping or already gone; not RPC_S_CALL_FAILED (ended inside the call).
  grep -qE "^client $app call after Quit refused 0x(80010001|80010108|80080008|800706BA)$" "$c" ||
    fail "$app did not refuse a call after Quit cleanly: $(grep "^client $app call after Quit" "$c")"
done
expect "$c" "client Word Documents=yes Workbooks=no Presentations=no"
expect "$c" "client Word Open 0x00000000 Name=보고서 초안.doc"
expect "$c" "client Word ActiveWindow.Caption=보고서 초안.doc"
expect "$c" "client Excel Documents=no Workbooks=yes Presentations=no"
expect "$c" "client Excel Caption=예산 계획.xls - Excel"
expect "$c" "client PowerPoint Documents=no Workbooks=no Presentations=yes"
expect "$c" "client PowerPoint Caption=발표 자료.ppt - PowerPoint"
expect "$c" "client PowerPoint HWND type=3 window=yes title=발표 자료.ppt - PowerPoint"
expect "$c" "client Word shown 0x00000000 hidden 0x00000000 UserControl=0"
expect "$c" "client Word released without Quit"
wait_hosts_gone "after the C++ client"
expect "$work/server.log" "host last external client released the application; ending"
[ "$(grep -c '^host exit 0$' "$work/server.log")" = 7 ] || fail "expected 7 host exits with code 0"
echo "C++ client: exit 0 in ${elapsed}s, no host left"

# This test makes its own prefix: it measures the 32-bit start-up itself where wine-run.sh did not.
if [ -z "${KV_I386_START:-}" ]; then
  KV_I386_START="$(bash "$here/../../../scripts/i386-startup.sh")" || fail "a 32-bit program does not start"
fi
limit=$(awk -v s="$KV_I386_START" 'BEGIN { printf "%d", 60 + s + 0.999 }')
[ "$script_elapsed" -lt "$limit" ] || fail "cscript took ${script_elapsed}s (limit $limit s: 60 s on top of a ${KV_I386_START} s start)"
echo "cscript within its limit of $limit s (a 32-bit program starts in ${KV_I386_START} s here)"
echo "PASS [automation]"
