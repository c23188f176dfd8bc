#!/usr/bin/env python3
"""The member login, the logout, the login-complete dialog and the about box under Wine.

Runs inside the prefix that wine-run.sh --shell prepared, against kvservice. The task-pane
control of the built KestrovaSE.dll (registered here) holds the login level; the popup runs in
membership_driver.exe with the library's resources. Screenshots go to SCREENS.

  membership_test.py DRIVER_EXE KESTROVASE_DLL NATIVE_OUT_DIR SOURCE_DIR SCREENS
"""
import os
import re
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kvwine import Service, Shooter, check, failures, wine, winpath  # noqa: E402

REFUSED = "아이디나 비밀번호가 일치하지 않습니다.\\r\\n다시 로그인 하시길 바랍니다"
UNREACHABLE = ("서버에 접속 할 수 없어 로그아웃 하지 못했습니다.\\r\\n네트워크 연결상태를 확인하시거나\\r\\n"
               "잠시후에 다시 시도하시길 바랍니다")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def lines(out, prefix):
    return [l[len(prefix):].strip() for l in out.splitlines() if l.startswith(prefix)]


def one(out, prefix):
    found = lines(out, prefix)
    return found[0] if len(found) == 1 else None


def login_flow(driver, dll, service, work):
    key = "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0"
    ok = all(wine("reg", "add", key, "/v", v, "/d", d, "/f", "/reg:64")[0] == 0
             for v, d in (("service", "127.0.0.1:%d" % service.port), ("cookie", "http://127.0.0.1/")))
    check(ok and wine("regsvr32", "/s", winpath(dll))[0] == 0, "service settings written, KestrovaSE.dll registered")
    rc, out = wine(driver, "login", winpath(dll), winpath(work), "kvfull", "wrong1", "full1234", str(free_port()),
                   timeout=240)
    sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
    check(rc == 0, "the driver ran to its end (exit %d)" % rc)
    t = service.requests("cookie")
    targets = [x for x, _ in t]

    check(one(out, "created level=") == "-1", "a new pane is not logged in (-1)")
    check(one(out, "logged-out popup=") == "1", "logged out, a member entry opens the popup")

    # Wrong password.
    check(one(out, "wrong messagebox") == 'caption="로그인 실패" text="%s"' % REFUSED,
          "wrong password: the refusal, caption 로그인 실패 (%s)" % one(out, "wrong messagebox"))
    check(lines(out, "wrong icon=") == ["error"] and lines(out, "unreachable icon=") == ["error"]
          and lines(out, "logout icon=") == ["information"],
          "icons: error for the refusal and the unreachable service, information for the logout (%s %s %s)" %
          (lines(out, "wrong icon="), lines(out, "unreachable icon="), lines(out, "logout icon=")))
    check(one(out, "wrong boxes=") == "1", "wrong password: exactly one message, none after the reload (%s)" %
          one(out, "wrong boxes="))
    check(one(out, "start focus-on-id=") == "1", "the popup opens with the focus in the id field")
    check(one(out, "wrong focus-on-id=") == "1", "wrong password: the focus goes to the id field")
    check(one(out, "wrong form-again=") == "1", "wrong password: the login form is loaded again")
    sent = [x for x in targets if x.startswith("/k_app/login.asp?")]
    check(len(sent) == 2 and "id=kvfull" in sent[0] and "pwd=wrong1" in sent[0] and "pwd=full1234" in sent[1]
          and all("PID=" in x and "bms_code=" in x for x in sent),
          "the page's form went out twice with id, pwd, PID and bms_code (%s)" % sent)
    first = targets.index(sent[0]) if sent else 0
    second = targets.index(sent[1]) if len(sent) > 1 else len(targets)
    check("/k_app/login.asp" in targets[first + 1:second], "the form page itself was fetched again after the refusal")

    # Right password.
    check(one(out, "right complete-dialog") is not None and "popup-open=1" in one(out, "right complete-dialog")
          and "cancel-visible=0" in one(out, "right complete-dialog"),
          "right password: the login-complete dialog over the open popup (%s)" % one(out, "right complete-dialog"))
    check(one(out, "right popup-open-before-ok=") == "1", "the popup waits for the dialog to be closed")
    check(one(out, "login result=") == "1", "the popup ends with 1 after the login")
    check(one(out, "after-login level=") == "1", "put_SearchList: the pane's level is the served level 1 (%s)" %
          one(out, "after-login level="))
    status = [c for x, c in t if x == "/k_app/login_status.asp"]
    check(any(c and "KVMEMBER=kvfull" in c for c in status), "the status query carried the member's cookie")
    check(one(out, "logged-in popup=") == "0", "logged in, the member entry opens directly, no popup")
    after = targets[targets.index(sent[-1]):] if sent else []
    check(any(x.startswith("/k_app/files/") for x in after), "the member template was fetched")

    # Logout.
    check(one(out, "logout button-visible=") == "1", "logged in, the popup offers the logout")
    check(one(out, "logout messagebox") == 'caption="로그아웃" text="로그아웃 되었습니다"',
          "logout: 로그아웃 되었습니다, caption 로그아웃 (%s)" % one(out, "logout messagebox"))
    check(one(out, "logout boxes=") == "1", "logout: exactly one message")
    check(one(out, "logout result=") == "1", "logout: the popup ends with 1")
    check("/k_app/logout.asp" in targets, "the logout page was loaded")
    check(one(out, "after-logout level=") == "-1", "after the logout the pane's level is -1 (%s)" %
          one(out, "after-logout level="))

    # Logout without a service.
    check(one(out, "unreachable messagebox") == 'caption="로그아웃" text="%s"' % UNREACHABLE,
          "logout without a service says it could not reach it (%s)" % one(out, "unreachable messagebox"))
    check(one(out, "unreachable popup-open=") == "1" and one(out, "unreachable result=") == "2",
          "and the popup stays open until closed (2)")


