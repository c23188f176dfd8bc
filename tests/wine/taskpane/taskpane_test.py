#!/usr/bin/env python3
"""The task-pane control under Wine in an independent container (AtlAxWin), against kvservice.

Runs inside the prefix that wine-run.sh --shell prepared. Registers KestrovaSE.dll with the
"service" setting pointing at kvservice on a loopback port, then drives pane_driver.exe:
creation at 300 x 700 and 800 x 700, put_SearchText by name through IDispatch, the window tree
read by another process and compared with the list's layout rules (worked out here from the
search's results as the native kvsearch reports them), header clicks, put_SearchFileName, and
the pane with the service stopped. Screenshots of the pane go to SCREENS.

  taskpane_test.py PANE_DRIVER_EXE KESTROVASE_DLL NATIVE_OUT_DIR NATIVE_BUILD_DIR SOURCE_DIR SCREENS
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kvwine import Service, Shooter, check, failures, winpath  # noqa: E402
from kvwine import wine as wine_run  # noqa: E402


def find(*candidates):
    for c in candidates:
        if os.path.isfile(c) and os.access(c, os.X_OK):
            return c
    return None


def wine(*args, timeout=120):
    return wine_run(*args, timeout=timeout, with_stderr=True)


def kvsearch(binary, port, keyword):
    r = subprocess.run([binary, "--service", "127.0.0.1:%d" % port, "--host", "word", keyword],
                       capture_output=True, text=True, timeout=60)
    slots = []
    summary = {}
    for line in r.stdout.splitlines():
        f = line.split("\t")
        if len(f) >= 12:
            slots.append({"visible": int(f[1]), "enabled": int(f[2]), "title": f[8]})
        elif line.startswith("selected="):
            summary = {k: int(v) for k, v in (p.split("=") for p in line.split())}
    return slots, summary


def read_tree(path):
    rows = []
    for line in open(path, encoding="utf-8"):
        f = line.rstrip("\n").split("\t")
        if len(f) >= 9:
            rows.append({"depth": int(f[0]), "cls": f[1], "id": int(f[2]), "rect": tuple(map(int, f[3:7])),
                         "visible": f[7] == "1", "caption": "\t".join(f[8:])})
    return rows


NO_TEMPLATES = "무료 서식이 없습니다\\r\\n\\r\\n추천 서식을 이용해 주세요"
NETWORK = ("인터넷 연결 상태가 올바르지 않거나\\r\\n서버에 접속 할 수 없습니다.\\n네트워크 연결상태를 확인하시거나\\r\\n"
           "잠시후에 다시 시도하시길 바랍니다")


def expected_list(width, height, slots, s, picks_open=True, results_open=True, scroll_bar=None, scrolled=0,
                  content=None):
    """The list's children as the layout rules place them: {id: (visible, rect or None, caption or None)}.
    scroll_bar: the system's scroll bar width when the case may need one; scrolled: line-down
    requests made; content: a list that receives the content height."""
    e = {}
    free, member, more = s["free"], s["member"], s["more"]
    estimate = 220 if picks_open else 40
    columns = width // 400 + 1
    if results_open and columns <= 4:
        estimate += ((free + member) // columns + (1 if more == 1 else 0)) * 30
    w = width
    if height < estimate:
        assert scroll_bar is not None, "this case needs the scroll bar width"
        w = width - scroll_bar
    e[232] = (True, (0, 1, w, 20), "무료 혜택 서식")
    y0 = 21
    if picks_open:
        for slot, y in enumerate([21, 51, 81, 112, 142, 172]):
            sid = [259, 260, 261, 262, 263, 264][slot]
            v = slots[slot]["visible"] == 1
            e[sid] = (v, (0, y, w, 30), slots[slot]["title"] if v else None)
        e[266] = (True, (0, 111, w, 1), None)
        y0 = 202
    else:
        for sid in (259, 260, 261, 262, 263, 264, 266):
            e[sid] = (False, None, None)
    e[236] = (True, (0, y0, w, 20), "서식 검색 결과")
    if results_open:
        c = y0 + 20
        for k in range(1, 4):
            slot = 5 + k
            v = slots[slot]["visible"] == 1
            rect = None
            if free >= k:
                c = y0 + 20 + 30 * (k - 1)
                rect = (0, c, w, 30)
            e[232 + k] = (v, rect, slots[slot]["title"] if v else None)
        if free >= 1:
            e[267] = (True, (0, c + 30, w, 1), None)
            c += 31
        else:
            e[267] = (False, None, None)
        col = w // columns
        in_row = 0
        for n in range(1, 21):
            slot = 8 + n
            v = slots[slot]["visible"] == 1
            rect = None
            if n <= member:
                x = 0
                if n == 1:
                    in_row = 1
                elif in_row < columns:
                    x = col * in_row + 4
                    in_row += 1
                else:
                    c += 30
                    in_row = 1
                rect = (x, c, col, 30)
            e[236 + n] = (v, rect, slots[slot]["title"] if v else None)
        if more == 1:
            e[257] = (True, (0, c + 30, w, 30), "더 많은 검색 결과 보기 >>")
            c += 60
        else:
            e[257] = (False, None, None)
    else:
        for i in list(range(233, 236)) + [267] + list(range(237, 258)):
            e[i] = (False, None, None)
    if picks_open and slots[0]["visible"] != 1:
        e[258] = (True, (0, 21, w, 60), NETWORK if s["last"] == 0 else NO_TEMPLATES)
        if s["last"] == 0:
            e[235] = (False, None, None)
    else:
        e[258] = (False, None, None)
    height_of_content = (c if results_open else y0) + 30
    if content is not None:
        content.append(height_of_content)
    if scrolled:
        line = max(1, height_of_content // 100)
        shift = min(scrolled * line, max(0, height_of_content - height))
        e = {k: (v, None if r is None else (r[0], r[1] - shift, r[2], r[3]), t) for k, (v, r, t) in e.items()}
    return e


def check_tree(name, rows, width, height, slots, summary, banner, **sections):
    by_id = {}
    pane = [r for r in rows if r["depth"] == 2]
    lst = [r for r in rows if r["depth"] == 3]
    for r in pane:
        by_id[("pane", r["id"])] = r
    for r in lst:
        by_id[("list", r["id"])] = r
    want_pane = {1001: ("KvMyEdit", (2, 4, width - 42, 16)), 1002: ("Button", (width - 40, 0, 40, 20)),
                 0: ("#32770", (0, 21, width, height - 51)), 1118: ("Button", (0, height - 30, width, 30))}
    for cid, (cls, rect) in want_pane.items():
        r = by_id.get(("pane", cid))
        if check(r is not None, "%s: pane child %d exists" % (name, cid)):
            check(r["cls"] == cls and r["rect"] == rect and r["visible"],
                  "%s: pane child %d is a visible %s at %s (got %s %s %s)" % (name, cid, cls, rect, r["cls"],
                                                                             r["rect"], r["visible"]))
    if banner is not None:
        r = by_id.get(("pane", 1118))
        check(r is not None and r["caption"] == banner, "%s: banner caption %r" % (name, banner))
    check(len(lst) == 35 and len([r for r in lst if r["cls"] == "Button"]) == 33,
          "%s: the list has 33 buttons and 2 separators (got %d children)" % (name, len(lst)))
    bad = []
    for cid, (visible, rect, caption) in expected_list(max(0, width), max(0, height - 51), slots, summary,
                                                       **sections).items():
        r = by_id.get(("list", cid))
        if r is None:
            bad.append("%d missing" % cid)
            continue
        if r["visible"] != visible:
            bad.append("%d visible %s, want %s" % (cid, r["visible"], visible))
        if visible and rect is not None and r["rect"] != rect:
            bad.append("%d at %s, want %s" % (cid, r["rect"], rect))
        if visible and caption is not None and r["caption"] != caption:
            bad.append("%d caption %r, want %r" % (cid, r["caption"], caption))
    check(not bad, "%s: every list child as the layout says%s" % (name, "" if not bad else ": " + "; ".join(bad)))


def driver_command(driver, work, width, height, *steps):
    return ["wine", driver, "--width", str(width), "--height", str(height), "--out", winpath(work), *steps]


def run_driver(driver, work, width, height, *steps, timeout=120):
    rc, out, err = wine(*driver_command(driver, work, width, height, *steps)[1:], timeout=timeout)
    sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
    return rc, out


def pixel(png, x, y):
    r = subprocess.run(["convert", png, "-crop", "1x1+%d+%d" % (x, y), "+repage", "-format", "%[pixel:p{0,0}]",
                        "info:-"], capture_output=True, text=True)
    return r.stdout.strip()


def value(out, key):
    m = re.search(r"^%s=(-?[\d.]+)" % key, out, re.M)
    return float(m.group(1)) if m else None


def main():
    driver, dll, native_out, native_build, src, screens = sys.argv[1:7]
    service_bin = find(os.path.join(native_out, "kvservice"), os.path.join(native_build, "tools/kvservice/kvservice"))
    kvsearch_bin = find(os.path.join(native_out, "kvsearch"), os.path.join(native_build, "tools/kvsearch/kvsearch"))
    if not service_bin or not kvsearch_bin:
        print("FAIL: kvservice and kvsearch must be built natively first")
        return 1
    os.makedirs(screens, exist_ok=True)
    work = tempfile.mkdtemp(prefix="kvpane.")
    service = Service(service_bin, os.path.join(src, "tools/kvservice/data"), work)
    shooter = Shooter(work, screens)
    shooter.start()
    try:
        rc, _, _ = wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d",
                        "127.0.0.1:%d" % service.port, "/f", "/reg:64")
        check(rc == 0, "service setting written")
        rc, _, err = wine("regsvr32", "/s", winpath(dll))
        check(rc == 0, "regsvr32 KestrovaSE.dll")

        with urlopen_banner(service.port) as banner:
            pass
        keyword = "이력서"
        slots, summary = kvsearch(kvsearch_bin, service.port, keyword)
        check(len(slots) == 29 and summary.get("member", 0) > 0, "kvsearch found member results for the keyword")

        # 300 x 700: creation, a keyword search by name through IDispatch, the sections collapsed.
        before = len(service.targets())
        rc, out = run_driver(driver, work, 300, 700, "--mapping", "--login", "--search", keyword, "--dump", "t300",
                             "--shot", "keyword-300", "--hover", "238", "--shot", "hover-300",
                             "--click", "232", "--click", "236", "--dump", "collapsed300", "--shot", "collapsed-300")
        check(rc == 0, "driver at 300 x 700 ran every step (exit %d)" % rc)
        check("list=yes" in out, "the list window exists after creation")
        check(re.search(r"^mapping=open aces=1 user_only=1 ready=2 next=1\s*$", out, re.M) is not None,
              "the session's shared block: a named mapping whose DACL admits only the user, initialised, "
              "NextOpenIsUserDocument 1")
        check(re.search(r"^login=-1 hr=0x00000000", out, re.M) is not None,
              "get_LoginStatus is -1 when the service says not logged in")
        t = service.targets()[before:]
        first_search = next((i for i, x in enumerate(t) if x.startswith("/k_app/search_")), len(t))
        check("/k_app/banner_list.asp" in t[:first_search] and "/k_app/login_status.asp" in t[:first_search],
              "banner and login status requested at creation, before the search (%s)" % t[:first_search])
        check(re.search(r"^search id=1 hr=0x00000000", out, re.M) is not None, "put_SearchText by name is id 1, S_OK")
        check(any("search_certform.asp?ext=doc&keyword=" in x for x in t), "the keyword search reached the service")
        check_tree("300", read_tree(os.path.join(work, "t300.txt")), 300, 700, slots, summary, banner.text)
        check_tree("300 collapsed", read_tree(os.path.join(work, "collapsed300.txt")), 300, 700, slots, summary, None,
                   picks_open=False, results_open=False)

        # 800 x 700: three columns at x 0, 270 and 536; the best list (empty keyword) fills rows.
        best_slots, best_summary = kvsearch(kvsearch_bin, service.port, "")
        rc, out = run_driver(driver, work, 800, 700, "--search", "", "--dump", "t800", "--shot", "best-800",
                             "--search", keyword, "--dump", "k800")
        check(rc == 0, "driver at 800 x 700 ran every step (exit %d)" % rc)
        check_tree("800 best list", read_tree(os.path.join(work, "t800.txt")), 800, 700, best_slots, best_summary,
                   banner.text)
        check_tree("800 keyword", read_tree(os.path.join(work, "k800.txt")), 800, 700, slots, summary, banner.text)

        # 300 x 400: the list (349 high) is shorter than its estimate, so the layout takes the scroll
        # bar's width off; line-down requests move the children by 1/100 of the content height
        # each; the next search scrolls back to the top.
        rc, out = run_driver(driver, work, 300, 400, "--search", keyword, "--scroll", "7", "--dump", "scrolled",
                             "--search", keyword, "--dump", "rescrolled", "--wheel", "1", "--dump", "wheeled")
        bar = int(value(out, "vscroll") or 0)
        check(rc == 0 and bar > 0, "driver at 300 x 400 ran (scroll bar %d px)" % bar)
        content = []
        expected_list(300, 349, slots, summary, scroll_bar=bar, content=content)
        check(content[0] > 349, "the content (%d px) is taller than the list" % content[0])
        check_tree("300 x 400 scrolled by 7 lines", read_tree(os.path.join(work, "scrolled.txt")), 300, 400, slots,
                   summary, banner.text, scroll_bar=bar, scrolled=7)
        lines = int(value(out, "wheel_lines") or 0)
        check_tree("300 x 400 after one wheel notch (%d lines)" % lines, read_tree(os.path.join(work, "wheeled.txt")),
                   300, 400, slots, summary, banner.text, scroll_bar=bar, scrolled=lines)
        check_tree("300 x 400 after the next search", read_tree(os.path.join(work, "rescrolled.txt")), 300, 400,
                   slots, summary, banner.text, scroll_bar=bar)

        # put_SearchFileName through the vtable: the first document of the session is searched by
        # name (put_SearchText2 with an empty text hands over the application first).
        before = len(service.targets())
        # The keyboard in this container: UI activation puts the focus in the search box; Tab and
        # Shift+Tab walk the controls (wrapping, as this container takes no Tab), the arrows the list.
        rc, out = run_driver(driver, work, 300, 700, "--search", keyword, "--keys",
                             "SHIFT+TAB,TAB,TAB,TAB,TAB,DOWN,DOWN,UP,SHIFT+TAB,UP")
        steps = [("start", "1001"), ("SHIFT+TAB", "1118"), ("TAB", "1001"), ("TAB", "1002"), ("TAB", "232"),
                 ("TAB", "259"), ("DOWN", "260"), ("DOWN", "261"), ("UP", "260"), ("SHIFT+TAB", "259"), ("UP", "232")]
        seen = re.findall(r"^keys? (\S+) focus (-?\d+)", out, re.M)
        check(seen == steps, "keys: focus order in the container %s" % seen)
        # In a short pane the list scrolls so that the focused entry shows, down and back up.
        rc, out = run_driver(driver, work, 300, 400, "--search", keyword, "--keys",
                             ",".join(["TAB"] * 3 + ["DOWN"] * 14 + ["UP"] * 14))
        moves = [(int(s), v == "1")
                 for s, v in re.findall(r"^key (?:DOWN|UP) focus \d+ scroll (\d+) shown (\d)", out, re.M)]
        check(len(moves) == 28 and all(v for _, v in moves) and moves[13][0] > 0 and moves[-1][0] < moves[13][0],
              "keys: the focused entry is scrolled into view, down and back up %s" % moves)
        rc, out = run_driver(driver, work, 300, 700, "--search2", "", "--file", "견적서_2013.doc")
        t = service.targets()[before:]
        check(rc == 0 and any("logtype=cfilename&keyword=" in x for x in t),
              "put_SearchFileName searched by the document's name (%s)" % [x for x in t if "cert" in x])

        # Two host processes: the member entry clicked in the first (kept alive, since the shared
        # block lives while a process holds it) is highlighted (shade 11) in the pane created next
        # in a second process, and in no later pane. The rows of 237 and 238 are compared pixel by
        # pixel at the right end of the buttons, clear of caption and image.
        first_out = os.path.join(work, "first.out")
        with open(first_out, "wb") as f:
            first = subprocess.Popen(driver_command(driver, work, 300, 700, "--search", keyword, "--click", "238",
                                                    "--wait", "release"), stdout=f, stderr=subprocess.DEVNULL)
        deadline = time.time() + 60
        while "--click 238" not in open(first_out, errors="replace").read() and time.time() < deadline:
            time.sleep(0.1)
        check("--click 238" in open(first_out, errors="replace").read(), "first pane clicked member entry 238")
        rows = {}
        for shot in ("selected-300", "later-300"):
            rc, out = run_driver(driver, work, 300, 700, "--search", keyword, "--shot", shot)
            png = os.path.join(screens, shot + ".png")
            rows[shot] = [pixel(png, 290, 21 + y + 15) for y in (253, 283, 313)]
        open(os.path.join(work, "release.done"), "w").close()
        first.wait(timeout=60)
        a, b, c = rows["selected-300"]
        check(b != a and a == c, "second process: entry 238 drawn unlike its neighbours %s" % rows["selected-300"])
        a, b, c = rows["later-300"]
        check(a == b == c, "a later pane highlights nothing %s" % rows["later-300"])

        # The service stopped: the pane still comes up at once, says so, and knows no login level.
        service.stop()
        rc, out = run_driver(driver, work, 300, 700, "--login", "--search", keyword, "--dump", "net300",
                             "--shot", "network-300")
        created = value(out, "created_ms")
        check(rc == 0 and created is not None and created < 5000,
              "with the service stopped the pane is created in %s ms" % created)
        check(re.search(r"^login=-1 ", out, re.M) is not None, "get_LoginStatus -1 without the service")
        empty = [{"visible": 0, "enabled": -1, "title": ""} for _ in range(29)]
        check_tree("300 no service", read_tree(os.path.join(work, "net300.txt")), 300, 700, empty,
                   {"free": 0, "member": 0, "more": 0, "last": 0}, "")
    finally:
        shooter.stopped = True
        if service.proc.poll() is None:
            service.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


class urlopen_banner:
    """The banner text as the service gives it (SUBJECT of its first ITEM)."""

    def __init__(self, port):
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        s.sendall(b"GET /k_app/banner_list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
        s.close()
        m = re.search(rb"<SUBJECT>(.*?)</SUBJECT>", data, re.S)
        self.text = m.group(1).decode("cp949") if m else ""

    def __enter__(self):
        return self

    def __exit__(self, *a):
        return False


if __name__ == "__main__":
    sys.exit(main())
