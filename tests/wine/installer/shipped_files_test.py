#!/usr/bin/env python3
"""The shipped files as the build leaves them: stripped, with their debugging information in
<file>.debug beside them behind a debug link whose checksum matches; every one Authenticode-signed
(osslsigncode accepts it against the development certificate and refuses a copy with one byte
changed); the add-in library also carrying the update trailer of the build's key, checked on
the same file. Prints the sizes.

  shipped_files_test.py --out OUT_ROOT --signing BUILD/signing --kvsign KVSIGN
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kvwine import check, failures  # noqa: E402

# (file under OUT_ROOT, objdump of its machine or None for no debug link, offset of a byte to
# change: inside the code of a PE file; for the package, inside its embedded cabinet).
SHIPPED = [
    ("win64/KestrovaSE.dll", "x86_64-w64-mingw32-objdump", 0x400),
    ("win32/KVUpdater.exe", "i686-w64-mingw32-objdump", 0x400),
    ("win32/kvax32.dll", "i686-w64-mingw32-objdump", 0x400),
    ("win32/KestrovaSE-setup.exe", None, 0x400),
    ("win32/KestrovaSE.msi", None, "MSCF"),
]


def sections(objdump, path):
    out = subprocess.run([objdump, "-h", path], capture_output=True, text=True).stdout
    return {line.split()[1] for line in out.splitlines() if line.strip()[:1].isdigit()}


def debug_link(objdump, path):
    """(file name, CRC-32) of the .gnu_debuglink section, or None."""
    with tempfile.TemporaryDirectory() as work:
        dump = os.path.join(work, "link")
        copy = objdump.replace("objdump", "objcopy")
        r = subprocess.run([copy, "--dump-section", ".gnu_debuglink=" + dump, path, os.path.join(work, "x")],
                           capture_output=True)
        if r.returncode != 0 or not os.path.exists(dump):
            return None
        data = open(dump, "rb").read()
    name = data.split(b"\0", 1)[0]
    at = (len(name) + 1 + 3) // 4 * 4  # the name, its NUL, padding to four bytes, then the CRC
    return name.decode(), struct.unpack_from("<I", data, at)[0]


def changed_copy(path, where, work):
    data = bytearray(open(path, "rb").read())
    at = data.find(b"MSCF") + 4096 if where == "MSCF" else where
    data[at] ^= 0x01
    copy = os.path.join(work, "changed-" + os.path.basename(path))
    open(copy, "wb").write(data)
    return copy


def authenticode_ok(path, ca):
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], capture_output=True, text=True)
    return r.returncode == 0 and "Signature verification: ok" in r.stdout


def main():
    ap = argparse.ArgumentParser()
    for name in ("out", "signing", "kvsign"):
        ap.add_argument("--" + name, required=True)
    a = ap.parse_args()
    ca = os.path.join(a.signing, "dev-ca.crt")
    if not os.path.exists(ca):
        print("the build signs with the maker's certificate: no development authority to check against")
        return 0
    with tempfile.TemporaryDirectory() as work:
        for name, objdump, where in SHIPPED:
            path = os.path.join(a.out, name)
            if not check(os.path.exists(path), "%s is built" % name):
                continue
            if objdump:
                found = sections(objdump, path)
                check(not any(s.startswith(".debug") for s in found) and found,
                      "%s: no debugging sections (%s)" % (name, sorted(found)))
                link = debug_link(objdump, path)
                debug = path + ".debug"
                check(link is not None and link[0] == os.path.basename(debug) and os.path.exists(debug)
                      and zlib.crc32(open(debug, "rb").read()) == link[1],
                      "%s: its debug link names %s with that file's checksum (%s)" % (name, os.path.basename(debug), link))
                check(".debug_info" in sections(objdump, debug), "%s.debug holds the debugging information" % name)
                print("     %-28s %9d bytes, debugging information %9d bytes beside it" % (name, os.path.getsize(path), os.path.getsize(debug)))
            else:
                print("     %-28s %9d bytes" % (name, os.path.getsize(path)))
            changed = changed_copy(path, where, work)
            check(authenticode_ok(path, ca), "%s: Authenticode signature verifies" % name)
            check(not authenticode_ok(changed, ca), "%s: a copy with one byte changed is refused" % name)
            if name.endswith("KestrovaSE.dll"):
                key = os.path.join(a.signing, "update_key.pem")
                check(subprocess.run([a.kvsign, "verify", key, path]).returncode == 0,
                      "%s: the update trailer verifies on the same file" % name)
                check(subprocess.run([a.kvsign, "verify", key, changed], capture_output=True).returncode != 0,
                      "%s: the update trailer refuses the changed copy" % name)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
