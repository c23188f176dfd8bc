#!/usr/bin/env bash
# The task-pane control's timings under Wine against kvservice (tests/wine/taskpane/bench_pane.py):
# creation to the first laid-out list and one keyword search, medians of 10, each beside the
# same exchanges made as plain GETs. Figures only; asserts nothing.
set -u
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${KV_BUILD:-$top/build}"
out="${KV_OUT:-$top/out}"
driver="$build/win64/tests/wine/taskpane/pane_driver.exe"
library="$out/win64/KestrovaSE.dll"
[ -f "$driver" ] || { echo "pane_driver.exe not built"; exit 0; }
[ -f "$library" ] || { echo "KestrovaSE.dll not built"; exit 0; }
bash "$top/scripts/wine-run.sh" --timeout 600 --shell -- python3 "$top/tests/wine/taskpane/bench_pane.py" \
  "$driver" "$library" "$out/linux" "$build/linux" "$top" || echo "pane benchmark failed"
