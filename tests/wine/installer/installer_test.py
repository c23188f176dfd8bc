#!/usr/bin/env python3
"""KestrovaSE-setup.exe in the Wine prefix that wine-run.sh --shell prepared, against kvservice.

In order: a screenshot of the first page; a refused /CODE; a silent per-user install (files,
registry, list entry, install report); hostsim loading the add-in from the installed folder;
setup and uninstaller refused while a program holds the library; an upgrade; the silent
uninstall from the list entry's command; an all-users install and its removal; kvregister, the
per-user registration a setup without administrator rights uses (Wine always runs with them)."""
import argparse
import getpass
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import kvwine  # noqa: E402
from kvwine import check, failures  # noqa: E402

VERSION = "0.9.96.6"
PRODUCT = "Kestrova 서식 검색"
CODE = "kvTEST12345"
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
ENTRY = UNINSTALL + "\\KestrovaSE"
SETTINGS = "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0"
APPS = ("Word", "Excel", "PowerPoint")
CLASSES = ("{E493BA72-8D48-4676-8A72-50E49949B1E3}", "{34519866-49E2-42D6-953B-32417C819665}")
INSTALLED = {"KestrovaSE.dll", "KVUpdater.exe", "kvax32.dll", "uninstall.exe"}
UUID_RE = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")
EXIT_IN_USE, EXIT_BAD_CODE = 3, 6

def wine(*args, timeout=120):
    return kvwine.wine(*args, timeout=kvwine.i386_bound(timeout), encoding="cp949")


def reg_query(key, view=64, recursive=False):
    """{key: {value name: data}} of key (and its subkeys), {} when it is not there."""
    args = ["reg", "query", key, "/reg:%d" % view] + (["/s"] if recursive else [])
    rc, out = wine(*args)
    keys, current = {}, None
    for line in out.splitlines():
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.strip(), {})
            continue
        m = re.match(r"^    (.*?)    (REG_\w+)(?:    (.*))?$", line)
        if m and current is not None:
            data = m.group(3) or ""
            current[m.group(1)] = int(data, 16) if m.group(2) == "REG_DWORD" else data
    return keys if rc == 0 else {}


def values(key, view=64):
    found = reg_query(key, view)
    return next(iter(found.values())) if found else None


def default_value(key, view):
    v = values(key, view)
    return None if v is None else next((d for n, d in v.items() if n.startswith("(")), None)


class Service(kvwine.Service):
    def targets(self):
        return [bytes.fromhex(d["target_hex"]).decode("cp949", "replace") if "target_hex" in d
                else d.get("target", "") for d in self.entries()]

    def wait_for(self, target, timeout=10):
        deadline = time.time() + timeout
        while target not in self.targets() and time.time() < deadline:
            time.sleep(0.2)
        return self.targets().count(target)


class Prefix:
    def __init__(self):
        self.root = os.environ["WINEPREFIX"]
        self.user = os.path.join(self.root, "drive_c", "users", getpass.getuser())
        self.user_win = "C:\\users\\" + getpass.getuser()
        self.user_dir = os.path.join(self.user, "AppData", "Local", "Programs", "Kestrova")
        self.user_dir_win = self.user_win + "\\AppData\\Local\\Programs\\Kestrova"
        self.all_dir = os.path.join(self.root, "drive_c", "Program Files", "Kestrova")
        self.all_dir_win = "C:\\Program Files\\Kestrova"

    def templates_with_one(self):
        """The user's templates folder, holding one template, for a removal to keep. The base
        prefix links Documents to the Linux home; the folder must stay in here."""
        documents = os.path.join(self.user, "Documents")
        if os.path.islink(documents):
            os.unlink(documents)
        templates = os.path.join(documents, "kestrovas")
        os.makedirs(templates, exist_ok=True)
        open(os.path.join(templates, "이력서.docx"), "w").write("sample\n")
        return templates

    def unix(self, win_path):
        return os.path.join(self.root, "drive_c", *win_path[3:].split("\\"))


def files_of(folder):
    return set(os.listdir(folder)) if os.path.isdir(folder) else None


