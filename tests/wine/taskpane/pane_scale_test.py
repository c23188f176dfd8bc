#!/usr/bin/env python3
"""The task pane at 96, 144 and 192 DPI and under high contrast, in the independent container.

Runs inside the prefix that wine-run.sh --shell prepared. For each DPI the screen's LogPixels is
written to the prefix before the container (pane_driver.exe, per-monitor aware) starts; the pane
is shown at 300 x 700 logical pixels against kvservice with a keyword search, and wintree.exe, a
separate process, reads its window tree while the container waits. The search box, search
button, headers, entries, more-results link and banner must sit where the 96-DPI layout puts
them, times the scale, within 2 pixels. Screenshots: SCREENS/pane-96.png, pane-144.png,
pane-192.png and pane-highcontrast.png (144 DPI). One container starts at 96 DPI and is moved to
144 while the pane is open (pane-96-to-144.png): the same places must follow.

  pane_scale_test.py PANE_DRIVER_EXE WINTREE_EXE KESTROVASE_DLL NATIVE_OUT NATIVE_BUILD SOURCE_DIR SCREENS
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kvwine import Service, Shooter, check, failures, wait_for, winpath  # noqa: E402
from taskpane_test import expected_list, find, kvsearch, pixel, value, wine  # noqa: E402

LOGICAL_WIDTH, LOGICAL_HEIGHT = 300, 700
# The pane's children at 96 DPI for a W x H client area (the rules LayoutPane keeps).
PANE_96 = {"search box": (1001, lambda w, h: (2, 4, w - 42, 16)),
           "search button": (1002, lambda w, h: (w - 40, 0, 40, 20)),
           "banner": (1118, lambda w, h: (0, h - 30, w, 30))}
LIST_ORIGIN_96 = (0, 21)
CHECKED_LIST_IDS = [232, 236] + list(range(259, 265)) + list(range(233, 236)) + list(range(237, 257)) + [257]


def scaled(v, dpi):
    return (v * dpi + 48) // 96


def read_wintree(path):
    rows = []
    for line in open(path, encoding="utf-8"):
        f = line.rstrip("\n").split("\t")
        if len(f) >= 9:
            rows.append({"depth": int(f[0]), "cls": f[1], "id": int(f[2]), "rect": tuple(map(int, f[3:7])),
                         "visible": f[7] == "1", "text": "\t".join(f[8:])})
    return rows


def set_dpi(dpi):
    """LogPixels where Wine reads it (the user's desktop settings, else the current configuration's
    fonts key), for programs started from now on."""
    ok = True
    for key in ("HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"):
        rc, _, _ = wine("reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
        ok = ok and rc == 0
    # The running wineserver's processes keep the DPI they started with: start afresh.
    subprocess.run(["wineserver", "-k"], capture_output=True, timeout=60)
    subprocess.run(["wineserver", "-w"], capture_output=True, timeout=60)
    return ok


def show_and_read(driver, wintree, work, dpi, keyword, shot, *extra, options=()):
    """Runs the container at dpi with a keyword search (and the extra steps), takes the screenshot
    and has wintree read the window tree; returns (driver output, rows)."""
    width, height = scaled(LOGICAL_WIDTH, dpi), scaled(LOGICAL_HEIGHT, dpi)
    out_path = os.path.join(work, shot + ".out")
    tree = os.path.join(work, shot + ".tree")
    with open(out_path, "wb") as f:
        proc = subprocess.Popen(["wine", driver, "--width", str(width), "--height", str(height), "--out",
                                 winpath(work), *options, "--search", keyword, *extra, "--fonts", "--shot", shot,
                                 "--wait", shot + "-read"], stdout=f, stderr=subprocess.DEVNULL)

    def text():
        return open(out_path, encoding="utf-8", errors="replace").read()
    waiting = wait_for(lambda: "waiting %s-read" % shot in text() or proc.poll() is not None, 90)
    rows = []
    if check(waiting and proc.poll() is None, "%s: the container shows the pane and waits" % shot):
        rc, out, _ = wine(wintree, "Static", "pane", winpath(tree), "10", timeout=60)
        check(rc == 0, "%s: wintree read the container's windows from its own process (%s)" % (shot, out.strip()))
        if rc == 0:
            rows = read_wintree(tree)
    open(os.path.join(work, shot + "-read.done"), "w").close()
    try:
        proc.wait(timeout=60)
    except subprocess.TimeoutExpired:
        proc.kill()
    out = text()
    sys.stdout.write("".join("     | " + l + "\n" for l in out.splitlines()))
    check(proc.returncode == 0, "%s: the container ran every step (exit %s)" % (shot, proc.returncode))
    return out, rows


def fonts(out):
    """The heights of the fonts the pane's text is drawn with, by window id (a list for ids that
    several windows share): its buttons' and its search box's. The list's dialog and its two
    separators (statics) draw no text; their template font is the dialog manager's business."""
    found = {}
    for cid, cls, height in re.findall(r"^font (-?\d+) (\S+) (\d+)$", out, re.M):
        if cls not in ("#32770", "Static"):
            found.setdefault(int(cid), []).append(int(height))
    return {k: sorted(v) for k, v in found.items()}


