#!/usr/bin/env python3
"""KestrovaSE.msi in the Wine prefix that wine-run.sh --shell prepared, against kvservice.

In order: a refused CODE changes nothing; a silent install with CODE (files, settings, install
report, the hosts' add-in keys, one list entry); its class entries, both views, key by key equal
to a regsvr32 registration of the same files in a second prefix; hostsim loading the add-in from
Program Files; the next version installed over it (one set of files, one list entry, no
uninstall report); the silent removal, which takes what the package wrote and keeps the settings
and the user's templates."""
import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installer_test as setup  # noqa: E402  (the setup program's test: registry and list helpers)
from kvwine import check, failures  # noqa: E402

PRODUCT = "Kestrova SE"
VERSION = "0.9.96.6"
# What the list of installed programs shows: the package's version, a.b.(100c+d) of the add-in's.
PACKAGE_VERSION, NEXT_PACKAGE_VERSION = "0.9.9606", "0.9.9607"
CODE = "kvMSI12345"
FILES = {"KestrovaSE.dll", "KVUpdater.exe", "kvax32.dll"}
PROG_IDS = ("Tarnwick.Connect", "Tarnwick.Connect.1", "KestrovaSE.SimTaskPane", "KestrovaSE.SimTaskPane.1")
TYPE_LIBRARY = "TypeLib\\{085FFF9D-CE6C-490C-8A88-9CA82D39898E}"
ERROR_INSTALL_FAILURE = 1603


@contextlib.contextmanager
def in_prefix(root):
    """Wine commands of the block run in another prefix."""
    saved = os.environ["WINEPREFIX"]
    os.environ["WINEPREFIX"] = root
    try:
        yield
    finally:
        os.environ["WINEPREFIX"] = saved


def registration():
    """Every class, program id and type library entry of the two libraries, in both views."""
    found = {}
    for view in (64, 32):
        keys = ["CLSID\\" + c for c in setup.CLASSES] + list(PROG_IDS) + [TYPE_LIBRARY]
        for key in keys:
            for name, values in setup.reg_query("HKCR\\" + key, view, recursive=True).items():
                # Wine spells the type-library key "Typelib" when a library registers it; the
                # package's folder reference ends in a backslash that the registration omits.
                values = {n: (d.rstrip("\\") if name.upper().endswith("\\HELPDIR") else d) for n, d in values.items()}
                found["%d %s" % (view, name.upper())] = values
    return found


def msiexec(*args):
    rc, _ = setup.wine("msiexec", *args, "/qn", timeout=300)
    return rc


def list_entries():
    return setup.entries_named(PRODUCT)


