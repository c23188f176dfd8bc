#!/usr/bin/env python3
"""Benchmark (not a test): the task-pane control under Wine against kvservice on loopback.

Ten fresh panes (one process each) at 300 x 700: the time from creating the control to its
first laid-out list (AtlAxWin's creation, which includes the banner and login status
exchanges), and one keyword search through IDispatch. For comparison, the same exchanges made
as plain Winsock GETs from the same Wine process; the difference is the time spent outside
the network exchanges (COM, windows, layout, XML). Medians of 10.

Run through the Wine launcher:
  scripts/wine-run.sh --shell -- tests/wine/taskpane/bench_pane.py PANE_DRIVER_EXE KESTROVASE_DLL \\
      NATIVE_OUT_DIR NATIVE_BUILD_DIR SOURCE_DIR
"""
import os
import re
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from taskpane_test import Service, driver_command, find, value, wine, winpath  # noqa: E402


def run_driver(driver, work, width, height, *steps):
    """The driver's output; unlike the test's, not echoed: the benchmark prints only its table."""
    _, out, _ = wine(*driver_command(driver, work, width, height, *steps)[1:], timeout=120)
    return None, out


def main():
    driver, dll, native_out, native_build, src = sys.argv[1:6]
    service_bin = find(os.path.join(native_out, "kvservice"), os.path.join(native_build, "tools/kvservice/kvservice"))
    if not service_bin:
        print("kvservice is not built")
        return 1
    work = tempfile.mkdtemp(prefix="kvbench.")
    service = Service(service_bin, os.path.join(src, "tools/kvservice/data"), work)
    try:
        wine("reg", "add", "HKLM\\SOFTWARE\\kestrovaSE\\1.0.0", "/v", "service", "/d",
             "127.0.0.1:%d" % service.port, "/f", "/reg:64")
        wine("regsvr32", "/s", winpath(dll))
        keyword = "이력서"
        created, searched = [], []
        creation_targets = search_targets = None
        for _ in range(10):
            before = len(service.targets())
            _, out = run_driver(driver, work, 300, 700, "--search", keyword)
            created.append(value(out, "created_ms"))
            m = re.search(r"^search id=1 hr=0x00000000 ms=([\d.]+)", out, re.M)
            searched.append(float(m.group(1)) if m else float("nan"))
            t = service.targets()[before:]
            first = next(i for i, x in enumerate(t) if "search_" in x or "logtype" in x or "usage" in x)
            creation_targets, search_targets = t[:first], t[first:]
        _, out = run_driver(driver, work, 300, 700, "--netref", "127.0.0.1:%d" % service.port,
                            ",".join(creation_targets))
        net_create = value(out, "netref_ms")
        # The log request reads nothing back in the pane; here it is read like the others, which
        # makes the comparison err on the side of the network.
        _, out = run_driver(driver, work, 300, 700, "--netref", "127.0.0.1:%d" % service.port,
                            ",".join(search_targets))
        net_search = value(out, "netref_ms")
    finally:
        service.stop()
        shutil.rmtree(work, ignore_errors=True)

    c, s = statistics.median(created), statistics.median(searched)
    print("creation to first laid-out list: median %.1f ms (of %s)" % (c, ", ".join("%.0f" % x for x in created)))
    print("  its exchanges %s: %.1f ms as plain GETs; outside them %.1f ms (%.0f%%)"
          % (creation_targets, net_create, c - net_create, 100 * (c - net_create) / c))
    print("one keyword search: median %.1f ms (of %s)" % (s, ", ".join("%.0f" % x for x in searched)))
    print("  its %d exchanges: %.1f ms as plain GETs; outside them %.1f ms (%.0f%%)"
          % (len(search_targets), net_search, s - net_search, 100 * (s - net_search) / s))
    return 0


if __name__ == "__main__":
    sys.exit(main())
