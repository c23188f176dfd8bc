#!/usr/bin/env bash
# Prints how long a 32-bit Wine program takes to start in the prefix WINEPREFIX, in seconds with
# one decimal: a 64-bit program first brings up the wineserver and the prefix's services, then a
# 32-bit cmd.exe that does nothing is timed. Exit 1 when the 32-bit program does not run.
# Expects our `wine` (scripts/wine-bin) first in PATH, a DISPLAY and WINEPREFIX.
set -u
timeout 120 wine cmd.exe /c exit 0 >/dev/null 2>&1
t0=$(date +%s%N)
timeout 300 wine 'C:\windows\syswow64\cmd.exe' /c exit 0 >/dev/null 2>&1 || exit 1
t1=$(date +%s%N)
awk -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f\n", ns / 1e9 }'
