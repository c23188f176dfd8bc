#!/usr/bin/env python3
"""Builds KestrovaSE.msi: wixl over KestrovaSE.wxs, then msitools' msibuild adds what wixl
cannot express (see the notes in KestrovaSE.wxs).

  make_msi.py --wxs KestrovaSE.wxs --classes classes.json --library DLL --updater EXE
              --presence DLL --version 0.9.96.6 --out KestrovaSE.msi

classes.json is capture_registration.py's record of what each library's registration writes,
captured with the libraries in the package's default folder; that folder becomes [INSTALLDIR]
and the libraries' paths their file references, so the rows follow a folder chosen at install.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

CAPTURED_FOLDER = "C:\\Program Files\\Kestrova"
# The class rows of each library's registration go with its own component: the 32-bit
# component's rows land in the 32-bit view.
COMPONENTS = {"64": ("Library", "KestrovaSE.dll"), "32": ("Presence", "kvax32.dll")}
# Keys under these hold one key per registered thing; only that key is the package's own.
CONTAINERS = ("clsid", "interface", "typelib", "appid")

# Type 17 (a DLL among the installed files) + 1024 (deferred) + 2048 (as the system, not the
# user); +64: its failure is ignored. Type 51 sets the deferred action's CustomActionData.
CUSTOM_ACTIONS = [
    ("SetRecordInstallation", 51, "RecordInstallation", "[CODE]"),
    ("RecordInstallation", 17 + 1024 + 2048, "KestrovaSE.dll", "RecordInstallation"),
    ("RecordRemoval", 17 + 1024 + 2048 + 64, "KestrovaSE.dll", "RecordRemoval"),
]
# (action, condition, the standard action it directly follows or precedes, +1 after / -1 before)
SEQUENCE = [
    ("SetRecordInstallation", "NOT REMOVE", "WriteRegistryValues", 9),
    ("RecordInstallation", "NOT REMOVE", "WriteRegistryValues", 10),
    ("RecordRemoval", 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE', "RemoveFiles", -10),
]


def package_version(version):
    """The package's ProductVersion for the add-in version a.b.c.d: a.b.(100c+d). Windows
    Installer compares only the first three fields, so 0.9.96.7 would be no upgrade of 0.9.96.6;
    folded into the third field, every release is newer than the one before."""
    fields = [int(f) for f in version.split(".")]
    if len(fields) != 4 or fields[3] > 99 or fields[0] > 255 or fields[1] > 255 or fields[2] * 100 + fields[3] > 65535:
        sys.exit("make_msi: version %s does not fold into a package version" % version)
    return "%d.%d.%d" % (fields[0], fields[1], fields[2] * 100 + fields[3])


def run(*args, cwd=None):
    r = subprocess.run(list(args), cwd=cwd, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("make_msi: %s: exit %d\n%s%s" % (" ".join(args), r.returncode, r.stdout, r.stderr))
    return r.stdout


def formatted(text, file_name):
    """A captured string as an MSI formatted value: the library's path its file reference, the
    captured folder [INSTALLDIR], brackets escaped, and a leading '#' kept from meaning a number."""
    text = text.replace("[", "[\\[]").replace("]", "[\\]]")
    path = CAPTURED_FOLDER + "\\" + file_name
    for old, new in ((path, "[#%s]" % file_name), (CAPTURED_FOLDER + "\\", "[INSTALLDIR]"),
                     (CAPTURED_FOLDER, "[INSTALLDIR]")):
        if text.lower().startswith(old.lower()):
            text = new + text[len(old):]
            break
    return "#" + text if text.startswith("#") else text


def class_rows(classes):
    """(id, root, key, name, value, component) rows of the captured registrations: a "*" row
    on each key of the package's own (made on install, removed with everything below it on
    removal), a "+" row on an empty key, a row per value."""
    rows = []
    for bits in sorted(classes):
        component, file_name = COMPONENTS[bits]
        for key in sorted(classes[bits]):
            # A program id both libraries register alike is the 64-bit component's: a 32-bit
            # component's row would land in a 32-bit copy that Windows does not read.
            if bits == "32" and key.split("\\")[0].lower() not in CONTAINERS and classes["64"].get(key) == classes[bits][key]:
                continue
            parts = key.split("\\")
            depth = 2 if parts[0].lower() in CONTAINERS else 1
            if len(parts) < depth:
                continue  # a container itself (CLSID, Interface) is never the package's
            values = classes[bits][key]
            entries = []
            if len(parts) == depth:
                entries.append(("*", None))
            elif not values:
                entries.append(("+", None))
            for name in sorted(values):
                kind, data = values[name]
                if kind == "string":
                    value = formatted(data, file_name)
                elif kind == "dword":
                    value = "#%d" % data
                else:
                    value = "#%" + formatted(data, file_name)
                entries.append((name or None, value))
            for name, value in entries:
                rows.append(("kv%s_%03d" % (bits, len(rows)), 0, key, name, value, component))
    return rows


def idt_field(value):
    if value is None:
        return ""
    text = str(value)
    if any(c in text for c in "\t\r\n") or any(ord(c) > 127 for c in text):
        sys.exit("make_msi: a value the package tables cannot hold: %r" % text)
    return text


def write_idt(path, columns, types, table, keys, rows):
    lines = ["\t".join(columns), "\t".join(types), "\t".join([table] + keys)]
    lines += ["\t".join(idt_field(v) for v in row) for row in rows]
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def exported(msi, table, work):
    """The rows of a table of the package (a list of field lists)."""
    text = run("msiinfo", "export", msi, table)
    return [line.split("\t") for line in text.replace("\r", "").split("\n")[3:] if line]


def main():
    ap = argparse.ArgumentParser()
    for name in ("wxs", "classes", "library", "updater", "presence", "version", "out"):
        ap.add_argument("--" + name, required=True)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="kvmsi.")
    try:
        # wixl takes sources by names relative to the .wxs file.
        for source, name in ((a.library, "KestrovaSE.dll"), (a.updater, "KVUpdater.exe"),
                             (a.presence, "kvax32.dll"), (a.wxs, "KestrovaSE.wxs")):
            shutil.copy(source, os.path.join(work, name))
        msi = os.path.join(work, "KestrovaSE.msi")
        run("wixl", "-a", "x64", "-D", "Version=" + package_version(a.version), "-o", msi, "KestrovaSE.wxs", cwd=work)

        with open(a.classes) as f:
            classes = json.load(f)
        # wixl's own rows end their keys in a backslash; written without it like the class rows.
        registry = [[r[0], int(r[1]), r[2].rstrip("\\"), r[3] or None, r[4] or None, r[5]]
                    for r in exported(msi, "Registry", work)]
        registry += class_rows(classes)
        tables = {
            "Registry": (["Registry", "Root", "Key", "Name", "Value", "Component_"],
                         ["s72", "i2", "l255", "L255", "L0", "s72"], ["Registry"], registry),
            "CustomAction": (["Action", "Type", "Source", "Target"], ["s72", "i2", "S72", "S255"], ["Action"],
                             CUSTOM_ACTIONS),
        }
        sequence = exported(msi, "InstallExecuteSequence", work)
        at = {row[0]: int(row[2]) for row in sequence}
        rows = [[r[0], r[1] or None, int(r[2])] for r in sequence]
        for action, condition, anchor, offset in SEQUENCE:
            rows.append([action, condition, at[anchor] + offset])
        tables["InstallExecuteSequence"] = (["Action", "Condition", "Sequence"], ["s72", "S255", "I2"],
                                            ["Action"], rows)
        for table, (columns, types, keys, table_rows) in tables.items():
            path = os.path.join(work, table + ".idt")
            write_idt(path, columns, types, table, keys, table_rows)
            run("msibuild", msi, "-i", path)
        temporary = a.out + ".tmp"
        shutil.copy(msi, temporary)
        os.replace(temporary, a.out)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
