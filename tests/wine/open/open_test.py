#!/usr/bin/env python3
"""Templates opened from the task pane under Wine.

Runs inside the prefix that wine-run.sh --shell prepared. The pane is created in AtlAxWin by the
task-pane test's driver; entry clicks download into the documents folder's "kestrovas" and ask
hostsim.exe, registered as the three hosts' local servers, to open the file (hostsim logs every
Open into HOSTSIM_LOG). The service is kvservice, then a scripted peer that serves lists of
hostile file names and a download cut short.

  open_test.py PANE_DRIVER_EXE KESTROVASE_DLL HOSTSIM_EXE KVSERVICE SOURCE_DIR
"""
import glob
import html
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kvwine import Service, check, failures, winpath  # noqa: E402
from kvwine import wine as wine_run  # noqa: E402


def wine(*args, timeout=120, cwd=None):
    return wine_run(*args, timeout=timeout, cwd=cwd, detached=True)


class Peer(http.server.ThreadingHTTPServer):
    """A service that lists the entries it is given as daily picks; /f/N is file N, /cut/N sends a
    tenth of file N under the whole file's Content-Length and closes."""

    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), PeerHandler)
        self.entries = []  # (FILE text, body, cut)
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()

    @property
    def port(self):
        return self.server_address[1]


class PeerHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, body, declared=None):
        self.send_response(200)
        self.send_header("Content-Length", str(len(body) if declared is None else declared))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = True

    def do_GET(self):
        path = self.path
        base = "http://127.0.0.1:%d" % self.server.port
        if path.startswith("/k_app/search_weekform.asp"):
            items = []
            for n, (name, _, cut) in enumerate(self.server.entries):
                url = "%s/%s/%d" % (base, "cut" if cut else "f", n)
                items.append('<ITEM index="%d"><FILE>%s</FILE><FTITLE>t%d</FTITLE><URL>%s</URL><IMAGE>p.png</IMAGE>'
                             '<LINK>%s/</LINK></ITEM>' % (n + 1, html.escape(name, quote=False), n, url, base))
            xml = '<?xml version="1.0" encoding="euc-kr"?>\n<LIST>' + "".join(items) + "</LIST>"
            self.reply(xml.encode("cp949"))
        elif path.startswith("/k_app/banner_list.asp"):
            self.reply(b"<BANNER><ITEM><SUBJECT>b</SUBJECT><URL>/</URL></ITEM></BANNER>")
        elif path.startswith("/k_app/login_status.asp"):
            self.reply(b"")
        elif path.startswith("/k_app/search_"):
            self.reply(b"<LIST></LIST>")
        elif path.startswith("/f/") or path.startswith("/cut/"):
            _, body, _ = self.server.entries[int(path.rsplit("/", 1)[1])]
            if path.startswith("/cut/"):
                self.reply(body[:len(body) // 10], declared=len(body))
            else:
                self.reply(body)
        else:
            self.reply(b"ok")


def hostsim_opens(log):
    """(collection, path, result) of every Open that hostsim logged."""
    out = []
    if os.path.exists(log):
        for line in open(log, encoding="utf-8", errors="replace"):
            m = re.match(r'host<- (\w+)\.Open\(FileName="(.*)"\) = (\S+)', line)
            if m:
                out.append(m.groups())
    return out


def in_order(lines, patterns):
    """True when lines hold a match of each pattern, in the patterns' order."""
    i = 0
    for line in lines:
        if i < len(patterns) and re.search(patterns[i], line):
            i += 1
    return i == len(patterns)


def listing(folder):
    """Every entry under folder, relative, with a trailing / for folders."""
    out = set()
    for dirpath, dirs, files in os.walk(folder):
        rel = os.path.relpath(dirpath, folder)
        for d in dirs:
            out.add(os.path.normpath(os.path.join(rel, d)) + "/")
        for f in files:
            out.add(os.path.normpath(os.path.join(rel, f)))
    return out


def main():
    driver, dll, hostsim, kvservice, src = sys.argv[1:6]
    prefix = os.environ["WINEPREFIX"]
    work = tempfile.mkdtemp(prefix="kvopen.")
    data = os.path.join(src, "tools/kvservice/data")
    # The documents folder of a new prefix links to the Linux home: this run gets one of its own.
    users = [u for u in glob.glob(os.path.join(prefix, "drive_c/users/*")) if os.path.basename(u) != "Public"]
    user, documents = os.path.basename(users[0]), os.path.join(users[0], "Documents")
    if os.path.islink(documents):
        os.remove(documents)
    os.makedirs(documents, exist_ok=True)
    templates = os.path.join(documents, "kestrovas")
    win_templates = "C:\\users\\%s\\Documents\\kestrovas" % user

    log = os.path.join(work, "hostsim.log")
    os.environ["HOSTSIM_LOG"] = winpath(log)
    service = Service(kvservice, data, work, log_encoding="utf-8")
    peer = Peer()
    try:
        def use_service(port):
            rc, _ = wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d",
                         "127.0.0.1:%d" % port, "/f", "/reg:64")
            return rc == 0

        check(use_service(service.port), "service setting points at kvservice")
        check(wine("regsvr32", "/s", winpath(dll))[0] == 0, "regsvr32 KestrovaSE.dll")
        check(wine("hostsim.exe", "/RegServer", cwd=os.path.dirname(hostsim))[0] == 0,
              "hostsim.exe registered as the hosts' local servers")

        def log_lines():
            return open(log, encoding="utf-8", errors="replace").read().splitlines() if os.path.exists(log) else []

        def run(*steps):
            opened_before = len(hostsim_opens(log))
            run.lines_before = len(log_lines())
            targets_before = len(service.raw_targets())
            rc, out = wine(driver, "--width", "300", "--height", "700", "--out", winpath(work), *steps, timeout=180)
            sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
            check(rc == 0, "driver ran %s (exit %d)" % (" ".join(steps), rc))
            return hostsim_opens(log)[opened_before:], service.raw_targets()[targets_before:]

        # The last process to unload the library empties the templates folder of what is still
        # as downloaded: one pane holds it for the whole test, so the files can be looked at.
        holder_out = os.path.join(work, "holder.out")
        with open(holder_out, "wb") as f:
            holder = subprocess.Popen(["wine", driver, "--width", "300", "--height", "300", "--out", winpath(work),
                                       "--wait", "hold"], stdout=f, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        deadline = time.time() + 60
        while "created_ms" not in open(holder_out, errors="replace").read() and time.time() < deadline:
            time.sleep(0.1)
        check("created_ms" in open(holder_out, errors="replace").read(), "a pane holds the library meanwhile")

        def served(source):
            return open(os.path.join(data, "files", source), "rb").read()

        def content(name):
            p = os.path.join(templates, name)
            return open(p, "rb").read() if os.path.isfile(p) else None

        # Daily picks of kvservice: 259 is 이력서_기본형.doc (t101), 261 견적서.xls (t201). After the
        # template's own open, a document-name call runs a plain search; the next one searches by name.
        resume, quote = "이력서_기본형.doc", "견적서.xls"
        opens, targets = run("--search", "", "--click", "259", "--file", resume, "--file", "견적서_2013.doc",
                             "--click", "261", "--click", "259")
        check(in_order(log_lines()[run.lines_before:],
                       [r"^host start Word .*\(embedding\)", r"^host<- Application\.Visible \[put\] (1|true) = S_OK",
                        r"^host<- Documents\.Open", r"^host start Excel .*\(embedding\)",
                        r"^host<- Application\.Visible \[put\] (1|true) = S_OK", r"^host<- Workbooks\.Open"]),
              "COM started the word processor, then the spreadsheet host, as local servers, each made visible "
              "before its Open")
        check(content(resume) == served("t101.doc"), "%s in Documents\\kestrovas, byte for byte the served file" % resume)
        check(("Documents", win_templates + "\\" + resume, "S_OK") in opens,
              "the word processor opened it: %s" % opens)
        by_name = [t for t in targets if b"logtype=cfilename" in t]
        check(len(by_name) == 2 and all(t.endswith(b"keyword=" + "견적서".encode("cp949")) for t in by_name),
              "only the user's own document was searched by name (free and member list): %s" % by_name)
        # The spreadsheet's COM request met the pane's own apartment and left it standing: the
        # word processor is still created afterwards.
        check([c for c, _, _ in opens] == ["Documents", "Workbooks", "Documents"],
              "after the spreadsheet's open, COM on the pane's thread still works (the next open reached "
              "the word processor)")
        check(content(quote) == served("t201.xls"), "%s downloaded byte for byte" % quote)
        check(("Workbooks", win_templates + "\\" + quote, "S_OK") in opens,
              "the .xls entry of a Word pane opened in the spreadsheet host, started as a local server")

        # The user edits and saves the workbook; both entries are clicked again. The unchanged
        # document is replaced and opened again; the edited workbook stays and the new copy opens
        # under a free name.
        if os.path.isfile(os.path.join(templates, quote)):
            with open(os.path.join(templates, quote), "ab") as f:
                f.write(b"user's edit")
        opens, _ = run("--search", "", "--click", "259", "--click", "261")
        check(content(quote) == served("t201.xls") + b"user's edit", "the user's edit of %s is kept" % quote)
        check(content("견적서 (2).xls") == served("t201.xls"), "the new download is 견적서 (2).xls")
        check(("Workbooks", win_templates + "\\견적서 (2).xls", "S_OK") in opens, "견적서 (2).xls opened")
        check(("Documents", win_templates + "\\" + resume, "S_OK") in opens and
              not os.path.exists(os.path.join(templates, "이력서_기본형 (2).doc")),
              "the unchanged document was replaced in place and opened again")

        # Hostile names from the scripted peer: each lands as a plain file of the folder.
        check(use_service(peer.port), "service setting points at the scripted peer")
        hostile = [("2013/견적서.doc", "2013_견적서.doc"), ("..\\..\\escape.doc", ".._.._escape.doc"),
                   ("C:\\Windows\\evil.doc", "C__Windows_evil.doc"), ("CON.doc", "_CON.doc"), ("nul", "_nul"),
                   ("COM1.xls", "_COM1.xls"), ("LPT9.doc", "_LPT9.doc"), ('quote".doc', "quote_.doc"),
                   ("trail.doc. ", "trail.doc__"), ("", "template"), ("..", "__"), ("tab\tname.doc", "tab_name.doc"),
                   ("kestrova_downloads.txt", "_kestrova_downloads.txt"), (".", "_"), ("*?<>|:.ppt", "______.ppt")]
        expected = {resume, quote, "견적서 (2).xls", "kestrova_downloads.txt"}
        for first in range(0, len(hostile), 3):  # three daily picks a list
            entries = hostile[first:first + 3]
            peer.entries = [(name, ("file %d " % (first + k)).encode() + bytes(range(256)), False)
                            for k, (name, _) in enumerate(entries)]
            opens, _ = run("--search", "", "--click", "259", "--click", "260", "--click", "261")
            for k, (name, clean) in enumerate(entries):
                expected.add(clean)
                check(content(clean) == peer.entries[k][1] and (win_templates + "\\" + clean, "S_OK") in
                      [(p, r) for _, p, r in opens], "%r landed as %r and was opened from there" % (name, clean))
        check(listing(documents) == {"kestrovas/"} | {"kestrovas/" + e for e in expected},
              "Documents holds only the templates folder, and it only the expected plain files: %s"
              % sorted(listing(documents) ^ ({"kestrovas/"} | {"kestrovas/" + e for e in expected})))
        check(not glob.glob(os.path.join(prefix, "drive_c/**/escape.doc"), recursive=True) and
              not os.path.exists(os.path.join(prefix, "drive_c/windows/evil.doc")), "nothing landed outside it")

        # A download cut short: no file, no temporary, nothing opened; an entry that downloads in
        # full beside it still opens.
        peer.entries = [("잘림.doc", b"x" * 20000, True), ("온전.doc", b"y" * 20000, False)]
        before = listing(templates)
        opens, _ = run("--search", "", "--click", "259", "--click", "260")
        check(listing(templates) - before == {"온전.doc"}, "the cut download left nothing: %s"
              % sorted(listing(templates) - before))
        check(not any("잘림" in p for _, p, _ in opens) and
              any(p.endswith("\\온전.doc") for _, p, _ in opens), "nothing was opened for it: %s" % opens)
        # With the holder gone, the clean-up keeps only the user's edited file.
        open(os.path.join(work, "hold.done"), "w").close()
        holder.wait(timeout=60)
        left = listing(templates) - {"kestrova_downloads.txt"}
        check(left == {quote} and content(quote).endswith(b"user's edit"),
              "at the last unload only the edited download stayed: %s" % sorted(left))

        # In a word processor that runs the add-in, the window of the template the pane opened
        # gets a pane that does not search by the template's name; the user's next document is.
        # The running word processor quits first, so COM starts one that loads the add-in. The
        # 64-bit script host: under the qemu-i386 emulator a 32-bit COM client whose server quits
        # can crash in the failed release and hang the step.
        quit_js = os.path.join(work, "quit.js")
        with open(quit_js, "w") as f:
            f.write('new ActiveXObject("Word.Application").Quit();\n')
        wine("cscript.exe", "//nologo", winpath(quit_js))
        check(use_service(service.port) and wine("reg", "add", "HKCU\\Software\\Microsoft\\Office\\Word\\Addins\\"
                                                "Tarnwick.Connect", "/v", "LoadBehavior", "/t", "REG_DWORD", "/d",
                                                "3", "/f")[0] == 0, "the add-in loads in the word processor")
        opens, targets = run("--search", "", "--click", "259", "--file", "견적서_2013.doc")
        event = [l for l in log_lines()[run.lines_before:] if l.startswith("event DocumentOpen") and resume in l]
        check(len(event) == 1 and "sinks=1" in event[0], "the add-in's sink got the template's open: %s" % event)
        by_name = [t for t in targets if b"logtype=cfilename" in t]
        check(len(by_name) == 2 and all(t.endswith(b"keyword=" + "견적서".encode("cp949")) for t in by_name),
              "the new window's pane did not search by the template's name, the next document was: %s" % by_name)
    finally:
        service.stop()
        peer.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