def check_scaled(name, dpi, rows, slots, summary, bar96):
    """Every checked child within 2 pixels of its 96-DPI place times the scale."""
    pane = {r["id"]: r for r in rows if r["depth"] == 2}
    lst = {r["id"]: r for r in rows if r["depth"] == 3}
    bad, report = [], []

    def compare(what, got, want96):
        want = tuple(scaled(v, dpi) for v in want96)
        report.append("%s %s" % (what, got))
        if any(abs(a - b) > 2 for a, b in zip(got, want)):
            bad.append("%s at %s, want %s" % (what, got, want))

    w96, h96 = LOGICAL_WIDTH, LOGICAL_HEIGHT
    for what, (cid, rule) in PANE_96.items():
        r = pane.get(cid)
        if r is None or not r["visible"]:
            bad.append("%s missing or hidden" % what)
            continue
        compare(what, r["rect"], rule(w96, h96))
    list_h96 = h96 - 51
    for cid, (visible, rect, _) in expected_list(w96, list_h96, slots, summary, scroll_bar=bar96).items():
        if cid not in CHECKED_LIST_IDS or not visible or rect is None:
            continue
        r = lst.get(cid)
        if r is None or not r["visible"]:
            bad.append("list child %d missing or hidden" % cid)
            continue
        compare("list %d" % cid, r["rect"], (rect[0] + LIST_ORIGIN_96[0], rect[1] + LIST_ORIGIN_96[1], rect[2],
                                             rect[3]))
    print("     | %s: %s" % (name, "; ".join(report)))
    check(len(report) > 10 and not bad, "%s: the pane is the 96-DPI layout times %d%% within 2 px%s" % (
        name, dpi * 100 // 96, "" if not bad else ": " + "; ".join(bad)))


def main():
    driver, wintree, dll, native_out, native_build, src, screens = sys.argv[1:8]
    service_bin = find(os.path.join(native_out, "kvservice"), os.path.join(native_build, "tools/kvservice/kvservice"))
    kvsearch_bin = find(os.path.join(native_out, "kvsearch"), os.path.join(native_build, "tools/kvsearch/kvsearch"))
    if not service_bin or not kvsearch_bin:
        print("FAIL: kvservice and kvsearch must be built natively first")
        return 1
    os.makedirs(screens, exist_ok=True)
    work = tempfile.mkdtemp(prefix="kvscale.")
    service = Service(service_bin, os.path.join(src, "tools/kvservice/data"), work)
    shooter = Shooter(work, screens)
    shooter.start()
    started = time.time()
    try:
        rc, _, _ = wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d",
                        "127.0.0.1:%d" % service.port, "/f", "/reg:64")
        check(rc == 0, "service setting written")
        rc, _, _ = wine("regsvr32", "/s", winpath(dll))
        check(rc == 0, "regsvr32 KestrovaSE.dll")
        keyword = "이력서"
        slots, summary = kvsearch(kvsearch_bin, service.port, keyword)
        check(len(slots) == 29 and summary.get("member", 0) > 0, "kvsearch found member results for the keyword")

        bar96 = None
        heights = {}
        for dpi in (96, 144, 192):
            check(set_dpi(dpi), "LogPixels %d written to the prefix" % dpi)
            out, rows = show_and_read(driver, wintree, work, dpi, keyword, "pane-%d" % dpi)
            check(value(out, "dpi") == dpi and value(out, "logpixels") == dpi,
                  "the container's window and the screen are at %d DPI (dpi=%s logpixels=%s)" % (
                      dpi, value(out, "dpi"), value(out, "logpixels")))
            heights[dpi] = fonts(out)
            bar = int(value(out, "vscroll") or 0)
            if dpi == 96:
                bar96 = bar
            if rows and bar96:
                check_scaled("%d DPI" % dpi, dpi, rows, slots, summary, bar96)

            if dpi == 96 and bar96:
                # Moved to a 150% screen while open: the pane follows (fonts, pictures, layout).
                out, rows = show_and_read(driver, wintree, work, dpi, keyword, "pane-96-to-144", "--dpi-change",
                                          "144", options=("--follow-dpi", "1"))
                check("dpi changed to 144: client 450x1050" in out,
                      "the container moved to 144 DPI with the pane open, its client area 450 x 1050")
                if rows:
                    check_scaled("96 DPI, then 144 while open", 144, rows, slots, summary, bar96)
                heights["96 to 144"] = fonts(out)

            if dpi == 144:
                # High contrast: flat buttons in the scheme's colours, the list on the window colour.
                out, rows = show_and_read(driver, wintree, work, dpi, keyword, "pane-highcontrast", "--highcontrast")
                check("highcontrast=on" in out, "the container turned high contrast on for the pane")
                png = os.path.join(screens, "pane-highcontrast.png")
                normal = os.path.join(screens, "pane-144.png")
                if check(os.path.exists(png) and os.path.exists(normal), "screenshots at 144 DPI taken"):
                    lst = {r["id"]: r for r in rows if r["depth"] == 3}
                    entry = lst.get(237)
                    header = lst.get(236)
                    if check(entry is not None and header is not None, "high contrast: the list's children read"):
                        ex, ey, ew, eh = entry["rect"]
                        hx, hy, hw, hh = header["rect"]
                        inside = (ex + ew - 6, ey + eh // 2)
                        head = (hx + hw // 2, hy + 3)
                        border = (ex + ew // 2, ey)
                        got = [pixel(png, *inside), pixel(png, *head), pixel(png, *border)]
                        was = [pixel(normal, *inside), pixel(normal, *head)]
                        check(got[0] in ("srgb(0,0,0)", "black") and got[1] in ("srgb(0,0,0)", "black"),
                              "high contrast: entry and header filled with the window and face colours (black): %s"
                              % got)
                        check(got[2] in ("srgb(255,255,255)", "white"),
                              "high contrast: the flat button's 1-pixel border in the text colour: %s" % got[2])
                        check(was[0] != got[0] and was[1] != got[1],
                              "without high contrast the same places are drawn otherwise: %s" % was)
        # The fonts are made again for the new DPI: the same heights as a pane started at 144.
        moved, at96, at144 = heights.get("96 to 144", {}), heights.get(96, {}), heights.get(144, {})
        print("     fonts by window id at 96 DPI: %s" % at96)
        print("     at 144 DPI: %s" % at144)
        print("     at 96, then 144 while open: %s" % moved)
        check(len(at144) >= 3 and moved == at144 and at96 != at144,
              "after the move to 144 DPI every font of the pane has its height at 144 DPI")
    finally:
        shooter.stopped = True
        service.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("run time %.0f s" % (time.time() - started))
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