def snapshot(folder):
    """What an install or a removal may change: the folder's files and every key it writes."""
    state = {"files": {n: (os.path.getsize(os.path.join(folder, n)), os.path.getmtime(os.path.join(folder, n)))
                       for n in sorted(files_of(folder) or [])}}
    for root in ("HKCU", "HKLM"):
        state[root + " entry"] = values(root + "\\" + ENTRY)
        for app in APPS:
            state[root + " " + app] = values("%s\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % (root, app))
    state["settings"] = values(SETTINGS)
    for view in (64, 32):
        for clsid in CLASSES:
            state["class %s %d" % (clsid, view)] = reg_query("HKCR\\CLSID\\" + clsid, view, recursive=True)
    return state


def entries_named(product):
    """Every uninstall entry of either root whose DisplayName is product."""
    found = []
    for root in ("HKCU", "HKLM"):
        for key, vals in reg_query(root + "\\" + UNINSTALL, recursive=True).items():
            if vals.get("DisplayName") == product:
                found.append(key)
    return found


def check_installed(root, folder, folder_win, library, what):
    check(files_of(folder) == INSTALLED, "%s: the folder holds %s (%s)" % (what, sorted(INSTALLED), files_of(folder)))
    if os.path.exists(os.path.join(folder, "KestrovaSE.dll")):
        check(open(os.path.join(folder, "KestrovaSE.dll"), "rb").read() == open(library, "rb").read(),
              "%s: the installed KestrovaSE.dll is the built one" % what)
    entry = values(root + "\\" + ENTRY) or {}
    uninstaller = folder_win + "\\uninstall.exe"
    expected = {"DisplayName": PRODUCT, "DisplayVersion": VERSION, "Publisher": "Kestrova",
                "InstallLocation": folder_win, "UninstallString": '"%s"' % uninstaller,
                "QuietUninstallString": '"%s" /S' % uninstaller}
    for name, data in expected.items():
        check(entry.get(name) == data, "%s: list entry %s = %r (%r)" % (what, name, data, entry.get(name)))
    size_kb = sum(os.path.getsize(os.path.join(folder, n)) for n in INSTALLED if os.path.exists(os.path.join(folder, n))) // 1024
    check(abs(entry.get("EstimatedSize", -100) - size_kb) <= 4,
          "%s: EstimatedSize %r KB is the folder's %d KB" % (what, entry.get("EstimatedSize"), size_kb))
    for app in APPS:
        v = values("%s\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % (root, app)) or {}
        check(v.get("LoadBehavior") == 3 and v.get("FriendlyName") == PRODUCT and "추가 기능" in v.get("Description", ""),
              "%s: %s lists Tarnwick.Connect with LoadBehavior 3 and Korean texts (%r)" % (what, app, v))
    for clsid in CLASSES:
        path64 = default_value("HKCR\\CLSID\\%s\\InprocServer32" % clsid, 64)
        path32 = default_value("HKCR\\CLSID\\%s\\InprocServer32" % clsid, 32)
        check(path64 is not None and path64.lower() == (folder_win + "\\KestrovaSE.dll").lower(),
              "%s: 64-bit class %s served by the installed library (%r)" % (what, clsid, path64))
        check(path32 is not None and path32.lower() == (folder_win + "\\kvax32.dll").lower(),
              "%s: 32-bit class %s served by the installed presence control (%r)" % (what, clsid, path32))


def check_removed(root, folder, what):
    check(not os.path.exists(folder), "%s: the program folder is gone (%s)" % (what, files_of(folder)))
    check(values(root + "\\" + ENTRY) is None, "%s: the list entry is gone" % what)
    for app in APPS:
        check(values("%s\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % (root, app)) is None,
              "%s: the %s add-in key is gone" % (what, app))
    for view in (64, 32):
        for clsid in CLASSES:
            check(not reg_query("HKCR\\CLSID\\" + clsid, view), "%s: class %s gone from the %d-bit view" % (what, clsid, view))


def uninstall_from_entry(root, folder, what):
    """Runs the entry's QuietUninstallString. The uninstaller hands over to a copy of itself in
    the temporary folder and returns at once, so the end is awaited on the folder."""
    command = (values(root + "\\" + ENTRY) or {}).get("QuietUninstallString", "")
    m = re.match(r'^"([^"]+)" /S$', command)
    if not check(m is not None, "%s: QuietUninstallString %r" % (what, command)):
        return
    # Not through pipes: the copy inherits them and would hold the reader until it ends.
    rc = subprocess.run(["wine", m.group(1), "/S"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        timeout=kvwine.i386_bound(60)).returncode
    check(rc == 0, "%s: the uninstaller started (exit %d)" % (what, rc))
    # The uninstaller, then its copy: two 32-bit starts.
    deadline = time.time() + kvwine.i386_bound(90, starts=2)
    while os.path.exists(folder) and time.time() < deadline:
        time.sleep(0.5)
    deadline = time.time() + 30
    while values(root + "\\" + ENTRY) is not None and time.time() < deadline:
        time.sleep(0.5)


def per_user_registration(p, library):
    """kvregister puts each library's classes and type library under HKCU\\Software\\Classes and
    nothing under the machine's; /u takes them away. One library at a time: Wine keeps one
    CLSID key for both views of the user's classes, where Windows keeps two."""
    folder_win = "C:\\kvsetup\\lib"
    shutil.copy(library, os.path.join(p.unix(folder_win), "KestrovaSE.dll"))
    for tool, name, view in (("kvregister64.exe", "KestrovaSE.dll", 64), ("kvregister32.exe", "kvax32.dll", 32)):
        dll = folder_win + "\\" + name
        what = "per-user registration of %s" % name
        rc, _ = wine("C:\\kvsetup\\" + tool, dll)
        check(rc == 0, "%s: exit %d" % (what, rc))
        for clsid in CLASSES:
            server = default_value("HKCU\\Software\\Classes\\CLSID\\%s\\InprocServer32" % clsid, view)
            check(server is not None and server.lower() == dll.lower(), "%s: user class %s (%r)" % (what, clsid, server))
            check(not reg_query("HKLM\\Software\\Classes\\CLSID\\" + clsid, view),
                  "%s: nothing in the machine's classes for %s" % (what, clsid))
        lib = "HKCU\\Software\\Classes\\TypeLib\\{085FFF9D-CE6C-490C-8A88-9CA82D39898E}\\1.0\\0\\win%d" % view
        check((default_value(lib, 64) or "").lower() == dll.lower(), "%s: user type library %s" % (what, lib))
        check(values("HKCU\\Software\\Classes\\Tarnwick.Connect") is not None, "%s: user ProgID" % what)
        rc, _ = wine("C:\\kvsetup\\" + tool, "/u", dll)
        check(rc == 0, "%s: /u exit %d" % (what, rc))
        left = [k for k in reg_query("HKCU\\Software\\Classes", 64, recursive=True)
                if any(x in k for x in CLASSES + ("Tarnwick.Connect", "KestrovaSE.SimTaskPane"))]
        check(left == [], "%s: /u leaves no user class entry (%s)" % (what, left))
    rc, _ = wine("C:\\kvsetup\\kvregister64.exe", "C:\\kvsetup\\missing.dll")
    check(rc == 3, "kvregister: a missing library gives exit 3 (%d)" % rc)


def host_loads_addin(hostsim, work, service, pid, what):
    """hostsim's word processor creates the registered add-in, connects it and gets its task
    pane; the add-in's start report carries pid."""
    script = os.path.join(work, "host.txt")
    open(script, "w", encoding="utf-8").write("wait-pane 259 10000\nquit\n")
    r = subprocess.run(["wine", hostsim, "--app", "word", "--script", "Z:" + script.replace("/", "\\")],
                       capture_output=True, timeout=180, cwd=os.path.dirname(hostsim))
    log = r.stdout.decode("utf-8", "replace").splitlines()
    ok = check(any('add-in "Tarnwick.Connect"' in l and "CoCreateInstance = S_OK" in l for l in log),
               "%s: created Tarnwick.Connect" % what)
    ok &= check(any("OnConnection(" in l and l.endswith("= S_OK") for l in log), "%s: OnConnection = S_OK" % what)
    ok &= check(any('CreateCTP(CTPAxID="KestrovaSE.SimTaskPane"' in l and "= S_OK" in l for l in log),
                "%s: the add-in created its task pane" % what)
    ok &= check(r.returncode == 0, "%s: the script ran through (exit %d)" % (what, r.returncode))
    ok &= check(any("logtype=exe" in t and "PID=" + pid in t for t in service.targets()),
                "%s: the add-in's start report carries the installed pid" % what)
    if not ok:
        print("\n".join("  %s: %s" % (what, l) for l in log[-40:]))


def screenshot(setup_win, screens):
    """The first page once it is on the screen (up to 30 s), then the program is ended."""
    proc = subprocess.Popen(["wine", setup_win], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.makedirs(screens, exist_ok=True)
    png = os.path.join(screens, "installer-welcome.png")
    mean, deadline = 0.0, time.time() + kvwine.i386_bound(30)
    # Xvfb's background is black; the page is mostly white. One more second lets it finish drawing.
    while mean <= 0.1 and time.time() < deadline:
        time.sleep(1)
        xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True)
        subprocess.run(["convert", "xwd:-", png], input=xwd.stdout)
        r = subprocess.run(["convert", png, "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"],
                           capture_output=True, text=True)
        mean = float(r.stdout or 0)
        if mean > 0.1:
            time.sleep(1)
            xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True)
            subprocess.run(["convert", "xwd:-", png], input=xwd.stdout)
    wine("taskkill", "/f", "/im", "KestrovaSE-setup.exe")
    try:
        proc.wait(30)
    except subprocess.TimeoutExpired:
        proc.kill()
    check(mean > 0.1, "screenshot of the first page: %s (mean brightness %.2f)" % (png, mean))


def main():
    ap = argparse.ArgumentParser()
    for name in ("setup", "library", "hold", "register64", "register32", "hostsim", "kvservice", "data", "screens"):
        ap.add_argument("--" + name, required=True)
    a = ap.parse_args()
    p = Prefix()
    work = tempfile.mkdtemp(prefix="kvsetup.", dir=p.root)
    templates = p.templates_with_one()
    tools = os.path.join(p.root, "drive_c", "kvsetup")
    os.makedirs(tools, exist_ok=True)
    shutil.copy(a.setup, os.path.join(tools, "KestrovaSE-setup.exe"))
    shutil.copy(a.hold, os.path.join(tools, "hold_library.exe"))
    shutil.copy(a.register64, os.path.join(tools, "kvregister64.exe"))
    shutil.copy(a.register32, os.path.join(tools, "kvregister32.exe"))
    setup = "C:\\kvsetup\\KestrovaSE-setup.exe"
    service = Service(a.kvservice, a.data, work)
    holder = None
    try:
        rc, _ = wine("reg", "add", SETTINGS, "/v", "service", "/d", "127.0.0.1:%d" % service.port, "/f", "/reg:64")
        check(rc == 0, "setup: service setting")
        before = snapshot(p.user_dir)

        screenshot(setup, a.screens)
        check(snapshot(p.user_dir) == before, "first page: showing it changed nothing")

        for bad in ("kv_code_of_16_ch", "kv&x=1", ""):
            rc, _ = wine(setup, "/S", "/CODE=" + bad)
            check(rc == EXIT_BAD_CODE, "/CODE=%r refused with exit %d (%d)" % (bad, EXIT_BAD_CODE, rc))
        check(snapshot(p.user_dir) == before, "refused /CODE: nothing changed")

        # Silent per-user install.
        rc, _ = wine(setup, "/S", "/CODE=" + CODE)
        check(rc == 0, "per-user install: exit %d" % rc)
        check_installed("HKCU", p.user_dir, p.user_dir_win, a.library, "per-user install")
        check(values("HKLM\\" + ENTRY) is None and not os.path.exists(p.all_dir),
              "per-user install: nothing for all users")
        settings = values(SETTINGS) or {}
        pid1 = settings.get("pid", "")
        check(settings.get("code") == CODE and UUID_RE.match(pid1) is not None,
              "per-user install: settings code=%r pid=%r" % (settings.get("code"), pid1))
        report = "/k_app/DataLog.asp?logtype=install&PID=%s&code=%s&version=%s" % (pid1, CODE, VERSION)
        check(service.wait_for(report) == 1, "per-user install: the install report reached kvservice: " + report)

        # The hosts find the add-in with no other preparation.
        host_loads_addin(a.hostsim, work, service, pid1, "hostsim")

        # A program holding the library: setup and uninstaller refuse and change nothing.
        ready, stop = os.path.join(work, "ready"), os.path.join(work, "stop")
        holder = subprocess.Popen(["wine", "C:\\kvsetup\\hold_library.exe", p.user_dir_win + "\\KestrovaSE.dll",
                                   "Z:" + ready.replace("/", "\\"), "Z:" + stop.replace("/", "\\")],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 30
        while not os.path.exists(ready) and time.time() < deadline and holder.poll() is None:
            time.sleep(0.1)
        if check(os.path.exists(ready), "held: the library is loaded by hold_library"):
            held = snapshot(p.user_dir)
            reports = len(service.targets())
            rc, _ = wine(setup, "/S", "/CODE=kvOTHER")
            check(rc == EXIT_IN_USE, "held: setup exits with %d (%d)" % (EXIT_IN_USE, rc))
            rc, _ = wine(p.user_dir_win + "\\uninstall.exe", "/S", "_?=" + p.user_dir_win)
            check(rc == EXIT_IN_USE, "held: the uninstaller exits with %d (%d)" % (EXIT_IN_USE, rc))
            check(snapshot(p.user_dir) == held, "held: files, keys and settings unchanged")
            check(len(service.targets()) == reports, "held: no report sent")
        open(stop, "w").close()
        holder.wait(30)
        holder = None

        # Upgrade in place over an installation with the self-update's leftovers.
        for leftover in ("KestrovaSE_new.dll", "KestrovaSE.dll_old"):
            shutil.copy(a.library, os.path.join(p.user_dir, leftover))
        rc, _ = wine(setup, "/S")
        check(rc == 0, "upgrade: exit %d" % rc)
        check_installed("HKCU", p.user_dir, p.user_dir_win, a.library, "upgrade")
        check(entries_named(PRODUCT) == ["HKEY_CURRENT_USER\\" + ENTRY],
              "upgrade: one list entry (%s)" % entries_named(PRODUCT))
        settings = values(SETTINGS) or {}
        pid2 = settings.get("pid", "")
        check(settings.get("code") == CODE, "upgrade: the earlier code stays (%r)" % settings.get("code"))
        check(UUID_RE.match(pid2) is not None and pid2 != pid1, "upgrade: a new pid %r" % pid2)
        report = "/k_app/DataLog.asp?logtype=install&PID=%s&code=%s&version=%s" % (pid2, CODE, VERSION)
        check(service.wait_for(report) == 1, "upgrade: install report " + report)

        # Silent removal through the list entry.
        for leftover in ("KestrovaSE_new.dll", "KestrovaSE.dll_old"):
            shutil.copy(a.library, os.path.join(p.user_dir, leftover))
        uninstall_from_entry("HKCU", p.user_dir, "uninstall")
        check_removed("HKCU", p.user_dir, "uninstall")
        report = "/k_app/DataLog.asp?logtype=uninstall&PID=%s&version=%s" % (pid2, VERSION)
        check(service.wait_for(report) == 1, "uninstall: the uninstall report reached kvservice: " + report)
        settings = values(SETTINGS) or {}
        check(settings.get("pid") == pid2 and settings.get("code") == CODE,
              "uninstall: the settings key stays (%r)" % settings)
        check(files_of(templates) == {"이력서.docx"}, "uninstall: the templates folder stays (%s)" % files_of(templates))
        check(entries_named(PRODUCT) == [], "uninstall: no list entry left")

        # For all users.
        rc, _ = wine(setup, "/S", "/ALLUSERS")
        check(rc == 0, "all users: exit %d" % rc)
        check_installed("HKLM", p.all_dir, p.all_dir_win, a.library, "all users")
        check(values("HKCU\\" + ENTRY) is None and not os.path.exists(p.user_dir), "all users: nothing per user")
        # The presence control for the per-user registration below, as the setup unpacked it.
        os.makedirs(p.unix("C:\\kvsetup\\lib"), exist_ok=True)
        if os.path.exists(os.path.join(p.all_dir, "kvax32.dll")):
            shutil.copy(os.path.join(p.all_dir, "kvax32.dll"), p.unix("C:\\kvsetup\\lib"))
        uninstall_from_entry("HKLM", p.all_dir, "all users uninstall")
        check_removed("HKLM", p.all_dir, "all users uninstall")
        check(entries_named(PRODUCT) == [], "all users uninstall: no list entry left")

        per_user_registration(p, a.library)
    finally:
        if holder:
            holder.kill()
        service.stop()
        if failures:
            print("--- service requests")
            print("\n".join(service.targets()))
        shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
