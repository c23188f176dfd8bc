#!/usr/bin/env python3
"""The preview popup, the loading splash and the search box under Wine, against kvservice.

Runs inside the prefix that wine-run.sh --shell prepared. The popup and the splash run in
popup_driver.exe with the resources of the built KestrovaSE.dll; the search box runs in the
registered control, hosted by the driver as a container that offers keys to the control.
Screenshots go to SCREENS.

  popup_test.py POPUP_DRIVER_EXE KESTROVASE_DLL NATIVE_OUT_DIR SOURCE_DIR SCREENS
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kvwine import Service, Shooter, check, failures, winpath  # noqa: E402
from kvwine import wine as wine_run  # noqa: E402

PLACEHOLDER = "필요한 서식을 입력해 주세요"
MESSAGES = {
    "logged_in": "현재 정상적으로 로그인이 되어 있습니다.",
    0: "케스트로바 회원인증 후 누구나 이용 가능합니다",
    1: "본 컨텐츠는 케스트로바 정회원 서식으로 정회원인증 후 이용 가능합니다",
    2: "본 컨텐츠는 케스트로바 기업/프리미엄 서식으로 회원인증 후 이용 가능합니다",
}
ALL_IDS = {234, 223, 236, 219, 216, 225, 230, 228, 229, 211, 212, 215, 235, 231, 232, 233, 226, 2, 213}


def wine(*args, timeout=120):
    return wine_run(*args, timeout=timeout, with_stderr=True)


def run(driver, *args, timeout=120):
    rc, out, err = wine(driver, *args, timeout=timeout)
    out = out.replace("\r\n", "\n")
    sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
    return rc, out


def controls(out):
    found = {}
    for m in re.finditer(r'^ctl (\d+) class=(\S+) visible=(\d) bitmap=(\d+) text="(.*)"$', out, re.M):
        found[int(m.group(1))] = {"cls": m.group(2), "visible": m.group(3) == "1", "bitmap": int(m.group(4)),
                                  "text": m.group(5)}
    return found


def expected_popup(level, cls):
    """What the popup shows, worked out from the rules: (visible ids, message, bitmaps by id)."""
    logged_in = level >= 0
    shown = {216, 225, 2, 231, 232, 233, 219}
    shown |= {226} if logged_in else {211, 212, 228, 229, 215}
    if logged_in and level != 3:
        shown |= {230, 235}
    shown |= {234} if cls == -1 else {223, 236}
    if cls == -1:
        message = MESSAGES["logged_in"] if logged_in else ""
    else:
        message = MESSAGES.get(cls, "")
    upgrade = {-1: (266, 268), 0: (260, 267), 1: (260, 267), 2: (266, 268)}.get(cls, (0, 0))
    bitmaps = {219: 257, 2: 256, 215: 258, 226: 259, 230: upgrade[0], 235: upgrade[1], 231: 0, 232: 0, 233: 0}
    return shown, message, bitmaps


def popup_cases(driver, dll, service, work):
    shots = {(-1, 1): "popup-class1-loggedout", (3, 1): "popup-level3-class1", (-1, -1): "popup-login",
             (0, -1): "popup-login-loggedin"}
    for cls in (-1, 0, 1, 2, 7):
        for level in (-1, 0, 3):
            name = "level %d class %d" % (level, cls)
            rc, out = run(driver, "popup", winpath(dll), str(service.port), str(level), str(cls), winpath(work),
                          shots.get((level, cls), "-"))
            found = controls(out)
            shown, message, bitmaps = expected_popup(level, cls)
            check(rc == 0 and set(found) == ALL_IDS, "%s: every control of dialog 136 is there (%s)" %
                  (name, sorted(ALL_IDS ^ set(found))))
            visible = {i for i, c in found.items() if c["visible"]}
            check(visible == shown, "%s: visible controls (extra %s, missing %s)" %
                  (name, sorted(visible - shown), sorted(shown - visible)))
            check(found.get(225, {}).get("text") == message, "%s: message %r" % (name, found.get(225, {}).get("text")))
            got = {i: found.get(i, {}).get("bitmap") for i in bitmaps}
            check(got == bitmaps, "%s: button bitmaps %s" % (name, got if got != bitmaps else ""))
            title = "회원인증" if cls == -1 else "사업계획서_창업"
            check(found.get(216, {}).get("text") == title, "%s: title" % name)
            m = re.search(r"^preview kind=(\w+) rect=\S+ document=(\d) coloured=(\d+) of (\d+)", out, re.M)
            if cls != -1:
                check(m is not None and m.group(1) == "form" and m.group(2) == "1" and
                      int(m.group(3)) > int(m.group(4)) // 10,
                      "%s: the built-in browser drew the preview image into the preview rectangle (%s)" %
                      (name, m.group(0) if m else "no preview line"))
            check(re.search(r"^login document=1 id=1 pwd=1 submit=1", out, re.M) is not None,
                  "%s: the hidden browser holds the service's login page" % name)
            check("result=2" in out, "%s: closed gives 2" % name)


def popup_buttons(driver, dll, service, work):
    base = "http://127.0.0.1:%d" % service.port
    ident = "&code=kvtest&PID={11111111-2222-3333-4444-555555555555}"
    rc, out = run(driver, "popup", winpath(dll), str(service.port), "-1", "1", winpath(work), "-", "219")
    check(("opened %s/k_app/template_view.asp?idx=111%s" % (base, ident)) in out and "result=2" in out,
          "219 opens the template's page with code and PID; the popup stays open")
    rc, out = run(driver, "popup", winpath(dll), str(service.port), "0", "1", winpath(work), "-", "230")
    check(("opened %s/weekupdate/pindex.asp" % base) in out, "230 opens the weekly-update page")
    rc, out = run(driver, "popup", winpath(dll), str(service.port), "-1", "-1", winpath(work), "-", "231")
    check(("opened %s/k_app/PageProcessing.asp?uflag=1%s" % (base, ident)) in out, "231 opens the sign-up page")
    rc, out = run(driver, "popup", winpath(dll), str(service.port), "-1", "-1", winpath(work), "-", "215")
    check("no message box after the click" in out and "opened" not in out and "result=2" in out,
          "215 without the membership part's submission sends nothing and shows nothing")
    before = len(service.targets())
    rc, out = run(driver, "popup", winpath(dll), str(service.port), "0", "-1", winpath(work), "-", "226")
    t = service.targets()[before:]
    check('messagebox "로그아웃" text="로그아웃 되었습니다"' in out and "result=1" in out
          and "/k_app/logout.asp" in t,
          "226 loads the logout page, says so once, and the popup ends with 1")


def set_dpi(dpi):
    """The prefix's DPI for the programs started from now on (Wine reads it at start-up)."""
    rc, _, _ = wine("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                    str(dpi), "/f")
    check(rc == 0, "LogPixels %d written" % dpi)


def look(out):
    """The popup's scale, focus, tab order, pictures against their places, and its ground."""
    m = re.search(r"^dpi=(\d+) focus=(-?\d+)", out, re.M)
    tabs = re.search(r"^taborder((?: -?\d+)*)$", out, re.M)
    ground = re.search(r"^ground=([0-9A-F]+) window=([0-9A-F]+)$", out, re.M)
    return {
        "dpi": int(m.group(1)) if m else None,
        "focus": int(m.group(2)) if m else None,
        "tabs": [int(x) for x in tabs.group(1).split()] if tabs else [],
        "pictures": [tuple(int(x) for x in p) for p in
                     re.findall(r"^picture (-?\d+) place=(\d+)x(\d+) bitmap=(\d+)x(\d+)$", out, re.M)],
        "buttons": [tuple(int(x) for x in b) for b in
                    re.findall(r"^button (\d+) place=\d+x\d+ right-ink=(\d+) of (\d+) bottom-ink=(\d+) of (\d+)$",
                               out, re.M)],
        "ground": ground.groups() if ground else None,
    }


def pictures_fill_places(name, seen, expected_buttons):
    check(seen["pictures"] and all(abs(pw - bw) <= 1 and abs(ph - bh) <= 1
                                   for _, pw, ph, bw, bh in seen["pictures"]),
          "%s: every picture static's bitmap is its place's size (%s)" % (name, seen["pictures"]))
    check({b[0] for b in seen["buttons"]} == expected_buttons,
          "%s: the visible picture buttons were drawn (%s)" % (name, sorted(b[0] for b in seen["buttons"])))
    check(all(r == rt and b == bt for _, r, rt, b, bt in seen["buttons"]),
          "%s: each button's picture reaches its right and bottom edges (%s)" % (name, seen["buttons"]))


def popup_scaled(driver, dll, service, work):
    """The popup at 96, 144 and 192 DPI: pictures for their places, the keyboard, the logout
    message; then at 96 DPI in high contrast."""
    try:
        for dpi in (96, 144, 192):
            set_dpi(dpi)
            name = "popup-loggedout-%ddpi" % dpi
            rc, out = run(driver, "popup", winpath(dll), str(service.port), "-1", "-1", winpath(work), name, "1013")
            seen = look(out)
            check(seen["dpi"] == dpi, "%s: the popup runs at %d DPI (%s)" % (name, dpi, seen["dpi"]))
            pictures_fill_places(name, seen, {219, 215, 2})
            check(seen["focus"] == 211, "%s: the focus starts in the id field (%s)" % (name, seen["focus"]))
            check(seen["tabs"][:3] == [211, 212, 215] and seen["tabs"][-1] == 2,
                  "%s: tab order id, password, log-in, ..., close (%s)" % (name, seen["tabs"]))
            check("login submitted" in out and "opened" not in out and "open after the key=1" in out,
                  "%s: Enter in the id field logs in; no page opens and the popup stays" % name)

            name = "popup-level3-%ddpi" % dpi
            rc, out = run(driver, "popup", winpath(dll), str(service.port), "3", "1", winpath(work), name, "1027")
            seen = look(out)
            check(seen["dpi"] == dpi, "%s: the popup runs at %d DPI" % (name, dpi))
            pictures_fill_places(name, seen, {219, 226, 2})
            check(seen["focus"] == 226, "%s: logged in, the focus starts on the log-out button (%s)" %
                  (name, seen["focus"]))
            check("open after the key" not in out and "result=2" in out and "login submitted" not in out,
                  "%s: Escape closes the popup (2)" % name)

            name = "logout-%ddpi" % dpi
            rc, out = run(driver, "popup", winpath(dll), str(service.port), "0", "-1", winpath(work), name, "226")
            pictures_fill_places(name, look(out), {219, 226, 2, 230, 235})
            check('messagebox "로그아웃" text="로그아웃 되었습니다"' in out and "result=1" in out and
                  ("saved %s-message.bmp ok" % name) in out,
                  "%s: the logout message shown (and pictured) at %d DPI" % (name, dpi))
        set_dpi(96)
        os.environ["KV_TEST_HIGH_CONTRAST"] = "1"
        try:
            rc, out = run(driver, "popup", winpath(dll), str(service.port), "-1", "-1", winpath(work),
                          "popup-high-contrast")
        finally:
            del os.environ["KV_TEST_HIGH_CONTRAST"]
        seen = look(out)
        check(seen["ground"] is not None and seen["ground"][1] == "000000" and seen["ground"][0] == seen["ground"][1],
              "high contrast: the popup's ground is the system's window colour (%s)" % (seen["ground"],))
        check(seen["buttons"] and all(r == rt for _, r, rt, _, _ in seen["buttons"]),
              "high contrast: the buttons are drawn flat over their whole places (%s)" % seen["buttons"])
    finally:
        set_dpi(96)


def splash(driver, dll, work):
    rc, out = run(driver, "splash", winpath(dll), winpath(work), "splash")
    check(re.search(r"^splash shown=1 size=255 180 visible=1", out, re.M) is not None,
          "the splash is the size of bitmap 273 (255 x 180) and visible")
    m = re.search(r"^splash pixels matching=(\d+) of (\d+)", out, re.M)
    check(m is not None and int(m.group(2)) > 0 and int(m.group(1)) == int(m.group(2)),
          "the splash was painted with bitmap 273 before the thread blocks (%s)" % (m.group(0) if m else "no line"))
    check("splash destroyed=1" in out, "the splash window goes with its destruction")


def keywords_between(targets, start, end):
    i = targets.index("/kvmark/" + start) if ("/kvmark/" + start) in targets else None
    j = targets.index("/kvmark/" + end) if ("/kvmark/" + end) in targets else None
    if i is None or j is None:
        return None
    # The search's requests with a keyword (lists and usage log); the best list has none, so an
    # empty keyword shows as "".
    out = []
    for t in targets[i + 1:j]:
        if t.startswith("/k_app/search_certform") or t.startswith("/k_app/search_freeform"):
            out.append(t.split("keyword=", 1)[1].split("&", 1)[0] if "keyword=" in t else "")
        elif t.startswith("/k_app/search_bestform"):
            out.append("")
    return out


def search_box(driver, dll, service, work):
    rc, _, _ = wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d",
                    "127.0.0.1:%d" % service.port, "/f", "/reg:64")
    check(rc == 0, "service setting written")
    rc, _, _ = wine("regsvr32", "/s", winpath(dll))
    check(rc == 0, "regsvr32 KestrovaSE.dll")
    keyword = "이력서"
    rc, out = run(driver, "pane", str(service.port), winpath(work),
                  "state", "shot", "searchbox-placeholder", "focus-box", "state", "type", keyword, "state",
                  "mark", "enter", "key", "13", "mark", "nav",
                  "key", "9", "key", "37", "key", "38", "key", "39", "key", "40", "key", "33", "key", "34",
                  "key", "35", "key", "36", "mark", "nav-end", "state",
                  "focus-other", "state", "focus-box", "state", "shot", "searchbox-text",
                  "clear", "focus-other", "state",
                  "mark", "empty", "focus-pane", "key", "13", "mark", "empty-end", timeout=200)
    check(rc == 0, "the pane driver ran every step (exit %d)" % rc)
    check(re.search(r"^box class=KvMyEdit style=5[0-9A-F]{7}", out, re.M) is not None and
          re.search(r"^box class=\S+ style=([0-9A-F]+)", out, re.M) and
          (int(re.search(r"^box class=\S+ style=([0-9A-F]+)", out, re.M).group(1), 16) &
           (0x00800000 | 0x0080 | 0x00100000)) == 0,
          "the box is the EDIT superclass, a visible child without border or automatic scrolling")
    states = re.findall(r'^box text="(.*)" face=(\S+) height=(-?\d+) weight=(\d+) italic=(\d) charset=(\d+) '
                        r'colour=([0-9A-F]+) transparent=(\d) focus=(\d)$', out, re.M)
    check(len(states) == 7, "seven box states printed (%d)" % len(states))
    if len(states) == 7:
        def is_placeholder(s):
            return s[0] == PLACEHOLDER and s[1] == "굴림" and s[2] == "12" and s[3] == "400" and s[4] == "1" \
                and s[5] == "129" and s[6] == "C0C0C0" and s[7] == "1"

        def is_entered(s, text):
            return s[0] == text and s[1] == "굴림" and s[3] == "600" and s[4] == "0" and s[6] == "000000"

        check(is_placeholder(states[0]), "created with the grey italic placeholder: %s" % (states[0],))
        check(is_entered(states[1], "") and states[1][8] == "1", "focus empties it, bold upright black: %s" %
              (states[1],))
        check(is_entered(states[2], keyword), "the Korean keyword typed: %s" % (states[2],))
        check(is_entered(states[3], keyword), "Tab and the navigation keys leave the text: %s" % (states[3],))
        check(is_entered(states[4], keyword), "focus lost with text: the text stays: %s" % (states[4],))
        check(is_entered(states[5], keyword), "focus again: no clearing: %s" % (states[5],))
        check(is_placeholder(states[6]), "the empty box losing the focus shows the placeholder again: %s" %
              (states[6],))
    check(re.search(r"^translate key=13 hr=S_FALSE", out, re.M) is not None, "Enter is reported not translated")
    for vk in (37, 38, 39, 40, 33, 34, 35, 36):
        check(re.search(r"^translate key=%d hr=S_FALSE" % vk, out, re.M) is not None,
              "navigation key %d stays with the pane" % vk)
    t = service.targets()
    cp949 = keyword.encode("cp949").decode("latin-1")
    got = keywords_between(t, "enter", "nav")
    check(got is not None and len(got) >= 2 and all(k == cp949 for k in got),
          "Enter in the box runs the search for the typed keyword (%s)" % got)
    got = keywords_between(t, "nav", "nav-end")
    check(got == [], "Tab and the arrow and paging keys do not search (%s)" % got)
    got = keywords_between(t, "empty", "empty-end")
    placeholder = PLACEHOLDER.encode("cp949").decode("latin-1")
    check(got is not None and len(got) >= 1 and all(k == "" for k in got),
          "Enter elsewhere in the pane searches; the placeholder is never the keyword (%s)" % got)
    check(not any(placeholder in x for x in t), "the placeholder text never reached the service")