def check_installed(p, a, what, version):
    check(setup.files_of(p.all_dir) == FILES, "%s: the folder holds %s (%s)" % (what, sorted(FILES), setup.files_of(p.all_dir)))
    for name, built in (("KestrovaSE.dll", a.library), ("KVUpdater.exe", a.updater), ("kvax32.dll", a.presence)):
        path = os.path.join(p.all_dir, name)
        check(os.path.exists(path) and open(path, "rb").read() == open(built, "rb").read(),
              "%s: the installed %s is the built one" % (what, name))
    entries = list_entries()
    check(len(entries) == 1, "%s: one list entry (%s)" % (what, entries))
    if entries:
        v = setup.values(entries[0]) or {}
        check(v.get("DisplayVersion") == version, "%s: the entry shows version %s (%r)" % (what, version, v.get("DisplayVersion")))
    for app in setup.APPS:
        v = setup.values("HKLM\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % app) or {}
        check(v.get("LoadBehavior") == 3 and v.get("FriendlyName") == PRODUCT,
              "%s: %s lists Tarnwick.Connect for all users (%r)" % (what, app, v))
    for clsid in setup.CLASSES:
        for view, name in ((64, "KestrovaSE.dll"), (32, "kvax32.dll")):
            server = setup.default_value("HKCR\\CLSID\\%s\\InprocServer32" % clsid, view)
            check((server or "").lower() == (p.all_dir_win + "\\" + name).lower(),
                  "%s: %d-bit class %s served by the installed %s (%r)" % (what, view, clsid, name, server))


def compare_with_regsvr32(p, a, second, installed):
    """The same files registered by regsvr32 of each bitness in the second prefix."""
    with in_prefix(second):
        folder = os.path.join(second, "drive_c", "Program Files", "Kestrova")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(a.library, os.path.join(folder, "KestrovaSE.dll"))
        shutil.copy(a.presence, os.path.join(folder, "kvax32.dll"))
        rc64, _ = setup.wine("regsvr32", "/s", p.all_dir_win + "\\KestrovaSE.dll")
        rc32, _ = setup.wine("C:\\windows\\syswow64\\regsvr32.exe", "/s", p.all_dir_win + "\\kvax32.dll", timeout=300)
        check(rc64 == 0 and rc32 == 0, "regsvr32 in the second prefix: exit %d (64-bit), %d (32-bit)" % (rc64, rc32))
        registered = registration()
        subprocess.run(["wineserver", "-k"], timeout=60)
    check(len(registered) > 20, "regsvr32 wrote %d keys" % len(registered))
    for key in sorted(set(installed) | set(registered)):
        check(installed.get(key) == registered.get(key),
              "class entries: %s as regsvr32 writes it (package %r, regsvr32 %r)" % (key, installed.get(key), registered.get(key)))


def main():
    ap = argparse.ArgumentParser()
    for name in ("msi", "next_msi", "library", "updater", "presence", "hostsim", "kvservice", "data"):
        ap.add_argument("--" + name.replace("_", "-"), dest=name, required=True)
    a = ap.parse_args()
    p = setup.Prefix()
    work = tempfile.mkdtemp(prefix="kvmsi.", dir=p.root)
    # The second prefix: this one as wine-run.sh made it, copied as wine-run.sh copies its base
    # (hard links, but real copies of the registry files, which Wine rewrites in place).
    second = p.root.rstrip("/") + ".regsvr32"
    subprocess.run(["cp", "-al", p.root, second], check=True)
    for name in ("system.reg", "user.reg", "userdef.reg"):
        if os.path.exists(os.path.join(p.root, name)):
            os.remove(os.path.join(second, name))
            shutil.copy(os.path.join(p.root, name), os.path.join(second, name))
    shutil.rmtree(os.path.join(second, os.path.relpath(work, p.root)), ignore_errors=True)
    templates = p.templates_with_one()
    packages = os.path.join(p.root, "drive_c", "kvmsi")
    os.makedirs(packages, exist_ok=True)
    shutil.copy(a.msi, os.path.join(packages, "KestrovaSE.msi"))
    shutil.copy(a.next_msi, os.path.join(packages, "KestrovaSE-next.msi"))
    msi, next_msi = "C:\\kvmsi\\KestrovaSE.msi", "C:\\kvmsi\\KestrovaSE-next.msi"
    service = setup.Service(a.kvservice, a.data, work)
    try:
        for prefix in (p.root, second):
            with in_prefix(prefix):
                rc, _ = setup.wine("reg", "add", setup.SETTINGS, "/v", "service", "/d", service.address, "/f", "/reg:64")
                check(rc == 0, "service setting in %s" % prefix)

        for bad in ("kv&x=1", "kv_code_of_16_ch"):
            rc = msiexec("/i", msi, "CODE=" + bad)
            # Wine hands msiexec's exit code to Linux, which keeps its low eight bits.
            check(rc in (ERROR_INSTALL_FAILURE, ERROR_INSTALL_FAILURE & 0xFF), "CODE=%s refused with %d (%d)" % (bad, ERROR_INSTALL_FAILURE, rc))
            check(not os.path.exists(p.all_dir) and list_entries() == [] and "code" not in (setup.values(setup.SETTINGS) or {}),
                  "CODE=%s: nothing installed, no code stored" % bad)

        rc = msiexec("/i", msi, "CODE=" + CODE)
        check(rc == 0, "install: exit %d" % rc)
        check_installed(p, a, "install", PACKAGE_VERSION)
        settings = setup.values(setup.SETTINGS) or {}
        pid1 = settings.get("pid", "")
        check(settings.get("code") == CODE and setup.UUID_RE.match(pid1) is not None,
              "install: settings code=%r pid=%r" % (settings.get("code"), pid1))
        report = "/k_app/DataLog.asp?logtype=install&PID=%s&code=%s&version=%s" % (pid1, CODE, VERSION)
        check(service.wait_for(report) == 1, "install: the install report reached kvservice: " + report)

        installed = registration()
        compare_with_regsvr32(p, a, second, installed)

        setup.host_loads_addin(a.hostsim, work, service, pid1, "hostsim from Program Files")

        rc = msiexec("/i", next_msi)
        check(rc == 0, "upgrade: exit %d" % rc)
        check_installed(p, a, "upgrade", NEXT_PACKAGE_VERSION)
        settings = setup.values(setup.SETTINGS) or {}
        pid2 = settings.get("pid", "")
        check(settings.get("code") == CODE, "upgrade: the code stays (%r)" % settings.get("code"))
        report = "/k_app/DataLog.asp?logtype=install&PID=%s&code=%s&version=%s" % (pid2, CODE, VERSION)
        check(pid2 != pid1 and service.wait_for(report) == 1, "upgrade: a new pid and its install report " + report)
        # Windows removes the older package with UPGRADINGPRODUCTCODE set, which skips its
        # uninstall report; Wine's RemoveExistingProducts does not set it, so here one report of
        # the older installation may come. Never one of the new installation.
        uninstalls = [t for t in service.targets() if "logtype=uninstall" in t]
        check(len(uninstalls) <= 1 and all("PID=" + pid1 in t for t in uninstalls),
              "upgrade: no uninstall report but, under Wine, the older installation's (%s)" % uninstalls)
        check(registration() == installed, "upgrade: the class entries as before")

        # A user's setting (the hidden pane) for the removal to keep; set after hostsim, whose
        # check waits for the pane's list.
        rc, _ = setup.wine("reg", "add", "HKCU\\Software\\kestrovaSE\\1.0.0", "/v", "visible", "/t", "REG_DWORD", "/d", "0", "/f")
        check(rc == 0, "the user's pane setting")
        rc = msiexec("/x", next_msi)
        check(rc == 0, "removal: exit %d" % rc)
        check(not os.path.exists(p.all_dir), "removal: the program folder is gone (%s)" % setup.files_of(p.all_dir))
        check(list_entries() == [], "removal: no list entry left")
        left = registration()
        check(left == {}, "removal: no class, program id or type library entry left (%s)" % sorted(left))
        for app in setup.APPS:
            check(setup.values("HKLM\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % app) is None,
                  "removal: the %s add-in key is gone" % app)
        report = "/k_app/DataLog.asp?logtype=uninstall&PID=%s&version=%s" % (pid2, VERSION)
        check(service.wait_for(report) == 1, "removal: the uninstall report reached kvservice: " + report)
        settings = setup.values(setup.SETTINGS) or {}
        check(settings.get("pid") == pid2 and settings.get("code") == CODE, "removal: the settings stay (%r)" % settings)
        user = setup.values("HKCU\\Software\\kestrovaSE\\1.0.0") or {}
        check(user.get("visible") == 0, "removal: the user's pane setting stays (%r)" % user)
        check(setup.files_of(templates) == {"이력서.docx"}, "removal: the templates stay (%s)" % setup.files_of(templates))
    finally:
        service.stop()
        if failures:
            print("--- service requests")
            print("\n".join(service.targets()))
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(second, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
