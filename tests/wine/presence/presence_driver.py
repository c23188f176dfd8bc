#!/usr/bin/env python3
"""Registers the 32-bit presence control kvax32.dll with the 32-bit regsvr32 in the Wine prefix
that wine-run.sh --shell prepared, and checks it from a 32-bit program and the 32-bit cscript:
the registry entries in the 32-bit view, creation by ProgID, object safety, Tarnwick.Connect,
the stock properties from a script, and what unregistration removes."""
import argparse
import os
import shutil
import subprocess
import sys

failures = []
SYSWOW64 = "C:\\windows\\syswow64\\"


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return ok


# How long a 32-bit Wine program takes to start here (measured by wine-run.sh); every command of
# this driver starts one.
I386_START = float(os.environ.get("KV_I386_START") or 0)


def wine(*args, timeout=90):
    result = subprocess.run(["wine", *args], capture_output=True, timeout=timeout + I386_START)
    # cscript and our checker print in the console's code pages; Korean text is code page 949.
    out = result.stdout.decode("cp949", errors="replace")
    return result.returncode, out


def regsvr32(*args):
    """32-bit regsvr32 on the library. Under the qemu-i386 emulator a 32-bit Wine process now
    and then dies of the emulator's own faults; a failed run there is retried once, saying so,
    and a registration that fails twice is still a failure."""
    rc, out = wine(SYSWOW64 + "regsvr32.exe", *args)
    if rc != 0 and os.environ.get("KV_I386_MODE") == "emulated":
        print("note: regsvr32 %s returned %d under the emulator; retried once" % (" ".join(args), rc), flush=True)
        rc, out = wine(SYSWOW64 + "regsvr32.exe", *args)
    return rc, out


def checker(*args):
    rc, out = wine("C:\\kvpresence\\presence_check.exe", *args)
    sys.stdout.write(out)
    check(rc == 0, "presence_check %s: %d failed checks" % (" ".join(args), rc))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dll", required=True)
    ap.add_argument("--check", required=True)
    ap.add_argument("--script", required=True)
    a = ap.parse_args()

    drive = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    os.makedirs(os.path.join(drive, "kvax"), exist_ok=True)
    os.makedirs(os.path.join(drive, "kvpresence"), exist_ok=True)
    shutil.copy(a.dll, os.path.join(drive, "kvax", "kvax32.dll"))
    shutil.copy(a.check, os.path.join(drive, "kvpresence", "presence_check.exe"))
    shutil.copy(a.script, os.path.join(drive, "kvpresence", "presence.js"))
    dll = "C:\\kvax\\kvax32.dll"

    rc, out = regsvr32("/s", dll)
    check(rc == 0, "32-bit regsvr32 /s returned %d %s" % (rc, out.strip()))
    checker("registered", dll)
    checker("objects")

    rc, out = wine(SYSWOW64 + "cscript.exe", "//nologo", "C:\\kvpresence\\presence.js")
    sys.stdout.write(out)
    check(rc == 0 and "script: all checks passed" in out, "32-bit cscript: exit %d" % rc)

    # Registering again rewrites the class keys (a leftover subkey goes); unregistering removes them.
    checker("plant-stale")
    rc, _ = regsvr32("/s", dll)
    check(rc == 0, "second 32-bit regsvr32 /s returned %d" % rc)
    checker("registered", dll)
    rc, _ = regsvr32("/u", "/s", dll)
    check(rc == 0, "32-bit regsvr32 /u /s returned %d" % rc)
    checker("unregistered")
    rc, _ = regsvr32("/u", "/s", dll)
    check(rc == 0, "unregistering twice returned %d" % rc)

    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("presence: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
