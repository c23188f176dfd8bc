#!/usr/bin/env python3
"""The task pane in hostsim.exe (the word processor) under Wine, seen from another process.

1. What a screen reader reads (pane_outside.exe acc): the search box, the search button, the
   banner, every visible header and entry, by name and role; entries by their whole titles.
2. A keyboard-only session typed by pane_outside.exe keys: F6 into the pane, Tab to the first
   entry, Down twice, a screenshot with the focus shown (SCREENS/keyboard-focus.png); then, the
   pane narrowed, the entries cut on screen are still named whole and show their whole title in
   a tip (SCREENS/title-tip.png); Space: the focused entry's template is downloaded (the
   service's log) and opened by the host (its log).

  outside_test.py HOSTSIM_EXE KESTROVASE_DLL PANE_OUTSIDE_EXE NATIVE_OUT SOURCE_DIR SCREENS
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import kvwine  # noqa: E402
from kvwine import check, failures, wait_for, wine, winpath  # noqa: E402

ROLE_TEXT, ROLE_PUSHBUTTON, ROLE_LINK, ROLE_OUTLINEBUTTON = 0x2A, 0x2B, 0x1E, 0x40
STATE_EXPANDED, STATE_COLLAPSED = 0x200, 0x400
PICKS_HEADER, RESULTS_HEADER, DAILY_1, DAILY_3 = 232, 236, 259, 261
ENTRY_IDS = set(range(233, 236)) | set(range(237, 257)) | set(range(259, 265))
MEMBER_IDS = set(range(237, 257))


def read(path):
    return open(path, encoding="utf-8", errors="replace").read().splitlines() if os.path.exists(path) else []


def parse_acc(lines):
    found = {}
    for line in lines:
        m = re.match(r'acc id=(\d+) role=(-?\d+) state=0x([0-9a-f]+) wider=(\d) name="(.*)" value="(.*)" '
                     r'description="(.*)" text="(.*)"$', line)
        if m:
            found[int(m.group(1))] = {"role": int(m.group(2)), "state": int(m.group(3), 16),
                                      "wider": m.group(4) == "1", "name": m.group(5), "value": m.group(6),
                                      "description": m.group(7), "text": m.group(8)}
    return found


def check_accessibility(acc):
    box = acc.get(1001, {})
    check(box.get("name") == "서식 검색어" and box.get("role") == ROLE_TEXT and box.get("value") == ""
          and box.get("text") == "필요한 서식을 입력해 주세요",
          "acc: the search box is named, a text field, empty while the placeholder shows (%s)" % box)
    button = acc.get(1002, {})
    check(button.get("name") == "검색" and button.get("role") == ROLE_PUSHBUTTON,
          "acc: the image-only search button is named (%s)" % button)
    banner = acc.get(1118, {})
    check(bool(banner.get("name")) and banner.get("role") == ROLE_LINK, "acc: the banner is named (%s)" % banner)
    for header in (PICKS_HEADER, RESULTS_HEADER):
        h = acc.get(header, {})
        check(h.get("role") == ROLE_OUTLINEBUTTON and h.get("name") == h.get("text") and bool(h.get("name"))
              and bool(h.get("state", 0) & (STATE_EXPANDED | STATE_COLLAPSED)),
              "acc: header %d named by its caption, with its expanded state (%s)" % (header, h))
    entries = {i: e for i, e in acc.items() if i in ENTRY_IDS}
    check(len(entries) >= 6, "acc: the visible entries answer (%d)" % len(entries))
    whole = [i for i, e in entries.items() if e["name"] == e["text"] and e["name"] and "…" not in e["name"]
             and e["role"] == ROLE_PUSHBUTTON]
    check(sorted(whole) == sorted(entries), "acc: every entry is named by its whole title (%s)"
          % sorted(set(entries) - set(whole)))
    members = [e for i, e in entries.items() if i in MEMBER_IDS]
    check(all(e["description"] == "회원 로그인이 필요한 서식" for e in members),
          "acc: logged out, member entries say they need a member login (%d)" % len(members))


def main():
    hostsim, dll, outside, native_out, src, screens = sys.argv[1:7]
    work = tempfile.mkdtemp(prefix="kvoutside.", dir=os.environ.get("WINEPREFIX"))
    service = kvwine.Service(os.path.join(native_out, "kvservice"), os.path.join(src, "tools/kvservice/data"), work)
    host = None
    try:
        steps = [("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d", service.address, "/f",
                  "/reg:64"),
                 ("reg", "add", "HKCU\\Software\\Microsoft\\Office\\Word\\Addins\\Tarnwick.Connect", "/v",
                  "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")]
        for step in steps:
            rc, _ = wine(*step)
            check(rc == 0, "setup: " + " ".join(step[:3]))
        rc, _ = wine("regsvr32", "/s", winpath(dll), cwd=os.path.dirname(dll))
        check(rc == 0, "setup: regsvr32 KestrovaSE.dll")

        script = os.path.join(work, "script.txt")
        with open(script, "w", encoding="utf-8") as f:
            f.write("wait-pane 259 15000\nsleep 120000\nquit\n")
        log = os.path.join(work, "host.log")
        open(log, "w").close()
        env = dict(os.environ, HOSTSIM_LOG=winpath(log))
        host = subprocess.Popen(["wine", hostsim, "--app", "word", "--script", winpath(script)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=os.path.dirname(hostsim),
                                env=env)
        check(wait_for(lambda: any("wait-pane done" in l for l in read(log)), 60), "the pane shows its picks")
        time.sleep(1)

        rc, out = wine(outside, "acc", timeout=60)
        print(out)
        check_accessibility(parse_acc(out.splitlines()))

        before = len(service.targets())
        rc, out = wine(outside, "keys", "F6", "TAB", "TAB", "TAB", "DOWN", "DOWN", timeout=60)
        print(out)
        focus = [l for l in out.splitlines() if l.startswith("key ")]
        check(len(focus) == 6 and "KvMyEdit id=1001" in focus[0] and "in-pane" in focus[0],
              "keys: F6 puts the focus in the search box (%s)" % (focus[:1],))
        check(len(focus) == 6 and "id=1002" in focus[1] and "id=%d" % PICKS_HEADER in focus[2]
              and "id=%d" % DAILY_1 in focus[3] and "id=%d" % DAILY_3 in focus[5],
              "keys: Tab to the search button, the picks header, the first entry; Down twice to the third")
        os.makedirs(screens, exist_ok=True)
        shot = os.path.join(screens, "keyboard-focus.png")
        subprocess.run("xwd -root -silent | convert xwd:- %s" % shot, shell=True, check=False)
        check(os.path.exists(shot), "keys: screenshot " + shot)

        # A narrow pane cuts titles: screen readers still get them whole, and so does the tip.
        wine(outside, "narrow", "105", timeout=60)
        rc, out = wine(outside, "acc", timeout=60)
        print(out)
        acc = parse_acc(out.splitlines())
        cut = {i: e["name"] for i, e in acc.items() if i in ENTRY_IDS and e["wider"]}
        check(len(cut) >= 1 and all(acc[i]["name"] == acc[i]["text"] for i in cut),
              "acc: entries cut on screen are named by their whole titles (%s)" % cut)
        cut_id = sorted(cut)[0] if cut else DAILY_3
        rc, out = wine(outside, "hover", str(cut_id), timeout=60)
        print(out)
        check(('"%s"' % acc.get(cut_id, {}).get("name", "?")) in out.split("tip at")[-1] and "tip at" in out,
              "tip: the whole title over the cut entry %d" % cut_id)
        subprocess.run("xwd -root -silent | convert xwd:- %s" % os.path.join(screens, "title-tip.png"), shell=True,
                       check=False)
        whole = next((i for i in sorted(ENTRY_IDS) if i in acc and not acc[i]["wider"]), None)
        if whole:
            rc, out = wine(outside, "hover", str(whole), timeout=60)
            print(out)
            check("tip at" not in out, "tip: none over the entry %d shown whole" % whole)

        rc, out = wine(outside, "keys", "SPACE", timeout=60)
        print(out)
        opened = wait_for(lambda: any(re.search(r"host<- .*\.Open\(", l) for l in read(log)), 60)
        check(opened, "keys: Space on the third pick opens its template in the host")
        print("\n".join(l for l in read(log) if ".Open(" in l))
        asked = [t for t in service.targets()[before:]]
        print("service since the keys: %s" % asked)
        check(any(t.lower().endswith((".doc", ".docx", ".hwp", ".xls", ".xlsx", ".ppt", ".pptx")) or "download" in t
                  for t in asked), "keys: the template was downloaded from the service")
        if failures:
            print("--- host log")
            print("\n".join(read(log)))
    finally:
        if host and host.poll() is None:
            host.terminate()
            try:
                host.wait(timeout=20)
            except subprocess.TimeoutExpired:
                host.kill()
        service.stop()
        if not os.environ.get("KV_KEEP_WORK"):
            shutil.rmtree(work, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
