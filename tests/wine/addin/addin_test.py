#!/usr/bin/env python3
"""The add-in object in hostsim.exe under Wine, against kvservice: one case per host behaviour.

Runs inside the prefix that wine-run.sh --shell prepared. Registers KestrovaSE.dll with the
"service" setting on a loopback port, lists Tarnwick.Connect for the three hosts, records the
pages the shell opens (the prefix's http handler writes its argument to a file), runs hostsim
with a script and checks hostsim's log, the service's request log and the registry.

  addin_test.py word|visibility|excel|powerpoint HOSTSIM_EXE KESTROVASE_DLL NATIVE_OUT SOURCE_DIR SCREENS
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import kvwine  # noqa: E402
from kvwine import check, failures, wine, winpath  # noqa: E402

class Service(kvwine.Service):
    def requests(self):
        """(target as text, user agent) of every request so far; targets are code page 949 bytes."""
        return super().requests("user-agent", "", hex_target="cp949")

    def targets(self):
        return [t for t, _ in self.requests()]


class Host:
    """One hostsim run: script in, log lines out."""

    def __init__(self, exe, work, screens):
        self.exe, self.work, self.screens = exe, work, screens
        self.runs = 0

    def script(self, app, steps, version="16.0", background=False):
        self.runs += 1
        path = os.path.join(self.work, "script%d.txt" % self.runs)
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(steps) + "\n")
        log = os.path.join(self.work, "host%d.log" % self.runs)
        cmd = ["wine", self.exe, "--app", app, "--version", version, "--script", winpath(path), "--screens",
               winpath(os.path.join(self.work, "screens"))]
        out = open(log, "wb")
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.DEVNULL, cwd=os.path.dirname(self.exe))
        if background:
            return proc, log
        rc = proc.wait(timeout=180)
        out.close()
        return rc, open(log, encoding="utf-8", errors="replace").read().splitlines()

    def keep_screens(self):
        os.makedirs(self.screens, exist_ok=True)
        shots = os.path.join(self.work, "screens")
        for name in sorted(os.listdir(shots)) if os.path.isdir(shots) else []:
            if name.endswith(".bmp"):
                subprocess.run(["convert", os.path.join(shots, name),
                                os.path.join(self.screens, "addin-" + name[:-4] + ".png")], check=False)


def has(lines, text):
    return any(text in line for line in lines)


def index(lines, text, start=0):
    for i in range(start, len(lines)):
        if text in lines[i]:
            return i
    return -1


def between(lines, first, second):
    """The lines after the first line with first and before the next line with second."""
    a = index(lines, first)
    b = index(lines, second, a + 1) if a >= 0 else -1
    return lines[a + 1:b] if a >= 0 and b >= 0 else None


def visible_setting():
    rc, out = wine("reg", "query", "HKCU\\Software\\kestrovaSE\\1.0.0", "/v", "visible")
    m = re.search(r"visible\s+REG_DWORD\s+0x([0-9a-fA-F]+)", out)
    return int(m.group(1), 16) if rc == 0 and m else None


def pane_of_event(lines, document):
    """The pane numbers whose content control was read while the open event of document ran."""
    block = between(lines, 'document="%s"' % document, "sink.Invoke(")
    if block is None:
        return None
    return sorted({int(m.group(1)) for m in (re.search(r"CustomTaskPane\[(\d+)\]\.ContentControl", l) for l in block)
                   if m})


def check_start(lines, targets, app, program, own_sink):
    sinks = {"{000209FE-0000-0000-C000-000000000046}": "Word", "{00024413-0000-0000-C000-000000000046}": "Excel",
             "{914934C2-5A91-11CF-8700-00AA0060263B}": "PowerPoint"}
    found = [l for l in lines if "Application.FindConnectionPoint(" in l]
    check([l.split("(")[1].split(")")[0] for l in found] == list(sinks),
          "%s: the three sinks are tried in the order Word, Excel, PowerPoint" % app)
    connected = [sinks[k] for k in sinks if has(lines, "ConnectionPoint%s.Advise(sink) = S_OK" % k)]
    check(connected == [own_sink], "%s: only the host's own sink connects (%s)" % (app, connected))
    exe = [t for t, a in targets if "logtype=exe" in t]
    check(len(exe) == 1 and ("logtype=exe&program=%s&" % program) in exe[0] and "&PID={" in exe[0],
          "%s: one start report naming program=%s (%s)" % (app, program, exe))
    check(has(lines, 'CTPFactory.CreateCTP(CTPAxID="KestrovaSE.SimTaskPane", CTPTitle="서식 검색", '
                     'CTPParentWindow=missing) = S_OK pane=1 window=1'), "%s: the first pane is created" % app)
    check(has(lines, "CustomTaskPane[1].Width [put] 300 = S_OK"), "%s: the first pane gets width 300" % app)


def case_word(host, service, shell_log):
    rc, lines = host.script("word", [
        "wait-pane 259 10000",
        "screenshot word-start",
        "type EditBox1 이력서",
        "commit EditBox1",
        "wait-pane 259 10000",
        "echo mark keyword",
        "click CustomButton",
        "echo mark button",
        "click VariablesLauncher",
        "echo mark hidden",
        "click btnSearchlist",
        "echo mark shown",
        "click btnSearchlist",
        "echo mark still-shown",
        "click searchbutton",
        "click searchbutton",
        "echo mark toggled",
        "screenshot word-keyword",
        "click pay",
        "click homepage",
        "click help",
        "click info",
        "click SearchcheckBox",
        "echo mark cert",
        "click cert",
        "echo mark opened",
        "open " + winpath(os.path.join(host.work, "견적서_2013.docx")),
        "sleep 3000",
        "screenshot word-opened",
        "open " + winpath(os.path.join(host.work, "회의록.docx")),
        "sleep 3000",
        "echo mark two-windows",
        "activate 2",
        "click CustomButton",
        "quit",
    ])
    targets = service.requests()
    check(rc == 0, "word: hostsim ran the whole script (exit %d)" % rc)
    check_start(lines, targets, "word", "doc", "Word")
    check(has(lines, "CustomTaskPane[1].Visible [put] -1 = S_OK"), "word: without a stored setting the pane is shown")
    check(has(lines, "CTPFactoryAvailable(CTPFactoryInst=ICTPFactory) = E_NOINTERFACE"),
          "word: CTPFactoryAvailable returns the PowerPoint probe's failure")
    t = [x for x, _ in targets]
    first = next((i for i, x in enumerate(t) if "search_" in x), None)
    check(first is not None and t[first].startswith("/k_app/search_weekform.asp") and
          any("search_bestform.asp?ext=doc" in x for x in t[first:first + 4]),
          "word: the first pane runs the first search (best lists) at start")
    # Every ribbon callback, each with the work the ribbon's table gives it.
    names = ["changeSearchText", "ButtonClicked", "putVisiblePane", "putVisiblePaneAllways", "ButtonCert",
             "ButtonPremium", "ButtonHome", "ButtonHelp", "ButtonInfo", "CheckBoxVisible", "OnRibbonLoad",
             "GetImageCert", "GetImageCustomButton", "GetImagePay", "GetImageHomepage", "GetImageHelp",
             "GetImageInfo", "GetImageSearchButton"]
    bad = [n for n in names if not re.search(r"=%s\(.*\) dispid=\d+ = S_OK" % n, "\n".join(lines))]
    check(not bad, "word: the ribbon's callbacks are found by name and succeed (%s)" % bad)
    for image, kind in (("CustomButton", "bitmap 20x20 24 bpp"), ("searchbutton", "bitmap 16x16 24 bpp"),
                        ("cert", "icon 32x32"), ("pay", "icon 32x32"), ("homepage", "icon 32x32"),
                        ("help", "icon 32x32"), ("info", "icon 32x32")):
        check(has(lines, 'image of "%s": %s' % (image, kind)), "word: picture of %s is a %s" % (image, kind))
    keyword = [x for x in t if x.startswith("/k_app/search_certform.asp?ext=doc&keyword=이력서")]
    check(len(keyword) >= 2, "word: the committed ribbon text and the search button both search it (%d)" % len(keyword))
    hide = between(lines, "mark button", "mark hidden")
    check(hide is not None and has(hide, "Visible [put] 0"), "word: the dialog launcher hides a visible pane")
    show = between(lines, "mark hidden", "mark shown")
    check(show is not None and has(show, "Visible [put] -1"), "word: 검색창열기 shows a hidden pane")
    again = between(lines, "mark shown", "mark still-shown")
    check(again is not None and not has(again, "Visible [put]"), "word: 검색창열기 never hides the pane")
    toggled = between(lines, "mark still-shown", "mark toggled")
    check(toggled is not None and [l.split("Visible [put] ")[1][:2] for l in toggled if "Visible [put]" in l] == ["0 ", "-1"],
          "word: 검색창보기 hides, then shows again")
    # The shell starts one recorder per page; they may finish in any order.
    # On a loaded machine a recorder may take a while to start: wait for all three.
    deadline = time.time() + 45
    while time.time() < deadline and not (os.path.exists(shell_log) and len(open(shell_log).read().split()) >= 3):
        time.sleep(0.2)
    pages = sorted(open(shell_log, encoding="latin-1").read().split()) if os.path.exists(shell_log) else []
    want = ["http://127.0.0.1:%d/k_app/PageProcessing.asp?uflag=%d&code=kv5830146927713&PID={" % (service.port, u)
            for u in (3, 4, 5)]
    check(len(pages) == 3 and all(p.startswith(w) and p.endswith("}") for p, w in zip(pages, want)),
          "word: 유료전환, 바로가기, 도움말 open their pages through the shell with the identity (%s)" % pages)
    cert_at = next((i for i, x in enumerate(t) if "/k_app/login_status.asp" in x and i > (first or 0) + 4), None)
    check(cert_at is not None, "word: 회원인증 refreshes the login state and lists (put_SearchList)")
    # Documents opened: each in a new window with a new pane, which gets the search by name.
    logs = [x for x in t if "logtype=filename" in x]
    check(len(logs) == 2 and all("program=doc&kind=client&keyword=" in x for x in logs) and
          "keyword=견적서_2013.docx&" in logs[0], "word: each opened document logs its name with kind=client (%s)" % logs)
    check(any("/k_app/search_certform.asp?ext=doc&logtype=cfilename&keyword=견적서" == x for x in t) and
          any("/k_app/search_certform.asp?ext=doc&logtype=cfilename&keyword=회의록" == x for x in t),
          "word: both documents are searched by the Hangul of their names")
    check(pane_of_event(lines, "견적서_2013.docx") == [2] and pane_of_event(lines, "회의록.docx") == [3],
          "word: a document opened in a new window searches in that window's own pane (%s, %s)" %
          (pane_of_event(lines, "견적서_2013.docx"), pane_of_event(lines, "회의록.docx")))
    check(len([l for l in lines if "CTPFactory.CreateCTP(" in l]) == 3,
          "word: three windows, three panes; the search button in window 2 creates none")
    # Word's DocumentOpen has the dispatch id of OnStartupComplete: the event must not reach the
    # update check, which would read the active pane's control a second time.
    block = between(lines, 'event DocumentOpen iid={000209FE-0000-0000-C000-000000000046} dispid=4 document="견적서',
                    "sink.Invoke(")
    check(block is not None and len([l for l in block if "ContentControl [get]" in l]) == 1,
          "word: a document open runs the handler alone (one control read)")
    startup = between(lines, "CTPFactoryAvailable(", "OnStartupComplete(")
    check(startup is not None and len([l for l in startup if "ContentControl [get]" in l]) == 1,
          "word: version 16 looks for the control at start-up complete (update check)")
    versions = [x for x in t if x == "/k_app/update/kestrovase_version.ini"]
    check(len(versions) == 1, "word: the version is checked once, at start-up, and never on a document open (%d)"
          % len(versions))
    order = [index(lines, s) for s in ("OnBeginShutdown(", "Unadvise(", "CustomTaskPane[1].Delete()",
                                       "OnDisconnection(", 'add-in "Tarnwick.Connect" released')]
    check(all(x >= 0 for x in order) and order == sorted(order),
          "word: disconnection unadvises the sink and deletes the panes before the add-in is released")
    # A click on the picks header inside the host's pane collapses that section: its entries are
    # hidden (the wait for the first daily pick must run out) while the results header stays.
    rc, lines = host.script("word", ["wait-pane 259 10000", "pane-click 232", "sleep 1000",
                                     "screenshot word-collapsed", "wait-pane 236 3000", "wait-pane 259 1500", "quit"])
    check(rc == 3 and has(lines, "line 6 wait-pane FAILED") and has(lines, 'line 5 wait-pane done: "서식 검색 결과"'),
          "word: the picks header collapses its section in the host's pane (exit %d)" % rc)


def case_visibility(host, service, shell_log):
    # A first run that ends with the pane hidden stores 0; the next start keeps new panes hidden.
    rc, lines = host.script("word", ["wait-pane 259 10000", "click searchbutton", "quit"])
    check(rc == 0 and visible_setting() == 0, "visibility: hidden at shutdown stores visible=0 (%s)" % visible_setting())
    before = len(service.targets())
    rc, lines = host.script("word", ["sleep 4000", "quit"], version="11.0")
    check("/k_app/update/kestrovase_version.ini" not in service.targets()[before:],
          "visibility: host version 11 asks for no version file")
    check(rc == 0 and not has(lines, "Visible [put] -1"), "visibility: with visible=0 the new pane stays hidden")
    startup = between(lines, "CTPFactoryAvailable(", "OnStartupComplete(")
    check(startup is not None and not has(startup, "ContentControl"),
          "visibility: host version 11 skips the update check at start-up complete")
    check(visible_setting() == 0, "visibility: still hidden at the end stores 0 again")
    # Shown through the ribbon and left visible: stored as 1, and the next start shows the pane.
    rc, lines = host.script("word", ["sleep 4000", "click btnSearchlist", "wait-pane 259 10000", "quit"])
    check(rc == 0 and visible_setting() == 1, "visibility: shown at shutdown stores visible=1 (%s)" % visible_setting())
    rc, lines = host.script("word", ["wait-pane 259 10000", "quit"])
    check(has(lines, "CustomTaskPane[1].Visible [put] -1"), "visibility: with visible=1 the new pane is shown")
    # The last keyword of one host process is the first search of a pane created in another
    # (panes are shown at start again now).
    first, first_log = host.script("word", ["type EditBox1 계약서", "commit EditBox1", "wait-pane 259 10000",
                                            "sleep 20000", "quit"], background=True)
    deadline = time.time() + 60
    while time.time() < deadline and not any("search_certform.asp?ext=doc&keyword=계약서" in x
                                             for x in service.targets()):
        time.sleep(0.2)
    before = len(service.targets())
    rc, lines = host.script("excel", ["wait-pane 259 10000", "quit"])
    after = service.targets()[before:]
    first.wait(timeout=120)
    # (Which program the search names is the control's choice: it looks for a running host itself.)
    check(any(re.match(r"/k_app/search_certform\.asp\?ext=[a-z]+&keyword=계약서$", x) for x in after),
          "visibility: a pane started while another host holds the last keyword searches it first (%s)" %
          [x for x in after if "search_" in x][:4])


def case_excel(host, service, shell_log):
    rc, lines = host.script("excel", ["wait-pane 259 10000", "open " + winpath(os.path.join(host.work, "매출.xlsx")),
                                      "sleep 3000", "screenshot excel-opened", "quit"])
    targets = service.requests()
    check(rc == 0, "excel: hostsim ran the whole script (exit %d)" % rc)
    check_start(lines, targets, "excel", "xls", "Excel")
    t = [x for x, _ in targets]
    logs = [(x, a) for x, a in targets if "logtype=filename" in x]
    check(len(logs) == 1 and "program=xls&kind=client&keyword=매출.xlsx-Excel&" in logs[0][0] and logs[0][1] == "kestrova",
          "excel: the workbook's caption is logged without blanks, kind=client, by the add-in (%s)" % logs)
    check(len([l for l in lines if "CTPFactory.CreateCTP(" in l]) == 1 and not any("cfilename" in x for x in t),
          "excel: the new workbook window has no pane, so none is created and nothing is searched")


def case_powerpoint(host, service, shell_log):
    rc, lines = host.script("powerpoint", ["wait-pane 259 10000",
                                           "open " + winpath(os.path.join(host.work, "발표.pptx")),
                                           "sleep 3000", "screenshot powerpoint-opened", "quit"])
    targets = service.requests()
    check(rc == 0, "powerpoint: hostsim ran the whole script (exit %d)" % rc)
    check_start(lines, targets, "powerpoint", "ppt", "PowerPoint")
    check(has(lines, "CTPFactoryAvailable(CTPFactoryInst=ICTPFactory) = S_OK"),
          "powerpoint: CTPFactoryAvailable succeeds (the application answers PowerPoint's _Application)")
    t = [x for x in service.targets()]
    logs = [x for x in t if "logtype=filename" in x]
    check(len(logs) == 1 and "program=ppt&kind=client&keyword=발표.pptx-PowerPoint&" in logs[0],
          "powerpoint: the presentation's caption is logged (%s)" % logs)
    check(pane_of_event(lines, "발표.pptx") == [1] and any(x == "/k_app/search_certform.asp?ext=ppt&logtype=cfilename&keyword=발표"
                                                         for x in t),
          "powerpoint: the one pane of the application window searches by the presentation's name")
    check(len([l for l in lines if "CTPFactory.CreateCTP(" in l]) == 1, "powerpoint: all presentations share one pane")


def main():
    case, hostsim, dll, native_out, src, screens = sys.argv[1:7]
    work = tempfile.mkdtemp(prefix="kvaddin.", dir=os.environ.get("WINEPREFIX"))
    service = Service(os.path.join(native_out, "kvservice"), os.path.join(src, "tools/kvservice/data"), work)
    try:
        for name in ("견적서_2013.docx", "회의록.docx", "매출.xlsx", "발표.pptx"):
            open(os.path.join(work, name), "w").write("sample\n")
        shell_log = os.path.join(work, "shell.txt")
        recorder = os.path.join(work, "record.js")
        with open(recorder, "w") as f:
            # Three recorders may append at once, and an open file refuses the others: retry.
            f.write('var fso = new ActiveXObject("Scripting.FileSystemObject");\n'
                    'for (var i = 0; i < 200; i++) {\n'
                    '  try { var f = fso.OpenTextFile("%s", 8, true); f.WriteLine(WScript.Arguments(0)); f.Close(); break; }\n'
                    '  catch (e) { WScript.Sleep(50); }\n'
                    '}\n' % winpath(shell_log).replace("\\", "\\\\"))
        steps = [
            ("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d", "127.0.0.1:%d" % service.port,
             "/f", "/reg:64"),
            ("reg", "add", "HKCR\\http\\shell\\open\\command", "/ve", "/d",
             'C:\\windows\\system32\\cscript.exe //nologo %s "%%1"' % winpath(recorder), "/f", "/reg:64"),
        ] + [("reg", "add", "HKCU\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % app, "/v",
              "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f") for app in ("Word", "Excel", "PowerPoint")]
        for step in steps:
            rc, _ = wine(*step)
            check(rc == 0, "setup: " + " ".join(step[:3]))
        rc, _ = wine("regsvr32", "/s", winpath(dll), cwd=os.path.dirname(dll))
        check(rc == 0, "setup: regsvr32 KestrovaSE.dll")
        host = Host(hostsim, work, screens)
        {"word": case_word, "visibility": case_visibility, "excel": case_excel,
         "powerpoint": case_powerpoint}[case](host, service, shell_log)
        host.keep_screens()
        if failures:
            for i in range(1, host.runs + 1):
                print("--- hostsim log %d" % i)
                print(open(os.path.join(work, "host%d.log" % i), encoding="utf-8", errors="replace").read())
            print("--- service requests")
            print("\n".join(service.targets()))
    finally:
        service.stop()
        if not os.environ.get("KV_KEEP_WORK"):
            shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
