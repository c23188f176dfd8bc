#!/usr/bin/env python3
"""What each library's own registration writes, for the package's registry rows (make_msi.py).

Runs in a throwaway prefix of wine-run.sh --shell, at build time. The libraries are put where the
package installs them and registered one at a time with kvregister of their bitness, which runs
the library's DllRegisterServer with the classes root mapped to HKCU\\Software\\Classes; what
appears there is written out as JSON: {"64": {key: {value name: [type, data]}}, "32": {...}},
keys relative to the classes root, "" naming a key's default value. The registration's install
report goes to a port nothing listens on.

  capture_registration.py --register64 EXE --register32 EXE --library DLL --presence DLL --out JSON
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

FOLDER = "C:\\Program Files\\Kestrova"
CLASSES = "HKEY_CURRENT_USER\\Software\\Classes"


def wine(*args, may_fail=False):
    r = subprocess.run(["wine", *args], capture_output=True, timeout=300)
    if r.returncode != 0 and not may_fail:
        sys.exit("capture: wine %s: exit %d\n%s" % (" ".join(args), r.returncode, r.stderr.decode("utf-8", "replace")))


def unix(prefix, win_path):
    return os.path.join(prefix, "drive_c", *win_path[3:].split("\\"))


def parse_reg(text):
    """{key below the classes root: {name: [type, data]}} of a `reg export` file's text."""
    keys, current, pending = {}, None, ""
    for raw in text.splitlines():
        line = pending + raw.strip()
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]  # a hex value continued on the next line
            continue
        pending = ""
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            current = None
            if name.lower().startswith(CLASSES.lower() + "\\"):
                current = keys.setdefault(name[len(CLASSES) + 1:], {})
            continue
        if current is None or "=" not in line:
            continue
        if line.startswith("@="):
            name, data = "", line[2:]
        else:
            end = 1
            while line[end] != '"':
                end += 2 if line[end] == "\\" else 1
            name, data = line[1:end].replace('\\"', '"').replace("\\\\", "\\"), line[end + 2:]
        if data.startswith('"'):
            current[name] = ["string", data[1:-1].replace('\\"', '"').replace("\\\\", "\\")]
        elif data.startswith("dword:"):
            current[name] = ["dword", int(data[6:], 16)]
        elif data.startswith("hex(2):"):
            raw_bytes = bytes(int(b, 16) for b in data[7:].split(",") if b)
            current[name] = ["expand", raw_bytes.decode("utf-16-le").rstrip("\0")]
        else:
            sys.exit("capture: a value of a type the package cannot hold: %s %s" % (name, data[:20]))
    return keys


def export_classes(work):
    path = os.path.join(work, "classes.reg")
    if os.path.exists(path):
        os.remove(path)
    # A fresh prefix has no user classes key at all until the first registration.
    wine("reg", "export", CLASSES, "Z:" + path.replace("/", "\\"), "/y", may_fail=True)
    if not os.path.exists(path):
        return {}
    data = open(path, "rb").read()
    text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else data.decode("utf-8")
    return parse_reg(text)


def added(before, after):
    """Keys and values of after that before does not have as they are."""
    out = {}
    for key, values in after.items():
        new = {n: v for n, v in values.items() if before.get(key, {}).get(n) != v}
        if new or key not in before:
            out[key] = new
    return out


def main():
    ap = argparse.ArgumentParser()
    for name in ("register64", "register32", "library", "presence", "out"):
        ap.add_argument("--" + name, required=True)
    a = ap.parse_args()
    prefix = os.environ["WINEPREFIX"]
    work = tempfile.mkdtemp(prefix="kvcapture.")
    try:
        os.makedirs(unix(prefix, FOLDER), exist_ok=True)
        tools = unix(prefix, "C:\\kvcapture")
        os.makedirs(tools, exist_ok=True)
        shutil.copy(a.library, os.path.join(unix(prefix, FOLDER), "KestrovaSE.dll"))
        shutil.copy(a.presence, os.path.join(unix(prefix, FOLDER), "kvax32.dll"))
        shutil.copy(a.register64, os.path.join(tools, "kvregister64.exe"))
        shutil.copy(a.register32, os.path.join(tools, "kvregister32.exe"))
        wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d", "127.0.0.1:9", "/f", "/reg:64")
        result = {}
        for bits, tool, name in (("64", "kvregister64.exe", "KestrovaSE.dll"), ("32", "kvregister32.exe", "kvax32.dll")):
            before = export_classes(work)
            wine("C:\\kvcapture\\" + tool, FOLDER + "\\" + name)
            result[bits] = added(before, export_classes(work))
            wine("C:\\kvcapture\\" + tool, "/u", FOLDER + "\\" + name)
            if not result[bits]:
                sys.exit("capture: %s registered nothing" % name)
        with open(a.out, "w") as f:
            json.dump(result, f, indent=1, sort_keys=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