def hostsim_script(hostsim, work, name, steps):
    path = os.path.join(work, name + ".txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(steps) + "\n")
    log = os.path.join(work, name + ".log")
    with open(log, "wb") as out:
        rc = subprocess.run(["wine", hostsim, "--app", "word", "--script", winpath(path), "--screens",
                             winpath(os.path.join(work, "hostsim-screens"))], stdout=out, stderr=subprocess.DEVNULL,
                            cwd=os.path.dirname(hostsim), timeout=240).returncode
    lines = open(log, encoding="utf-8", errors="replace").read().splitlines()
    if rc != 0:
        sys.stdout.write("".join("     | " + l + "\n" for l in lines[-40:]))
    return rc, lines


def search_keywords(targets):
    """The keyword of every member-list request (one per search); "" for the best list."""
    out = []
    for t in targets:
        if t.startswith("/k_app/search_certform.asp?ext="):
            out.append(t.split("keyword=", 1)[1].split("&", 1)[0] if "keyword=" in t else "")
        elif t.startswith("/k_app/search_bestform.asp?ext="):
            out.append("")
    return out


def search_box_in_hostsim(hostsim, service, work, screens):
    """The control in hostsim's task pane: keys reach it the way an office host offers them."""
    for app in ("Word", "Excel", "PowerPoint"):
        wine("reg", "add", "HKCU\\Software\\Microsoft\\Office\\%s\\Addins\\Tarnwick.Connect" % app, "/v",
             "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")
    keyword = "이력서"
    cp949 = keyword.encode("cp949").decode("latin-1")
    placeholder = PLACEHOLDER.encode("cp949").decode("latin-1")
    before = len(service.targets())
    rc, lines = hostsim_script(hostsim, work, "keys", [
        "wait-pane 259 15000", "sleep 500", "echo typed", "pane-type 1001 " + keyword, "key RETURN", "sleep 2500",
        "expect-pane 1001 " + keyword, "echo navigation",
        "key TAB", "key LEFT", "key RIGHT", "key UP", "key DOWN", "key HOME", "key END", "key PRIOR", "key NEXT",
        "sleep 2500", "expect-pane 1001 " + keyword, "screenshot searchbox-hostsim", "quit"])
    check(rc == 0, "hostsim: typed keyword, Enter, navigation keys: the script ran (exit %d)" % rc)
    words = search_keywords(service.targets()[before:])
    check(words.count(cp949) == 1, "hostsim: Enter in the box searched the typed keyword once, "
          "Tab and the navigation keys did not search again (%d keyword requests)" % words.count(cp949))
    check(any("TranslateAccelerator(WM_KEYDOWN vk=13) = S_FALSE" in l for l in lines),
          "hostsim: Enter reached the control's accelerator handling and was reported not translated")
    check(all(any("TranslateAccelerator(WM_KEYDOWN vk=%d) = S_FALSE" % vk in l for l in lines)
              for vk in (37, 38, 39, 40, 33, 34, 35, 36)),
          "hostsim: the arrow and paging keys stayed with the pane (not translated)")

    before = len(service.targets())
    rc, lines = hostsim_script(hostsim, work, "placeholder", [
        "wait-pane 259 15000", "sleep 500", "expect-pane 1001 " + PLACEHOLDER, "pane-click 1001", "sleep 300",
        "expect-pane 1001 ", "pane-click 1002", "sleep 2500", "expect-pane 1001 " + PLACEHOLDER, "quit"])
    check(rc == 0, "hostsim: placeholder at creation, emptied by the click into the box, back when the empty box "
          "loses the focus (exit %d)" % rc)
    words = search_keywords(service.targets()[before:])
    check(len(words) >= 1 and all(w == "" for w in words) and not any(placeholder in t for t in service.targets()),
          "hostsim: the searches sent an empty keyword, never the placeholder (%s)" % words)
    shots = os.path.join(work, "hostsim-screens")
    for name in os.listdir(shots) if os.path.isdir(shots) else []:
        if name.endswith(".bmp"):
            subprocess.run(["convert", os.path.join(shots, name), os.path.join(screens, name[:-4] + ".png")])


def main():
    driver, dll, native_out, src, screens = sys.argv[1:6]
    hostsim = sys.argv[6] if len(sys.argv) > 6 else ""
    service_bin = os.path.join(native_out, "kvservice")
    if not os.access(service_bin, os.X_OK):
        print("FAIL: kvservice must be built natively first")
        return 1
    os.makedirs(screens, exist_ok=True)
    work = tempfile.mkdtemp(prefix="kvpopup.")
    service = Service(service_bin, os.path.join(src, "tools/kvservice/data"), work)
    shooter = Shooter(work, screens)
    shooter.start()
    try:
        splash(driver, dll, work)
        popup_cases(driver, dll, service, work)
        popup_buttons(driver, dll, service, work)
        popup_scaled(driver, dll, service, work)
        search_box(driver, dll, service, work)
        if hostsim:
            search_box_in_hostsim(hostsim, service, work, screens)
        else:
            check(False, "hostsim.exe is built")
    finally:
        shooter.stopped = True
        service.stop()
        for name in os.listdir(work):
            if name.endswith(".bmp"):
                subprocess.run(["convert", os.path.join(work, name), os.path.join(screens, name[:-4] + ".png")])
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
