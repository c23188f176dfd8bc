#!/usr/bin/env bash
# The demo: the add-in in the word processor stand-in (hostsim.exe) under Wine, against the
# bundled substitute service. Starts kvservice on a free loopback port, prepares a Wine prefix
# (the add-in installed by its setup program, "service" pointing at
# the local port), then runs a short scripted session on the user's display if there is one
# and on a private Xvfb otherwise, printing each step as it happens. Screenshots go to
# $KV_OUT/screens. Everything it started is stopped at the end.
#
#   INTERACTIVE=1   keep the host open on the display after the session (close its window to end)
#   DEMO_DPI=144    the screen's DPI in the prefix (LogPixels; default 96): the host and the pane
#                   at 150%; the screenshots are then named demo-144-*.png, beside the 96-DPI ones
set -u
top="$(cd "$(dirname "$0")/.." && pwd)"
out="${KV_OUT:-$top/out}"
out="$(cd "$out" 2>/dev/null && pwd)" || { echo "demo: no output folder ${KV_OUT:-$top/out} (make build)" >&2; exit 1; }
build="${KV_BUILD:-$top/build}"
mkdir -p "$build/wine" && build="$(cd "$build" && pwd)"
svc="$out/linux/kvservice"
dll="$out/win64/KestrovaSE.dll"
setup="$out/win32/KestrovaSE-setup.exe"
host="$out/win64/hostsim.exe"
data="${KV_SERVICE_DATA:-$top/tools/kvservice/data}"
screens="$out/screens"
interactive="${INTERACTIVE:-0}"
dpi="${DEMO_DPI:-96}"
case "$dpi" in
  ''|*[!0-9]*) echo "demo: DEMO_DPI=$dpi is not a number of dots per inch (96, 120, 144, 192...)" >&2; exit 2 ;;
esac
[ "$dpi" -ge 96 ] && [ "$dpi" -le 480 ] || { echo "demo: DEMO_DPI=$dpi is outside 96 to 480" >&2; exit 2; }
# Screenshot names: demo-N-... at 96 DPI, demo-DPI-N-... otherwise.
shot="demo-"
[ "$dpi" = 96 ] || shot="demo-$dpi-"
for f in "$svc" "$dll" "$setup" "$host"; do [ -e "$f" ] || { echo "demo: $f missing (make build)" >&2; exit 1; }; done
[ -x /usr/lib/wine/wine64 ] || { echo "demo: wine missing (make deps)" >&2; exit 1; }
# Our `wine`: every program through the 64-bit loader, so that only the 32-bit setup program
# starts the 32-bit one (on a machine whose kernel runs no 32-bit code, that one is emulated).
export PATH="$top/scripts/wine-bin:$PATH"

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8  # code page 949, as on a Korean system
export WINEARCH=win64
export WINEPREFIX="$build/wine/demo"

