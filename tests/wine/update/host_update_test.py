#!/usr/bin/env python3
"""The self-update on its real path under Wine: hostsim.exe (the word processor) loads a
registered copy of KestrovaSE.dll from a library folder of its own, the add-in's start-up check
asks the service for the version through the pane's control, the replacement downloads through
set_DownloadDll, and at the host's end its add-in object, when it is the last host's, cleans
the templates folder and starts KVUpdater.exe from the library folder. A host of version 11 never checks,
and a document opened in the word processor never checks again.

The running library is the build's library signed by another key (the same code, so its check
accepts only the build's key, and its bytes differ from the download); the download is the
build's signed library.

Two hosts on an older system, with a stand-in updater that notes each start and how far the
starting host's log had come: the updater starts once, from the add-in object of the host
that ends last while it shuts down (not from the library's unload, under the loader lock),
and neither host's exit waits on it.

Runs inside the prefix that wine-run.sh --shell prepared.
  host_update_test.py HOSTSIM_EXE KESTROVASE_DLL KVUPDATER_EXE FIXTURES NATIVE_OUT SOURCE_DIR STANDIN_EXE
"""
import contextlib
import hashlib
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import kvwine  # noqa: E402
from kvwine import check, failures, i386_bound, wait_for, wine, winpath  # noqa: E402

TRAILER = 72  # r | s | "KvSig256" after the signed bytes


