#!/usr/bin/env python3
"""The loading splash during slow downloads, and a dripping list's bound, under Wine.

Runs inside the prefix that wine-run.sh --shell prepared, against kvservice with
--slow-template (5 MB at 50 KB/s) and --drip-lists (a byte every 0.9 s). Screenshots go to
SCREENS: splash-progress-1/-2 (a second apart during a download), splash-dpi-96/144/192 and
splash-highcontrast.

  splash_test.py SPLASH_DRIVER_EXE KESTROVASE_DLL NATIVE_OUT_DIR SOURCE_DIR SCREENS
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kvwine import Service, check, failures, winpath  # noqa: E402
from kvwine import wine as wine_run  # noqa: E402

LIST_TOTAL_MS = 8000  # kListTotalMs
REG = "C:\\windows\\system32\\reg.exe"  # the 64-bit one: no 32-bit start-up


def run(*args, timeout=90):
    rc, out, err = wine_run(*args, timeout=timeout, with_stderr=True)
    out = out.replace("\r\n", "\n")
    sys.stdout.write("".join("     | " + line + "\n" for line in out.splitlines()))
    sys.stdout.flush()
    return rc, out


def keep_shots(work, screens):
    """The driver's pictures (WORK/*.bmp) as PNG files in SCREENS."""
    for name in os.listdir(work):
        if name.endswith(".bmp"):
            subprocess.run(["convert", os.path.join(work, name), os.path.join(screens, name[:-4] + ".png")])
            os.remove(os.path.join(work, name))


def differing_pixels(a, b):
    r = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    try:
        return int(float(r.stderr.split()[0]))
    except (ValueError, IndexError):
        return -1


STRIP_ROWS = 40  # the progress strip's height at 96 DPI (kStripHeight)
LIGHT, SCHEME_WINDOW, SCHEME_TEXT, SCHEME_HIGHLIGHT = "FAFAFA", "000000", "FFFFFF", "1AEBFF"


def strip_colours(png, rows):
    """How many pixels of each colour (RRGGBB) the picture's lowest rows have."""
    r = subprocess.run(["convert", png, "-gravity", "south", "-crop", "x%d+0+0" % rows, "+repage",
                        "-format", "%c", "histogram:info:-"], capture_output=True, text=True)
    found = {}
    for m in re.finditer(r"^\s*(\d+):.*#([0-9A-Fa-f]{6})", r.stdout, re.M):
        found[m.group(2).upper()] = found.get(m.group(2).upper(), 0) + int(m.group(1))
    return found


def download_and_escape(driver, dll, service_bin, data, work, screens):
    service = Service(service_bin, data, work, "--slow-template", "5000000:50000", log="slow.log")
    try:
        rc, out = run(driver, "download", winpath(dll), str(service.port), "/k_app/files/t101.doc",
                      "slow-template.doc", winpath(work))
    finally:
        service.stop()
        keep_shots(work, screens)
    shots = [os.path.join(screens, "splash-progress-%d.png" % i) for i in (1, 2)]
    got = re.findall(r"^shot splash-progress-(\d)=1 received=(\d+) total=(-?\d+)$", out, re.M)
    check(len(got) == 2 and all(os.path.exists(s) for s in shots), "two splash shots a second apart (%s)" % got)
    if len(got) == 2:
        check(int(got[0][2]) == 5000000 and 0 < int(got[0][1]) < int(got[1][1]) < 5000000,
              "the download moved on between the shots, with its length known (%s)" % got)
    if all(os.path.exists(s) for s in shots):
        diff = differing_pixels(*shots)
        print("     pixels differing between the shots: %d" % diff)
        check(diff > 0, "the splash was repainted with new progress between the shots (%d pixels differ)" % diff)
    m = re.search(r"^outcome=(\d+) cancelled=(\d) host-calls=(\d+) calls=(\d+) elapsed=(\d+) ms$", out, re.M)
    check(m is not None and m.group(1) == "3" and m.group(2) == "1" and m.group(3) == "0",
          "Escape cancels: the download fails, nothing is opened (%s)" % (m.group(0) if m else "no line"))
    c = re.search(r"^cancel took (\d+) ms$", out, re.M)
    if c:
        print("     cancel took %s ms after Escape was posted" % c.group(1))
    check(c is not None and int(c.group(1)) < 1000, "the download stops within a second of Escape")
    before = re.search(r"^folder before:(.*)$", out, re.M)
    after = re.search(r"^folder after:(.*)$", out, re.M)
    check(before is not None and after is not None and before.group(1) == after.group(1),
          "the templates folder is as it was (%s / %s)" % (before and before.group(1), after and after.group(1)))


def host_closing(driver, dll, service_bin, data, work):
    service = Service(service_bin, data, work, "--slow-template", "5000000:50000", log="close.log")
    try:
        rc, out = run(driver, "download", winpath(dll), str(service.port), "/k_app/files/t101.doc",
                      "slow-template.doc", winpath(work), "close")
    finally:
        service.stop()
        for name in os.listdir(work):  # its shots repeat the Escape run's
            if name.endswith(".bmp"):
                os.remove(os.path.join(work, name))
    m = re.search(r"^outcome=(\d+) cancelled=(\d) host-calls=(\d+)", out, re.M)
    check(m is not None and m.group(1) == "3" and m.group(2) == "1" and m.group(3) == "0",
          "the host closing cancels the download and opens nothing (%s)" % (m.group(0) if m else "no line"))
    check("host alive after the download=1" in out and "host closed afterwards=1" in out,
          "the host's close waits until the download is over, then closes it")
    before = re.search(r"^folder before:(.*)$", out, re.M)
    after = re.search(r"^folder after:(.*)$", out, re.M)
    check(before is not None and after is not None and "[mine.doc]" in before.group(1) and
          before.group(1) == after.group(1),
          "a templates folder that held a file is as it was after the host closed (%s / %s)" %
          (before and before.group(1), after and after.group(1)))


