#!/usr/bin/env bash
# Drives hostsim under Wine with our test add-in and checks its log. Run through
# scripts/wine-run.sh --shell (WINEPREFIX and DISPLAY are set).
#   hostsim_test.sh word|excel|powerpoint|server HOSTSIM.exe TESTADDIN.dll CLIENT.exe SCREENS_DIR
set -u
case_name=$1 host=$2 addin=$3 client=$4 screens=$5
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "$WINEPREFIX/hostsim.XXXXXX")"
log="$work/log.txt"
: >"$log"

fail() {
  echo "FAIL [$case_name]: $*"
  echo "--- log"
  cat "$log"
  [ -s "$work/stderr.txt" ] && { echo "--- stderr"; tail -40 "$work/stderr.txt"; }
  exit 1
}
expect() { grep -qF -- "$1" "$log" || fail "missing: $1"; }
expect_not() { ! grep -qF -- "$1" "$log" || fail "unexpected: $1"; }
count_at_least() { local n; n=$(grep -cF -- "$2" "$log"); [ "$n" -ge "$1" ] || fail "expected $1 x '$2', found $n"; }
# Each pattern must first appear after the previous one.
order() {
  local prev=0 n pat
  for pat in "$@"; do
    n=$(grep -nF -- "$pat" "$log" | head -1 | cut -d: -f1)
    [ -n "$n" ] || fail "missing: $pat"
    [ "$n" -gt "$prev" ] || fail "out of order: $pat"
    prev=$n
  done
}
win() { winepath -w "$1" 2>/dev/null; }
run_host() {  # run_host APP SCRIPT: hostsim in the foreground, log appended
  (cd "$(dirname "$host")" && wine "$host" --app "$1" --script "$(win "$2")" --screens "$(win "$work/screens")") >>"$log" 2>"$work/stderr.txt"
  local rc=$?
  echo "driver hostsim exit code $rc" >>"$log"
  return $rc
}
keep_screens() {
  mkdir -p "$screens"
  for f in "$work"/screens/*.bmp; do
    [ -e "$f" ] || continue
    convert "$f" "$screens/$(basename "${f%.bmp}").png" || fail "convert $f"
  done
}

(cd "$(dirname "$addin")" && wine regsvr32 /s "$(win "$addin")") || fail "regsvr32 of the test add-in"
printf 'report\n' >"$work/report.docx"
printf 'book\n' >"$work/book.xlsx"
printf 'deck\n' >"$work/deck.pptx"
mkdir -p "$work/screens"

check_load_order() {
  order "QueryInterface(_IDTExtensibility2" "host-> OnConnection(" "host-> GetCustomUI(" \
        "callback onLoad=OnRibbonLoad(ribbon=IRibbonUI)" "host-> CTPFactoryAvailable(" "host-> OnStartupComplete(" \
        "host shutting down" "host-> OnBeginShutdown(" "host-> OnDisconnection(" "add-in \"HostSimTest.Connect\" released" \
        "host exit 0"
  expect "addin OnConnection mode=1 app.Name=$1 addin.ProgId=HostSimTest.Connect"
  expect "addin Version=16.0"
  expect "addin OnRibbonLoad IRibbonUI=yes"
  expect "addin GetCustomUI id=$2"
}

check_pane_hosting() {
  expect "addin CreateCTP(missing control) failed"
  expect "host control \"HostSimTest.Missing\" could not be created and hosted"
  expect "host<- CTPFactory.CreateCTP(CTPAxID=\"HostSimTest.Control\", CTPTitle=\"테스트 창\", CTPParentWindow=missing) = S_OK"
  expect "host control \"HostSimTest.Control\" hosted by AtlAxWin"
  expect "control DoVerb(-5) parent=window"
  expect "addin ContentControl hr=0 Name=HostSimTest.Control"
  expect "CustomTaskPane[1].Width [put] 280 = S_OK"
  expect "CustomTaskPane[1].Visible [put] -1 = S_OK"
}

case "$case_name" in
word)
  cat >"$work/script.txt" <<SCRIPT
# ribbon edit box, buttons, check box, launcher; then the pane's own controls
type Edit1 안녕 test
commit Edit1
commit Edit1
click Go
wait-pane 103 5000
expect-pane 103 결과: 안녕 test
click Big
click Check1
click Launcher
click Launcher
pane-type 101 두번째
pane-click 102
wait-prop State done 5000
expect-pane 103 결과: 두번째
click NoSuch
click Modal
screenshot word-modal-dialog
dialog-click 2 테스트 알림
click Refresh
type Edit1 엔터
key RETURN
screenshot word-ribbon-pane
open $(win "$work/report.docx")
click Go
wait-pane 103 5000
new-window
screenshot word-new-window
quit
SCRIPT
  run_host word "$work/script.txt"
  rc=$?
  [ "$rc" = 0 ] || fail "hostsim exit code $rc"
  check_load_order Word Microsoft.Word.Document
  check_pane_hosting
  expect "addin connect Word events=0x00000000"
  expect "addin connect Excel events=0x80040200"
  expect "addin connect PowerPoint events=0x80040200"
  expect "Application.FindConnectionPoint({000209FE-0000-0000-C000-000000000046}) = S_OK"
  expect "addin QueryInterface(Word _Application)=S_OK"
  # ribbon callbacks with their arguments
  expect "callback getImage=GetImageGo(control=\"Go\")"
  expect "image of \"Go\": bitmap 20x20 24 bpp"
  expect "image of \"Big\": icon 32x32"
  expect "callback getVisible=GetVisibleBig(control=\"Big\") dispid=108 = S_OK result=true"
  expect "callback getVisible=GetVisibleHidden(control=\"Hidden\") dispid=109 = S_OK result=false"
  expect "callback onChange=OnEditChange(control=\"Edit1\", text=\"안녕 test\") dispid=103 = S_OK"
  expect "addin OnEditChange id=Edit1 text=안녕 test"
  expect "commit: text unchanged; no onChange"
  expect "callback onAction=OnButton(control=\"Go\") dispid=102 = S_OK"
  expect "addin OnButton id=Go context=문서1 edit=안녕 test"
  expect "addin OnButton id=Big context=문서1"
  expect "callback onAction=OnCheck(control=\"Check1\", pressed=true) dispid=104 = S_OK"
  expect "addin OnCheck id=Check1 pressed=true"
  expect "addin OnLauncher id=Launcher visible=false"
  expect "addin OnLauncher id=Launcher visible=true"
  expect "callback onAction=NoSuchCallback(control=\"NoSuch\"): GetIDsOfNames = DISP_E_UNKNOWNNAME; not called"
  expect "host<- RibbonUI.Invalidate() = S_OK"
  # a modal dialog opened by a callback does not stop the script, which closes it
  order "script line 17 click Modal" "script line 18 screenshot" "script line 19 dialog-click 2 in \"테스트 알림\"" \
        "addin OnModal answer=2" "host-> callback onAction=OnModal(control=\"Modal\")"
  count_at_least 2 "callback getImage=GetImageGo(control=\"Go\")"
  expect "callback onChange=OnEditChange(control=\"Edit1\", text=\"엔터\")"
  # the pane's control, driven through its windows
  expect "wait-pane done: \"결과: 안녕 test\""
  expect "control search button clicked"
  expect "wait-prop State=done timeout=5000"
  # document open event
  expect "event DocumentOpen iid={000209FE-0000-0000-C000-000000000046} dispid=4 document=\"report.docx\" sinks=1"
  expect "addin event Word dispid=4 doc=report.docx caption=report.docx"
  expect "host-> sink.Invoke(dispid=4 DocumentOpen, document=\"report.docx\") = S_OK"
  order "host window 2 created" "addin OnButton id=Go context=report.docx" "host window 3 created"
  expect "addin OnBeginShutdown pane.Visible="
  keep_screens
  ;;
excel)
  cat >"$work/script.txt" <<SCRIPT
open $(win "$work/book.xlsx")
click Go
wait-pane 103 5000
screenshot excel-workbook
quit
SCRIPT
  run_host excel "$work/script.txt" || fail "hostsim failed"
  check_load_order Excel Microsoft.Excel.Workbook
  check_pane_hosting
  expect "addin connect Word events=0x80040200"
  expect "addin connect Excel events=0x00000000"
  expect "addin connect PowerPoint events=0x80040200"
  expect "Application.QueryInterface(Word _Application {00020970-0000-0000-C000-000000000046}) = E_NOINTERFACE"
  expect "event WorkbookOpen iid={00024413-0000-0000-C000-000000000046} dispid=1567 document=\"book.xlsx\" sinks=1"
  expect "addin event Excel dispid=1567 doc=book.xlsx caption=book.xlsx - Excel"
  expect "host window 2 created"
  keep_screens
  ;;
powerpoint)
  cat >"$work/script.txt" <<SCRIPT
open $(win "$work/deck.pptx")
wait-pane 103 5000
expect-pane 103 결과: deck.pptx - PowerPoint
screenshot powerpoint-presentation
sleep 30000
quit
SCRIPT
  # Host and client start together: the client waits for the host's ProgID, its running-object
  # entry and the opened presentation. The script's own quit bounds the run if the client fails.
  (cd "$(dirname "$host")" && wine "$host" --app powerpoint --script "$(win "$work/script.txt")" --screens "$(win "$work/screens")") >>"$log" 2>/dev/null &
  hostpid=$!
  (cd "$(dirname "$client")" && wine "$client" active PowerPoint.Application 30 "deck.pptx - PowerPoint") >"$work/client.txt" 2>/dev/null
  wait "$hostpid"
  cat "$work/client.txt" >>"$log"
  expect_not "script line 6 quit"
  check_load_order PowerPoint Microsoft.PowerPoint.Presentation
  check_pane_hosting
  expect "addin connect PowerPoint events=0x00000000"
  expect "event AfterPresentationOpen iid={914934C2-5A91-11CF-8700-00AA0060263B} dispid=2021 document=\"deck.pptx\" sinks=1"
  expect "addin event PowerPoint dispid=2021 doc=deck.pptx caption=deck.pptx - PowerPoint HWND=set"
  expect_not "host window 2 created"
  expect "client GetActiveObject 0x00000000"
  expect "client Name=PowerPoint Caption=deck.pptx - PowerPoint"
  expect "client HWND set"
  expect "host<- Application.Quit [call] = S_OK"
  keep_screens
  ;;
server)
  # Bad input ends with a clear message and exit code before or after the add-ins ran.
  (cd "$(dirname "$host")" && wine "$host" --app notes) >>"$log" 2>/dev/null
  [ $? = 2 ] || fail "unknown application: exit code not 2"
  expect "error unknown application \"notes\""
  printf 'click Go\nfly away\n' >"$work/bad.txt"
  run_host word "$work/bad.txt"
  [ $? = 2 ] || fail "unparsable script: exit code not 2"
  expect "line 2: unknown step \"fly\""
  printf 'click NoSuchControl\nquit\n' >"$work/failing.txt"
  run_host word "$work/failing.txt"
  [ $? = 3 ] || fail "failing step: exit code not 3"
  expect "script line 1 click FAILED: no ribbon control \"NoSuchControl\" shown in the active window"
  order "FAILED: no ribbon control" "host-> OnBeginShutdown(" "host exit 3"
  : >"$log"
  # Quit inside an add-in's own modal loop, which swallows WM_QUIT: the host still ends.
  printf 'click OwnLoop\nquit\n' >"$work/ownloop.txt"
  (cd "$(dirname "$host")" && timeout 40 wine "$host" --app word --script "$(win "$work/ownloop.txt")") >>"$log" 2>"$work/stderr.txt"
  [ $? = 0 ] || fail "quit inside an add-in's modal loop: the host did not end with exit code 0"
  order "addin OnOwnLoop started" "script line 2 quit" "addin OnOwnLoop ended by WM_QUIT" "host shutting down" "host exit 0"
  : >"$log"
  (cd "$(dirname "$host")" && wine "$host" /RegServer) >>"$log" 2>/dev/null || fail "/RegServer"
  expect "host register Word.Application = S_OK"
  wine reg query 'HKCR\Word.Application\CLSID' >/dev/null 2>&1 || fail "Word.Application not registered"
  export HOSTSIM_LOG="$(win "$work/server.log")"
  (cd "$(dirname "$client")" && wine "$client" local Word.Application "$(win "$work/report.docx")") >>"$log" 2>/dev/null
  (cd "$work" && wine cscript //nologo "$(win "$here/open.js")" Excel.Application "$(win "$work/book.xlsx")") >>"$log" 2>/dev/null
  (cd "$(dirname "$client")" && wine "$client" release PowerPoint.Application -) >>"$log" 2>/dev/null
  for _ in $(seq 1 300); do
    [ "$(grep -c 'host exit 0' "$work/server.log" 2>/dev/null)" -ge 3 ] && break
    sleep 0.1
  done
  cat "$work/server.log" >>"$log" 2>/dev/null
  (cd "$(dirname "$host")" && wine "$host" /UnregServer) >>"$log" 2>/dev/null || fail "/UnregServer"
  expect "client CoCreateInstance(CLSCTX_LOCAL_SERVER) 0x00000000"
  expect "client Name=Word Version=16.0"
  expect "client GetActiveObject 0x00000000"
  expect "client same object=yes"
  expect "client Visible put 0x00000000 now=-1"
  expect "client Open(FileName:=...) 0x00000000 Name=report.docx"
  expect "client Open(missing file) 0x80020009"
  expect "client Count=2"
  expect "client Quit 0x00000000"
  expect "host start Word version 16.0 (embedding)"
  expect "host CoRegisterClassObject(Word.Application) = S_OK"
  expect "host<- Documents.Open(FileName=\""
  expect "event DocumentOpen iid={000209FE-0000-0000-C000-000000000046} dispid=4 document=\"report.docx\" sinks=1"
  expect "script Name=Excel Version=16.0"
  expect "script opened book.xlsx count=2"
  expect "host start Excel version 16.0 (embedding)"
  expect "client Word refuses Workbooks 0x80020006"
  expect "client attached 0x00000000 Name=PowerPoint Visible=0"
  expect "host last external client released the application; ending"
  count_at_least 3 "host exit 0"
  expect "host unregister Word.Application = S_OK"
  if wine reg query 'HKCR\Word.Application' >/dev/null 2>&1; then fail "Word.Application still registered"; fi
  ;;
*)
  echo "unknown case $case_name"
  exit 2
  ;;
esac
echo "PASS [$case_name]"
exit 0