def without_authenticode(data):
    """The library as its trailer signs it: the shipped file is Authenticode-signed over the
    trailer, so its certificate table (and the zero padding before it) ends the file; here that
    table is cut off and its directory entry cleared, leaving the image and the trailer last."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    entry = optional + (112 if magic == 0x20B else 96) + 4 * 8  # the certificate table's
    at, size = struct.unpack_from("<II", data, entry)
    if not size or at + size != len(data):
        return data
    body = data[:at].rstrip(b"\0")  # the trailer's magic ends in a non-zero byte
    return body[:entry] + bytes(8) + body[entry + 8:]


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Service(kvwine.Service):
    """kvservice with the version text and the library it announces; its request log."""

    def __init__(self, binary, data, work, version, newlib):
        super().__init__(binary, data, work, "--version", version, "--newlib", newlib,
                         log="service%d.log" % time.time_ns())

    def requests(self):
        """(target bytes, user agent) of every request so far."""
        return super().requests("user-agent", "", hex_target="bytes")

    def count(self, part):
        return sum(1 for t, _ in self.requests() if part in t)


class CutPeer:
    """Announces another version and cuts the library's reply off in the middle of its body."""

    def __init__(self, library):
        self.library = library
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.address = "127.0.0.1:%d" % self.sock.getsockname()[1]
        self.cut = 0
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with conn:
                conn.settimeout(5)
                head = b""
                try:
                    while b"\r\n\r\n" not in head and len(head) < 65536:
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        head += chunk
                    target = head.split(b" ")[1] if head.count(b" ") >= 2 else b""
                    if b"kestrovase_version.ini" in target:
                        body = b"0.9.97.1"
                        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
                    elif b"KestrovaSE_new.dll" in target:
                        self.cut += 1
                        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(self.library))
                        conn.sendall(self.library[:len(self.library) // 2])
                    else:
                        conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                except OSError:
                    pass

    def stop(self):
        self.sock.close()


class Setup:
    def __init__(self, hostsim, built, updater, fixtures, work):
        self.hostsim, self.built, self.updater, self.work = hostsim, built, updater, work
        self.built_bytes = read(built)
        self.running_bytes = read(os.path.join(fixtures, "KestrovaSE_otherkey.dll"))
        self.runs = 0

    def library_folder(self, name, service):
        """A library folder with the running library and the updater, registered for Word."""
        folder = os.path.join(self.work, name)
        os.makedirs(folder)
        with open(os.path.join(folder, "KestrovaSE.dll"), "wb") as f:
            f.write(self.running_bytes)
        shutil.copy(self.updater, os.path.join(folder, "KVUpdater.exe"))
        rc, _ = wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d", service, "/f",
                     "/reg:64")
        check(rc == 0, "%s: service setting" % name)
        rc, _ = wine("regsvr32", "/s", winpath(os.path.join(folder, "KestrovaSE.dll")))
        check(rc == 0, "%s: regsvr32 of the running library" % name)
        return folder

    def host(self, steps, background=False, version="16.0"):
        """hostsim as the word processor with steps; (rc, log lines) or (proc, log). Its log's
        Windows path is KV_HOST_LOG in its environment, which an updater it starts inherits."""
        self.runs += 1
        script = os.path.join(self.work, "script%d.txt" % self.runs)
        with open(script, "w", encoding="utf-8") as f:
            f.write("\n".join(steps) + "\n")
        log = os.path.join(self.work, "host%d.log" % self.runs)
        out = open(log, "wb")
        env = dict(os.environ, KV_HOST_LOG=winpath(log))
        proc = subprocess.Popen(["wine", self.hostsim, "--app", "word", "--version", version, "--script",
                                 winpath(script)], stdout=out, stderr=subprocess.DEVNULL,
                                cwd=os.path.dirname(self.hostsim), env=env)
        if background:
            return proc, log
        rc = proc.wait(timeout=180)
        out.close()
        return rc, lines(log)

    def loads(self, name):
        """A fresh host loads the library of the current registration and connects it."""
        rc, log = self.host(["quit"])
        ok = rc == 0 and any("OnConnection(" in l and "= S_OK" in l for l in log)
        return check(ok, "%s: the library in place loads and connects in a new host" % name)


def lines(log):
    return open(log, encoding="utf-8", errors="replace").read().splitlines()


def names(folder):
    return sorted(os.listdir(folder))


def case_equal(s, service_bin, data):
    svc = Service(service_bin, data, s.work, "0.9.96.6", s.built)
    try:
        folder = s.library_folder("equal", svc.address)
        document = os.path.join(s.work, "보고서.docx")
        with open(document, "w") as f:
            f.write("sample\n")
        # Word's document-open event has the dispatch id of OnStartupComplete: it never checks.
        rc, log = s.host(["open " + winpath(document), "sleep 1000", "quit"])
        check(rc == 0 and any("OnStartupComplete" in l and "S_OK" in l for l in log)
              and any("DocumentOpen" in l for l in log), "equal: host ran and opened a document")
        check(svc.count(b"kestrovase_version.ini") == 1, "equal: the version was asked once, not again at the open")
        check(svc.count(b"KestrovaSE_new.dll") == 0 and svc.count(b"logtype=update") == 0,
              "equal: no update log, no download")
        check(read(os.path.join(folder, "KestrovaSE.dll")) == s.running_bytes
              and names(folder) == ["KVUpdater.exe", "KestrovaSE.dll"], "equal: the library folder unchanged")
    finally:
        svc.stop()


def case_version_11(s, service_bin, data):
    svc = Service(service_bin, data, s.work, "0.9.97.1", s.built)
    try:
        folder = s.library_folder("version-11", svc.address)
        rc, _ = s.host(["quit"], version="11.0")
        check(rc == 0 and svc.count(b"kestrovase_version.ini") == 0 and svc.count(b"KestrovaSE_new.dll") == 0,
              "host version 11: no check, no download")
        check(read(os.path.join(folder, "KestrovaSE.dll")) == s.running_bytes
              and names(folder) == ["KVUpdater.exe", "KestrovaSE.dll"], "host version 11: the library folder unchanged")
    finally:
        svc.stop()


def case_line_end(s, service_bin, data):
    """Newer system: the new signed library takes the name while the old image is loaded."""
    svc = Service(service_bin, data, s.work, "0.9.96.6\n", s.built)
    try:
        folder = s.library_folder("line-end", svc.address)
        proc, log = s.host(["echo ready", "sleep 5000", "quit"], background=True)
        wait_for(lambda: any("echo ready" in l for l in lines(log)), 60)
        # The host still holds the old image, now under the previous-library name.
        check(proc.poll() is None, "line end: the host still runs during the check")
        check(read(os.path.join(folder, "KestrovaSE.dll")) == s.built_bytes,
              "line end: KestrovaSE.dll is the new signed library")
        check(read(os.path.join(folder, "KestrovaSE.dll_old")) == s.running_bytes,
              "line end: KestrovaSE.dll_old is the old one")
        check(names(folder) == ["KVUpdater.exe", "KestrovaSE.dll", "KestrovaSE.dll_old"], "line end: nothing else")
        updates = [(t, a) for t, a in svc.requests() if b"logtype=update" in t]
        check(len(updates) == 1 and updates[0][1] == "kestrova", "line end: one update log, User-Agent kestrova")
        check(updates and b"new_version=0.9.96.6" in updates[0][0]
              and not any(b < 0x21 or b == 0x7f for b in updates[0][0]),
              "line end: the version's line end never raw in the request line (%r)" % (updates[0][0][:90] if updates else b""))
        check(proc.wait(timeout=120) == 0, "line end: host ended")
        # Replaced in place: the last host's end does not start the updater.
        time.sleep(2)
        check(names(folder) == ["KVUpdater.exe", "KestrovaSE.dll", "KestrovaSE.dll_old"],
              "line end: the updater did not run at the unload")
        s.loads("line end")
    finally:
        svc.stop()


def case_refused(s, service_bin, data, fixtures):
    built = s.built_bytes
    image = without_authenticode(built)
    check(image != built and image.endswith(b"KvSig256"), "refused: the shipped library's trailer under its Authenticode table")
    bad = {
        "unsigned": image[:-TRAILER],
        "signed by another key": s.running_bytes,
        "one byte changed": built[:len(built) // 2] + bytes([built[len(built) // 2] ^ 0x20]) + built[len(built) // 2 + 1:],
        "a valid signature over a different file": image[:-TRAILER] + read(os.path.join(fixtures, "signed_program.exe"))[-TRAILER:],
        "signed, but not a DLL": read(os.path.join(fixtures, "signed_program.exe")),
    }
    runs = [(name, body) for name, body in bad.items()] + [("truncated download", None), ("service unreachable", None)]
    for i, (name, body) in enumerate(runs):
        svc = peer = None
        try:
            if body is not None:
                path = os.path.join(s.work, "bad%d.dll" % i)
                with open(path, "wb") as f:
                    f.write(body)
                svc = Service(service_bin, data, s.work, "0.9.97.1", path)
                address = svc.address
            elif name == "truncated download":
                peer = CutPeer(built)
                address = peer.address
            else:
                probe = socket.socket()
                probe.bind(("127.0.0.1", 0))
                address = "127.0.0.1:%d" % probe.getsockname()[1]
                probe.close()  # nothing listens there now
            folder = s.library_folder("refused%d" % i, address)
            rc, _ = s.host(["quit"])
            check(rc == 0, "%s: host ran" % name)
            if svc:
                check(svc.count(b"KestrovaSE_new.dll") == 1, "%s: downloaded once" % name)
            if peer:
                check(peer.cut == 1, "%s: the reply was cut once" % name)
            check(read(os.path.join(folder, "KestrovaSE.dll")) == s.running_bytes
                  and names(folder) == ["KVUpdater.exe", "KestrovaSE.dll"],
                  "%s: refused, the library intact and nothing left beside it" % name)
            if svc:
                svc.stop()
            svc = Service(service_bin, data, s.work, "0.9.96.6", s.built)
            wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d", svc.address, "/f",
                 "/reg:64")
            s.loads(name)
        finally:
            if svc:
                svc.stop()
            if peer:
                peer.stop()


def case_together(s, service_bin, data):
    svc = Service(service_bin, data, s.work, "0.9.97.1", s.built)
    try:
        folder = s.library_folder("together", svc.address)
        hosts = [s.host(["echo ready", "sleep 2000", "quit"], background=True) for _ in range(2)]
        codes = [p.wait(timeout=180) for p, _ in hosts]
        check(codes == [0, 0], "two hosts together: both ran (%s)" % codes)
        check(svc.count(b"KestrovaSE_new.dll") == 1, "two hosts together: one download (%d)" %
              svc.count(b"KestrovaSE_new.dll"))
        check(read(os.path.join(folder, "KestrovaSE.dll")) == s.built_bytes
              and read(os.path.join(folder, "KestrovaSE.dll_old")) == s.running_bytes,
              "two hosts together: replaced once")
    finally:
        svc.stop()


def documents_folder():
    rc, out = wine("cmd", "/c", "echo", "%USERPROFILE%")
    profile = out.strip().splitlines()[-1].strip() if rc == 0 and out.strip() else ""
    r = subprocess.run(["winepath", "-u", profile + "\\Documents"], capture_output=True, text=True)
    return r.stdout.strip()


@contextlib.contextmanager
def older_system(s, service_bin, data, name):
    """kvservice announcing another version, and hostsim told it runs on an older system
    (winxp64), so the new library is left beside the library for the updater; yields the
    service and the registry key of that setting."""
    svc = Service(service_bin, data, s.work, "0.9.97.1", s.built)
    key = "HKCU\\Software\\Wine\\AppDefaults\\" + os.path.basename(s.hostsim)
    try:
        rc, _ = wine("reg", "add", key, "/v", "Version", "/d", "winxp64", "/f")
        check(rc == 0, "%s: winxp64 for hostsim" % name)
        yield svc, key
    finally:
        wine("reg", "delete", key, "/f")
        svc.stop()


def case_older_system(s, service_bin, data):
    """winxp64 for hostsim: "_new" waits; the end of the last of two hosts cleans up and starts the updater."""
    with older_system(s, service_bin, data, "older system") as (svc, key):
        folder = s.library_folder("older", svc.address)
        documents = documents_folder()
        check(os.path.isdir(documents), "older system: the documents folder %s" % documents)
        templates = os.path.join(documents, "kestrovas")
        os.makedirs(templates, exist_ok=True)
        unchanged, edited = "이력서.hwp", "견적서.xlsx"
        record = ""
        for name, content in ((unchanged, b"template one"), (edited, b"template two")):
            with open(os.path.join(templates, name), "wb") as f:
                f.write(content)
            record += "%s %d %s\n" % (hashlib.sha256(content).hexdigest(), len(content), name)
        with open(os.path.join(templates, "kestrova_downloads.txt"), "w", encoding="utf-8") as f:
            f.write(record)
        with open(os.path.join(templates, edited), "wb") as f:
            f.write(b"template two, edited by the user")

        first, first_log = s.host(["echo ready", "sleep 20000", "quit"], background=True)
        check(wait_for(lambda: any("echo ready" in l for l in lines(first_log)), 60), "older system: first host up")
        new = os.path.join(folder, "KestrovaSE_new.dll")
        check(os.path.exists(new) and read(new) == s.built_bytes, "older system: KestrovaSE_new.dll waits beside")
        check(read(os.path.join(folder, "KestrovaSE.dll")) == s.running_bytes, "older system: the library untouched")
        rc, _ = s.host(["quit"])
        check(rc == 0 and svc.count(b"KestrovaSE_new.dll") == 1, "older system: the second host ran, no download")
        time.sleep(1)
        check(os.path.exists(new) and os.path.exists(os.path.join(templates, unchanged)),
              "older system: a host still holds the library: no clean-up, no updater")
        check(first.wait(timeout=120) == 0, "older system: the last host ended")
        check(wait_for(lambda: not os.path.exists(new), i386_bound(40)), "older system: the updater swapped the files")
        check(read(os.path.join(folder, "KestrovaSE.dll")) == s.built_bytes
              and read(os.path.join(folder, "KestrovaSE.dll_old")) == s.running_bytes,
              "older system: KestrovaSE.dll the new library, .dll_old the old one")
        check(not os.path.exists(os.path.join(templates, unchanged)), "clean-up: the unchanged download deleted")
        check(os.path.exists(os.path.join(templates, edited)) and
              read(os.path.join(templates, edited)) == b"template two, edited by the user",
              "clean-up: the edited template kept")
        wine("reg", "delete", key, "/f")
        s.loads("older system")


def updater_notes(folder):
    """The stand-in updater's notes: [(host log lines by then, last line)] of its starts, and
    how many runs ended."""
    path = os.path.join(folder, "updater_starts.txt")
    if not os.path.exists(path):
        return [], 0
    starts, ends = [], 0
    for line in open(path, encoding="utf-8", errors="replace").read().splitlines():
        if line.startswith("start "):
            count, _, last = line[len("start "):].partition(" ")
            starts.append((int(count), last))
        elif line == "end":
            ends += 1
    return starts, ends


def case_last_host(s, service_bin, data, standin):
    """Older system, two hosts, the one started first ends last; the stand-in updater notes its
    starts."""
    with older_system(s, service_bin, data, "last host") as (svc, _):
        folder = s.library_folder("last-host", svc.address)
        shutil.copy(standin, os.path.join(folder, "KVUpdater.exe"))

        last, last_log = s.host(["echo ready", "sleep 15000", "quit"], background=True)
        check(wait_for(lambda: any("echo ready" in l for l in lines(last_log)), 90), "last host: first host up")
        check(os.path.exists(os.path.join(folder, "KestrovaSE_new.dll")), "last host: KestrovaSE_new.dll waits beside")
        rc, _ = s.host(["quit"])
        check(rc == 0, "last host: the second host ran and ended")
        time.sleep(2)
        check(updater_notes(folder)[0] == [], "last host: no updater at the end of a host while another runs")

        check(last.wait(timeout=180) == 0, "last host: the first host ended last")
        starts, ends = updater_notes(folder)
        check(len(starts) == 1, "last host: the updater started once (%s)" % starts)
        check(ends == 0, "last host: the host ended while the updater still runs: its exit did not wait on it")
        log = lines(last_log)
        if starts:
            count, at = starts[0]
            before = log[:count]
            # Started by the add-in object while the host shuts down, never from the library's
            # unload after the host's own end.
            check(count > 0 and any("shutting down" in l for l in before)
                  and not any(l.startswith("host exit") for l in before),
                  "last host: started from the add-in's shut-down, the host's log then ending %r" % at)
        time.sleep(1)
        check(len(updater_notes(folder)[0]) == 1, "last host: still one start after the unload")
        wait_for(lambda: updater_notes(folder)[1] >= 1, 40)


def main():
    hostsim, built, updater, fixtures, native_out, src, standin = (os.path.abspath(a) for a in sys.argv[1:8])
    service_bin = os.path.join(native_out, "kvservice")
    data = os.path.join(src, "tools/kvservice/data")
    work = tempfile.mkdtemp(prefix="kvhostupdate.", dir=os.environ.get("WINEPREFIX"))
    rc, _ = wine("reg", "add", "HKCU\\Software\\Microsoft\\Office\\Word\\Addins\\Tarnwick.Connect", "/v",
                 "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")
    check(rc == 0, "setup: Tarnwick.Connect listed for Word")
    s = Setup(hostsim, built, updater, fixtures, work)
    check(s.running_bytes != s.built_bytes and len(s.built_bytes) > 100000, "setup: the fixtures")
    only = os.environ.get("KV_CASES", "equal,version-11,line-end,refused,together,older,last-host").split(",")
    try:
        if "equal" in only:
            case_equal(s, service_bin, data)
        if "version-11" in only:
            case_version_11(s, service_bin, data)
        if "line-end" in only:
            case_line_end(s, service_bin, data)
        if "refused" in only:
            case_refused(s, service_bin, data, fixtures)
        if "together" in only:
            case_together(s, service_bin, data)
        if "older" in only:
            case_older_system(s, service_bin, data)
        if "last-host" in only:
            case_last_host(s, service_bin, data, standin)
        if failures:
            for i in range(1, s.runs + 1):
                print("--- hostsim log %d" % i)
                print(open(os.path.join(work, "host%d.log" % i), encoding="utf-8", errors="replace").read()[-3000:])
    finally:
        if not os.environ.get("KV_KEEP_WORK"):
            shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