def dripping_list(driver, service_bin, data, work):
    service = Service(service_bin, data, work, "--drip-lists", "900", log="drip.log")
    try:
        rc, out = run(driver, "list", str(service.port), timeout=60)
    finally:
        service.stop()
    m = re.search(r"^list ok=(\d) bytes=(\d+) took=(\d+) ms limit=(\d+) ms$", out, re.M)
    if m:
        print("     the host's thread was held %s ms by a list dripping a byte every 0.9 s (limit %s ms)" %
              (m.group(3), m.group(4)))
    check(m is not None and m.group(1) == "0" and int(m.group(4)) == LIST_TOTAL_MS and
          LIST_TOTAL_MS - 1000 <= int(m.group(3)) <= LIST_TOTAL_MS + 1500,
          "a dripping list ends at its total limit (%s)" % (m.group(0) if m else "no line"))
    n = re.search(r"^next list ok=0 took=(\d+) ms$", out, re.M)
    check(n is not None and int(n.group(1)) < 500, "the next list of the same search fails at once")


def set_dpi(dpi):
    for key in ("HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"):
        wine_run(REG, "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f", timeout=60)
    # Wine's server keeps the DPI it started with: the next program starts a new one.
    subprocess.run(["wineserver", "-k"], capture_output=True)
    subprocess.run(["wineserver", "-w"], capture_output=True)


def dpi_and_contrast(driver, dll, work, screens):
    sizes = {}
    for dpi in (96, 144, 192):
        set_dpi(dpi)
        rc, out = run(driver, "shot", winpath(dll), winpath(work), "splash-dpi-%d" % dpi)
        keep_shots(work, screens)
        m = re.search(r"^dpi=(\d+) size=(\d+) (\d+)$", out, re.M)
        check(m is not None and int(m.group(1)) == dpi and "shot=1" in out,
              "the splash at %d DPI is shot (%s)" % (dpi, m.group(0) if m else "no line"))
        if m:
            sizes[dpi] = (int(m.group(2)), int(m.group(3)))
    if 96 in sizes:
        for dpi in (144, 192):
            if dpi in sizes:
                want = tuple((v * dpi + 48) // 96 for v in sizes[96])
                check(sizes[dpi] == want, "the splash at %d DPI is %s (%s at 96)" % (dpi, want, sizes[96]))
    set_dpi(96)
    # Opened at 96 DPI, then moved to a 150% screen: the same picture as a splash opened at 144.
    rc, out = run(driver, "shot", winpath(dll), winpath(work), "splash-96-to-144", "dpi", "144")
    keep_shots(work, screens)
    m = re.search(r"^dpi=\d+ size=(\d+) (\d+)$", out, re.M)
    moved = (int(m.group(1)), int(m.group(2))) if m else None
    check("moved to 144 DPI" in out and moved == sizes.get(144),
          "the splash moved to 144 DPI takes the 144-DPI size (%s, opened at 144: %s)" % (moved, sizes.get(144)))
    a, b = (os.path.join(screens, n + ".png") for n in ("splash-96-to-144", "splash-dpi-144"))
    if os.path.exists(a) and os.path.exists(b):
        diff = differing_pixels(a, b)
        print("     pixels differing from the splash opened at 144 DPI: %d" % diff)
        check(diff == 0, "the moved splash is drawn as one opened at 144 DPI (%d pixels differ)" % diff)
    rc, out = run(driver, "shot", winpath(dll), winpath(work), "splash-highcontrast", "hc")
    keep_shots(work, screens)
    check("high contrast reported=1 colours=1" in out and "high contrast on=1" in out and "shot=1" in out,
          "the splash under high contrast is shot")
    # The progress strip: light grey with a blue bar in the normal look; the scheme's window
    # colour with its highlight as the bar under high contrast.
    looks = {name: strip_colours(os.path.join(screens, name + ".png"), STRIP_ROWS)
             for name in ("splash-dpi-96", "splash-highcontrast")}
    for name, colours in looks.items():
        print("     %s strip: %s" % (name, ", ".join("%s %d" % kv for kv in sorted(colours.items(),
                                                                                    key=lambda kv: -kv[1])[:4])))
    normal, hc = looks["splash-dpi-96"], looks["splash-highcontrast"]
    check(normal.get(LIGHT, 0) > 0 and normal.get(SCHEME_HIGHLIGHT, 0) == 0,
          "the normal strip is light grey, without the scheme's highlight")
    check(hc.get(LIGHT, 0) == 0 and hc.get(SCHEME_WINDOW, 0) > sum(hc.values()) // 2 and
          hc.get(SCHEME_HIGHLIGHT, 0) > 0 and hc.get(SCHEME_TEXT, 0) > 0,
          "under high contrast the strip is in the scheme's colours: window, text and highlight")


def main():
    driver, dll, native_out, src, screens = sys.argv[1:6]
    service_bin = os.path.join(native_out, "kvservice")
    if not os.access(service_bin, os.X_OK):
        print("FAIL: kvservice must be built natively first")
        return 1
    os.makedirs(screens, exist_ok=True)
    data = os.path.join(src, "tools/kvservice/data")
    work = tempfile.mkdtemp(prefix="kvsplash.")
    download_and_escape(driver, dll, service_bin, data, work, screens)
    host_closing(driver, dll, service_bin, data, work)
    dripping_list(driver, service_bin, data, work)
    dpi_and_contrast(driver, dll, work, screens)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
