#!/usr/bin/env python3
"""Registers KestrovaSE.dll with regsvr32 in the Wine prefix that wine-run.sh --shell prepared,
with the "service" setting pointing at a service on a loopback port, and checks the registry,
the identity and the install and uninstall reports that reach the service.

The service is kvservice when it is built and its data folder exists; otherwise a small
stand-in here that records request heads. Both logs are read as one JSON object a line
("method", "target", "headers")."""
import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

VERSION = "0.9.96.6"
DEFAULT_CODE = "kv5830146927713"
UUID_RE = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return ok


class StandInService:
    """Accepts connections on a loopback port and logs each request head."""

    def __init__(self, log_path):
        self.log_path = log_path
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(16)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.stopping = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            with conn:
                conn.settimeout(3)
                data = b""
                try:
                    while b"\r\n\r\n" not in data and len(data) < 65536:
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        data += chunk
                except OSError:
                    pass
                head = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
                lines = head.split("\r\n")
                parts = lines[0].split(" ")
                entry = {
                    "method": parts[0] if parts else "",
                    "target": parts[1] if len(parts) > 1 else "",
                    "version": parts[2] if len(parts) > 2 else "",
                    "headers": [l.split(": ", 1) if ": " in l else [l, ""] for l in lines[1:]],
                }
                with open(self.log_path, "a") as log:
                    log.write(json.dumps(entry) + "\n")
                try:
                    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                except OSError:
                    pass

    def stop(self):
        self.stopping = True
        self.thread.join(5)
        self.sock.close()


