"""Helpers the Wine test drivers share: checks, Wine paths and runs, and a kvservice with its log.

A driver imports it from its own folder:
  sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
"""
import json
import os
import subprocess
import tempfile
import threading
import time

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# How long a 32-bit Wine program takes to start here (wine-run.sh measures it once): on a kernel
# that runs no 32-bit code the program runs in an emulator and starts many times slower.
I386_START = float(os.environ.get("KV_I386_START") or 0)


def i386_bound(seconds, starts=1):
    """A time limit for work that starts `starts` 32-bit programs: `seconds` on top of their start-up."""
    return seconds + starts * I386_START


def wine(*args, timeout=120, cwd=None, encoding="utf-8", with_stderr=False, detached=False):
    """(exit code, stdout text[, stderr text]) of one Wine command.

    detached: output goes through a file and stdin is closed, for commands that start a COM server
    which inherits the handles and outlives the call (a pipe would then never reach its end)."""
    if detached:
        with tempfile.TemporaryFile() as out:
            rc = subprocess.run(["wine", *args], stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                timeout=timeout, cwd=cwd).returncode
            out.seek(0)
            return rc, out.read().decode(encoding, "replace")
    r = subprocess.run(["wine", *args], capture_output=True, timeout=timeout, cwd=cwd)
    if with_stderr:
        return r.returncode, r.stdout.decode(encoding, "replace"), r.stderr.decode(encoding, "replace")
    return r.returncode, r.stdout.decode(encoding, "replace")


def wait_for(done, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if done():
            return True
        time.sleep(0.2)
    return done()


class Shooter(threading.Thread):
    """Takes a screenshot whenever a driver announces NAME.ready in WORK, cropped to the rectangle the
    file holds (w h x y; the whole screen without one), then answers with NAME.done."""

    def __init__(self, work, screens):
        super().__init__(daemon=True)
        self.work, self.screens, self.stopped = work, screens, False

    def run(self):
        while not self.stopped:
            for name in os.listdir(self.work):
                if not name.endswith(".ready"):
                    continue
                base = name[:-6]
                try:
                    w, h, x, y = open(os.path.join(self.work, name)).read().split()
                    crop = ["-crop", "%sx%s+%s+%s" % (w, h, x, y), "+repage"]
                except ValueError:
                    crop = []
                xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True)
                subprocess.run(["convert", "xwd:-"] + crop + [os.path.join(self.screens, base + ".png")],
                               input=xwd.stdout, capture_output=True)
                os.remove(os.path.join(self.work, name))
                open(os.path.join(self.work, base + ".done"), "w").close()
            time.sleep(0.1)


class Service:
    """kvservice on a port it picks itself, with its JSON request log (one object a line).

    log_encoding: how the log file is read; "latin-1" takes any byte, "utf-8" reads the text as
    the service wrote it (each request byte as one latin-1 character, see raw_targets)."""

    def __init__(self, binary, data, work, *extra, log="service.log", log_encoding="latin-1"):
        self.log = os.path.join(work, log)
        self.log_encoding = log_encoding
        port_file = os.path.join(work, "port" if log == "service.log" else log + ".port")
        self.proc = subprocess.Popen([binary, "--port", "0", "--port-file", port_file, "--data", data,
                                      "--log", self.log, *extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not (os.path.exists(port_file) and os.path.getsize(port_file) > 0):
            if time.time() > deadline or self.proc.poll() is not None:
                self.stop()
                raise SystemExit("FAIL: kvservice did not start")
            time.sleep(0.05)
        with open(port_file) as f:
            self.port = int(f.read().strip())
        self.address = "127.0.0.1:%d" % self.port

    def entries(self):
        """Every logged request so far as a dict; a line that is not JSON (one being written) is skipped."""
        out = []
        if os.path.exists(self.log):
            with open(self.log, encoding=self.log_encoding) as f:
                for line in f:
                    try:
                        out.append(json.loads(line))
                    except ValueError:
                        continue
        return out

    def targets(self):
        return [e.get("target", "") for e in self.entries()]

    def raw_targets(self):
        """The targets as the bytes sent: the log writes each byte as one latin-1 character."""
        return [t.encode("latin-1") for t in self.targets()]

    def requests(self, header, default=None, hex_target=None):
        """(target, value of HEADER or DEFAULT) of every request so far.

        hex_target None: the target as logged; "bytes": the target_hex bytes; otherwise a code page
        the target_hex bytes are decoded with."""
        out = []
        for e in self.entries():
            if hex_target is None:
                target = e.get("target", "")
            else:
                target = bytes.fromhex(e.get("target_hex", ""))
                if hex_target != "bytes":
                    target = target.decode(hex_target, "replace")
            values = [v for k, v in e.get("headers", []) if k.lower() == header.lower()]
            out.append((target, values[0] if values else default))
        return out

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()