work="$(mktemp -d /tmp/kvdemo.XXXXXX)"
spid="" xpid="" hpid="" tpid=""
cleanup() {
  [ -d "$WINEPREFIX" ] && { wineserver -k >/dev/null 2>&1; timeout 20 wineserver -w >/dev/null 2>&1; }
  # The host's subshell ends with its wine; the log reader follows it within a second.
  [ -n "$hpid" ] && wait "$hpid" 2>/dev/null
  [ -n "$tpid" ] && wait "$tpid" 2>/dev/null
  [ -n "$spid" ] && { kill "$spid" 2>/dev/null; wait "$spid" 2>/dev/null; }
  [ -n "$xpid" ] && { kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
say() { printf '%s\n' "$*"; }
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

# ---- the service ----------------------------------------------------------------------------
"$svc" --port 0 --port-file "$work/port" --data "$data" --log "$work/requests.jsonl" >"$work/service.out" 2>&1 &
spid=$!
for _ in $(seq 1 100); do
  [ -s "$work/port" ] && break
  kill -0 "$spid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$work/port" ] || { echo "demo: service did not start" >&2; cat "$work/service.out" >&2; exit 1; }
port="$(cat "$work/port")"
say "== kvservice: the sample catalogue at 127.0.0.1:$port"

# ---- the display: the user's, else a private Xvfb --------------------------------------------
display_works() {
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xset >/dev/null; then xset q >/dev/null 2>&1; return; fi
  local n="${DISPLAY#*:}"
  [ -S "/tmp/.X11-unix/X${n%%.*}" ]
}
if display_works; then
  say "== display: $DISPLAY (yours)"
else
  [ "$interactive" = 1 ] && say "demo: no display to stay open on; running the session under Xvfb instead" >&2
  interactive=0
  for n in $(seq 90 250); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # The screen grows with the DPI, so that the host's window fits as it does at 96.
    Xvfb ":$n" -screen 0 "$((1280 * dpi / 96))x$((900 * dpi / 96))x24" -nolisten tcp >/dev/null 2>&1 &
    xpid=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xpid" ] && break
      kill -0 "$xpid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xpid" 2>/dev/null; then export DISPLAY=":$n"; break; fi
    kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; xpid=""
  done
  [ -n "$xpid" ] || { echo "demo: no free X display" >&2; exit 1; }
  say "== display: private Xvfb $DISPLAY"
fi

# ---- the prefix: made once, the add-in (re)registered every run --------------------------------
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "== Wine prefix: making $WINEPREFIX (once: about 15 s, 3 minutes where 32-bit code is emulated)"
  timeout 180 wineboot -i >/dev/null 2>&1
  timeout 60 wineserver -w >/dev/null 2>&1
  [ -f "$WINEPREFIX/system.reg" ] || { echo "demo: wineboot failed" >&2; exit 1; }
fi
# The prefix's shell folders (Documents among them) link to the Linux home: the demo keeps its
# downloaded templates inside the prefix instead.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
  [ -L "$link" ] || continue
  rm -f "$link" && mkdir -p "$link"
done
reg() { wine reg add "$@" /f >/dev/null 2>&1 || { echo "demo: reg add $1 failed" >&2; exit 1; }; }
reg 'HKLM\SOFTWARE\kestrovaSE\1.0.0' /v service /d "127.0.0.1:$port" /reg:64
# The setup program installs the three files for this user, registers both libraries and lists
# the add-in for Word, Excel and PowerPoint; a rerun upgrades in place.
(cd "$(dirname "$setup")" && wine "$(winpath "$setup")" /S) || { echo "demo: KestrovaSE-setup.exe /S failed" >&2; exit 1; }
# Every run starts with the pane shown, whatever the last interactive run left.
reg 'HKCU\Software\kestrovaSE\1.0.0' /v visible /t REG_DWORD /d 1
# The screen's DPI where Wine reads it (the desktop settings, else the configuration's fonts key),
# written every run so that a 96-DPI run after a 144 one is at 96 again. Programs take it when
# they start: the prefix's processes start afresh.
reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi"
reg 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi"
wineserver -k >/dev/null 2>&1
timeout 20 wineserver -w >/dev/null 2>&1
[ "$dpi" = 96 ] || say "== screen at $dpi DPI ($((dpi * 100 / 96))%): screenshots named ${shot}*.png"
say "== Wine prefix $WINEPREFIX: installed by KestrovaSE-setup.exe /S (Tarnwick.Connect listed for Word, Excel, PowerPoint)"

# ---- the session ----------------------------------------------------------------------------------
doc="$work/견적서_2013.docx"
printf 'sample\n' >"$doc"
mkdir -p "$work/shots" "$screens"
rm -f "$screens/$shot"[0-9]-*.png
# The sample member who logs in (tools/kvservice/README.md lists the members).
member_id=kvtop member_password=top1234 member_level=3
{
  echo "echo STEP 1. 워드 시작: 서식 창에 일간·주간 추천과 인기 서식"
  echo "sleep 700"
  echo "wait-pane 259 15000"
  echo "sleep 1500"
  echo "screenshot ${shot}1-start"
  echo "echo STEP 2. 리본 검색창에 '이력서' 입력 후 Enter: 서식 창이 이 단어로 검색"
  echo "sleep 700"
  echo "type EditBox1 이력서"
  echo "commit EditBox1"
  echo "sleep 3000"
  echo "screenshot ${shot}2-ribbon-search"
  echo "echo STEP 3. 일간 추천 서식 클릭: 내려받아 새 워드 창에서 열림 (새 창의 서식 창은 서식 이름으로 검색하지 않음)"
  echo "sleep 700"
  echo "pane-click 259"
  # The download, the new window and its pane's first search.
  echo "sleep 4000"
  echo "wait-pane 259 15000"
  echo "sleep 1500"
  echo "screenshot ${shot}3-template-opened"
  echo "echo STEP 4. 한글 이름의 문서 열기 (견적서_2013.docx): 새 창의 서식 창이 문서 이름으로 검색"
  echo "sleep 700"
  echo "open $(winpath "$doc")"
  echo "sleep 4000"
  echo "screenshot ${shot}4-opened-document"
  echo "echo STEP 5. 리본의 회원인증 단추: 로그인 창에 회원 $member_id 의 아이디와 비밀번호를 넣고 로그인"
  echo "sleep 700"
  echo "click cert"
  echo "dialog-type 211 \"\" $member_id"
  echo "dialog-type 212 \"\" $member_password"
  # The popup's hidden login page loads before the form is sent.
  echo "sleep 2500"
  echo "screenshot ${shot}5-login-popup"
  echo "dialog-click 215 \"\""
  echo "sleep 3000"
  echo "screenshot ${shot}6-login-complete"
  echo "echo STEP 6. '인증 완료' 창의 확인: 서식 창의 회원 등급이 $member_level 로 바뀜"
  echo "sleep 700"
  echo "dialog-click 1 인증 완료"
  echo "wait-prop get_LoginStatus $member_level 10000"
  echo "sleep 1500"
  echo "screenshot ${shot}7-logged-in"
  if [ "$interactive" = 1 ]; then
    echo "echo STEP 7. 창이 열린 채로 남습니다: 직접 써 보고 창을 닫으면 끝납니다"
  else
    echo "echo STEP 7. 종료"
    echo "quit"
  fi
} >"$work/session.txt"

# The requests the service received since the last call, one line each (code page 949 shown as
# UTF-8, the identity parameters cut off).
new_requests() {
  python3 - "$work/requests.jsonl" "$work/requests.seen" <<'PY'
import json, os, sys
log, seen_file = sys.argv[1], sys.argv[2]
try:
    done = int(open(seen_file).read())
except (OSError, ValueError):
    done = 0
try:
    lines = open(log, encoding="latin-1").read().split("\n")[:-1]  # the last piece may be unfinished
except OSError:
    lines = []
for line in lines[done:]:
    try:
        d = json.loads(line)
    except ValueError:
        continue
    t = bytes.fromhex(d.get("target_hex", "")).decode("cp949", "replace")
    agent = dict((k.lower(), v) for k, v in d.get("headers", [])).get("user-agent", "")
    print("   service: %-9s %s" % ("[" + agent + "]", t.split("&version=")[0]))
open(seen_file, "w").write(str(max(done, len(lines))))
PY
}

# The templates folder of the prefix's user (Documents\kestrovas).
templates_dir() { ls -d "$WINEPREFIX"/drive_c/users/*/Documents/kestrovas 2>/dev/null | head -n 1; }

# What a previous run left in the templates folder is not shown as this run's download.
[ -n "$(templates_dir)" ] && rm -f "$(templates_dir)"/*
say "== hostsim.exe --app word: the scripted session"
# Each step as it happens, with the requests it made; the add-in's calls are summarised from the
# host's log. The session runs in the background so that a signal reaches the trap at once.
# HOSTSIM_LOG gathers the log of this host and of the one COM starts to open a template.
mkdir -p "$out/demo"
log="$out/demo/host.log"
rm -f "$log"
: >"$log"
(
  cd "$(dirname "$host")" || exit 1
  HOSTSIM_LOG="$(winpath "$log")" wine "$host" --app word --script "$(winpath "$work/session.txt")" \
    --screens "$(winpath "$work/shots")" >/dev/null 2>&1
  echo $? >"$work/host.rc"
) &
hpid=$!
(
  second=0
  tail -n +1 -s 0.2 -F --pid="$hpid" "$log" 2>/dev/null | while IFS= read -r line; do
    case "$line" in
      "script echo STEP "*) new_requests; say ""; say "${line#script echo STEP }" ;;
      *"FAILED"*) say "   !! $line" ;;
      "host-> CTPFactoryAvailable("*"E_NOINTERFACE"*) say "   ${line%% [[]*} (the PowerPoint probe's answer in Word: expected)" ;;
      "host-> OnConnection("*|"host-> CTPFactoryAvailable("*|"host-> OnStartupComplete("*) say "   ${line%% [[]*}" ;;
      "host<- CTPFactory.CreateCTP("*) say "   pane created: ${line##*= }" ;;
      "host-> callback on"*) say "   ribbon: ${line#host-> callback }" ;;
      "host start "*"(embedding)"*) second=1; say "   COM starts a second host for the template: ${line#host }" ;;
      "host<- "*".Open("*") = "*)
        say "   host opens: ${line#host<- }"
        opened="${line#*FileName=\"}" && opened="${opened%%\"*}" && opened="${opened##*\\}"
        dir="$(templates_dir)"
        if [ -n "$dir" ] && [ -f "$dir/$opened" ]; then
          say "   downloaded: Documents\\kestrovas\\$opened ($(stat -c %s "$dir/$opened") bytes)"
        fi
        # The new window belongs to the second host: the picture is of the screen.
        if [ "$second" = 1 ]; then
          sleep 3
          xwd -root -silent 2>/dev/null | convert xwd:- "$screens/${shot}3-template-window.png" 2>/dev/null &&
            say "   screenshot of the screen with the new window: $screens/${shot}3-template-window.png"
        fi ;;
      "host window "*) say "   $line" ;;
      "event "*) say "   $line" ;;
      "script line "*"wait-pane done:"*) say "   pane shows: ${line#*done: }" ;;
      "script line "*"wait-prop done"*) say "   the pane's login level (get_LoginStatus): $member_level" ;;
      "script line "*"dialog-"*) say "   ${line#script line * }" ;;
      "host exit "*) new_requests; say ""; say "   $line" ;;
    esac
  done
) &
tpid=$!
wait "$hpid"
wait "$tpid"
rc="$(cat "$work/host.rc" 2>/dev/null || echo 1)"
new_requests
say ""
for f in "$work"/shots/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "$screens/$(basename "${f%.bmp}").png" && say "   screenshot: $screens/$(basename "${f%.bmp}").png"
done
[ "$rc" = 0 ] || { echo "demo: hostsim ended with exit code $rc" >&2; exit 1; }
say "== done"