def fits(line):
    """A picture line "place=WxH shown=WxH client=WxH": the bitmap is its place's size (within a
    pixel) and the place is the client area."""
    m = re.match(r"place=(\d+)x(\d+) shown=(\d+)x(\d+) client=(\d+)x(\d+)$", line or "")
    if not m:
        return False
    pw, ph, sw, sh, cw, ch = (int(x) for x in m.groups())
    return abs(pw - sw) <= 1 and abs(ph - sh) <= 1 and (pw, ph) == (cw, ch)


def set_dpi(dpi):
    rc, _ = wine("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                 str(dpi), "/f")
    check(rc == 0, "LogPixels %d written" % dpi)


def dialogs_scaled(driver, dll, work):
    """The two dialogs at 144 and 192 DPI: each picture drawn for its place."""
    try:
        for dpi in (144, 192):
            set_dpi(dpi)
            rc, out = wine(driver, "dialogs", winpath(dll), winpath(work), "-%ddpi" % dpi, timeout=120)
            sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
            check(rc == 0, "%d DPI: the dialogs driver ran to its end" % dpi)
            check(fits(one(out, "complete ok fit ")), "%d DPI: the login-complete picture fills the dialog (%s)" %
                  (dpi, one(out, "complete ok fit ")))
            about = lines(out, "about fit ")
            check(len(about) == 3 and all(fits(x) for x in about), "%d DPI: the about picture fills the box (%s)" %
                  (dpi, about))
            check(lines(out, "about result=") == ["1", "1", "2"], "%d DPI: about box: OK, OK, Escape" % dpi)
    finally:
        set_dpi(96)


def dialogs(driver, dll, work):
    rc, out = wine(driver, "dialogs", winpath(dll), winpath(work), "-96dpi", timeout=120)
    sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
    check(rc == 0, "the dialogs driver ran to its end")
    about = lines(out, "about fit ")
    check(fits(one(out, "complete ok fit ")) and len(about) == 3 and all(fits(x) for x in about),
          "96 DPI: both pictures drawn for their dialogs (%s; %s)" % (one(out, "complete ok fit "), about))
    for name, result in (("ok", 1), ("escape", 2), ("close-box", 2), ("no-browser", 1)):
        opened = one(out, "complete %s open" % name) or ""
        check('caption="인증 완료"' in opened and "picture=285x191x24 fills=1" in opened and "caption-bar=1" in opened
              and "sysmenu=1" in opened and 'ok="확인"' in opened and "cancel-visible=0" in opened
              and "focus-ok=1" in opened,
              "login-complete dialog (%s): caption, bitmap 265, hidden cancel, focus on OK (%s)" % (name, opened))
        check((one(out, "complete %s result=" % name) or "").startswith(str(result)),
              "login-complete dialog: %s gives %d" % (name, result))
    check(one(out, "complete no-browser result=") == "1 browser=0",
          "it opens and works where its hidden browser cannot be created")
    about = lines(out, "about own=")
    check(len(about) == 3 and about[0] == '"0.9.96.6" newest="0.9.9.7" caption-bar=0 ok="확인"',
          "about box: own version, the newest announced, no caption (%s)" % (about[:1],))
    check(len(about) == 3 and about[1].startswith('"0.9.96.6" newest=""'),
          "about box without an update check: the second line empty")
    check(lines(out, "about result=") == ["1", "1", "2"], "about box: OK gives 1, Escape 2")


def main():
    driver, dll, native, source, screens = sys.argv[1:6]
    os.makedirs(screens, exist_ok=True)
    work = tempfile.mkdtemp(prefix="membership-")
    shooter = Shooter(work, screens)
    shooter.start()
    service = Service(os.path.join(native, "kvservice"), os.path.join(source, "tools/kvservice/data"), work)
    try:
        dialogs(driver, dll, work)
        dialogs_scaled(driver, dll, work)
        login_flow(driver, dll, service, work)
    finally:
        service.stop()
        shooter.stopped = True
        for name in os.listdir(work):
            if name.endswith(".bmp"):
                subprocess.run(["convert", os.path.join(work, name), os.path.join(screens, name[:-4] + ".png")])
    for name in ("login-complete", "logout-message", "login-refused", "login-complete-96dpi", "about-96dpi",
                 "login-complete-144dpi", "about-144dpi", "login-complete-192dpi", "about-192dpi"):
        check(os.path.exists(os.path.join(screens, name + ".png")), "screenshot %s.png" % name)
    print("%d failed" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