def start_kvservice(binary, data, log_path):
    proc = subprocess.Popen([binary, "--port", "0", "--data", data, "--log", log_path],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    deadline = time.time() + 10
    while time.time() < deadline:
        line = proc.stdout.readline()
        if not line:
            break
        m = re.search(r"listening on [0-9.]+:(\d+)", line)
        if m:
            return proc, int(m.group(1))
    proc.kill()
    proc.wait()
    return None, 0


def requests(log_path):
    if not os.path.exists(log_path):
        return []
    out = []
    with open(log_path, encoding="latin-1") as log:
        for line in log:
            try:
                out.append(json.loads(line))
            except ValueError:
                pass
    return out


def wait_for_target(log_path, target, count=1, timeout=10):
    deadline = time.time() + timeout
    while True:
        hits = [r for r in requests(log_path) if r.get("target") == target]
        if len(hits) >= count or time.time() > deadline:
            return hits
        time.sleep(0.2)


def header(request, name):
    for pair in request.get("headers", []):
        if len(pair) == 2 and pair[0].lower() == name.lower():
            return pair[1]
    return None


def wine(*args, timeout=90):
    result = subprocess.run(["wine", *args], capture_output=True, text=True, errors="replace", timeout=timeout)
    return result.returncode, result.stdout


def checker(exe_dir, *args):
    rc, out = wine(os.path.join(exe_dir, "registration_check.exe"), *args)
    sys.stdout.write(out)
    check(rc == 0, "registration_check %s: %d failed checks" % (" ".join(args), rc))
    m = re.search(r"^pid=(.*)$", out, re.M)
    return m.group(1).strip() if m else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dll", required=True)
    ap.add_argument("--check", required=True)
    ap.add_argument("--kvservice")
    ap.add_argument("--data")
    a = ap.parse_args()

    prefix = os.environ["WINEPREFIX"]
    work = tempfile.mkdtemp(prefix="kvreg-")
    log_path = os.path.join(work, "requests.log")
    # The library in a folder of its own, as an installer would place it.
    folder_name = "kvlib"
    dll_dir = os.path.join(prefix, "drive_c", folder_name)
    os.makedirs(dll_dir, exist_ok=True)
    shutil.copy(a.dll, os.path.join(dll_dir, "KestrovaSE.dll"))
    dll_win = "C:\\" + folder_name + "\\KestrovaSE.dll"
    check_dir = os.path.join(prefix, "drive_c", "kvcheck")
    os.makedirs(check_dir, exist_ok=True)
    shutil.copy(a.check, os.path.join(check_dir, "registration_check.exe"))
    check_win = "C:\\kvcheck"

    proc = None
    stand_in = None
    if a.kvservice and a.data and os.path.exists(a.kvservice) and os.path.isdir(a.data):
        proc, port = start_kvservice(a.kvservice, a.data, log_path)
    if proc is None:
        stand_in = StandInService(log_path)
        port = stand_in.port
    print("service on port %d (%s)" % (port, "kvservice" if proc else "stand-in"), flush=True)

    try:
        # An unreachable service changes nothing in the outcome of registration.
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))
        closed_port = closed.getsockname()[1]
        closed.close()
        checker(check_win, "service", "127.0.0.1:%d" % closed_port)
        started = time.time()
        rc, _ = wine("regsvr32", "/s", dll_win)
        check(rc == 0, "regsvr32 /s with the service unreachable returned %d" % rc)
        print("registration with the service unreachable took %.1f s" % (time.time() - started), flush=True)
        checker(check_win, "registered", dll_win)
        rc, _ = wine("regsvr32", "/u", "/s", dll_win)
        check(rc == 0, "regsvr32 /u /s with the service unreachable returned %d" % rc)

        checker(check_win, "service", "127.0.0.1:%d" % port)

        # First registration: every entry, a new identifier, the install report.
        rc, _ = wine("regsvr32", "/s", dll_win)
        check(rc == 0, "regsvr32 /s returned %d" % rc)
        pid1 = checker(check_win, "registered", dll_win)
        checker(check_win, "typelib")
        checker(check_win, "exports", dll_win)
        check(pid1 is not None and UUID_RE.match(pid1) is not None, "pid %r is a braced upper-case UUID" % pid1)
        install1 = "/k_app/DataLog.asp?logtype=install&PID=%s&code=%s&version=%s" % (pid1, DEFAULT_CODE, VERSION)
        hits = wait_for_target(log_path, install1)
        if check(len(hits) == 1, "install report %s reached the service" % install1):
            check(header(hits[0], "User-Agent") == "test", "install report's user agent is 'test'")
            check(hits[0].get("method") == "GET", "install report is a GET")

        # Second registration with an installer's code of exactly 15 characters; the class key
        # is rewritten from scratch, so a leftover subkey goes.
        checker(check_win, "code", "kvTEST123456789")
        checker(check_win, "plant-stale")
        rc, _ = wine("regsvr32", "/s", dll_win)
        check(rc == 0, "second regsvr32 /s returned %d" % rc)
        pid2 = checker(check_win, "registered", dll_win)
        check(pid2 is not None and UUID_RE.match(pid2) is not None, "second pid %r is a UUID" % pid2)
        check(pid1 != pid2, "registering twice gives two identifiers (%s, %s)" % (pid1, pid2))
        install2 = "/k_app/DataLog.asp?logtype=install&PID=%s&code=kvTEST123456789&version=%s" % (pid2, VERSION)
        check(len(wait_for_target(log_path, install2)) == 1, "second install report %s" % install2)

        # Unregistration reports the stored identifier and removes the classes, keeping the settings.
        rc, _ = wine("regsvr32", "/u", "/s", dll_win)
        check(rc == 0, "regsvr32 /u /s returned %d" % rc)
        kept = checker(check_win, "unregistered")
        check(kept == pid2, "settings key keeps pid after unregistration (%r)" % kept)
        uninstall = "/k_app/DataLog.asp?logtype=uninstall&PID=%s&version=%s" % (pid2, VERSION)
        hits = wait_for_target(log_path, uninstall)
        if check(len(hits) == 1, "uninstall report %s" % uninstall):
            check(header(hits[0], "User-Agent") == "test", "uninstall report's user agent is 'test'")

        # Without a stored identifier the report carries an empty PID; unregistering what is
        # already unregistered succeeds.
        checker(check_win, "forget-pid")
        rc, _ = wine("regsvr32", "/u", "/s", dll_win)
        check(rc == 0, "regsvr32 /u /s without registration returned %d" % rc)
        empty = "/k_app/DataLog.asp?logtype=uninstall&PID=&version=%s" % VERSION
        check(len(wait_for_target(log_path, empty)) == 1, "uninstall report %s" % empty)
        checker(check_win, "unregistered")

        reports = [r.get("target") for r in requests(log_path) if "DataLog.asp" in r.get("target", "")]
        check(len(reports) == 4, "exactly four reports: %r" % reports)
    finally:
        if stand_in:
            stand_in.stop()
        if proc:
            proc.terminate()
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        print("requests received:")
        for r in requests(log_path):
            print("  ", r.get("method"), r.get("target"))
        shutil.rmtree(work, ignore_errors=True)

    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("registration: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
