#!/usr/bin/env bash
# Runs every benchmark: programs named bench_* in the native build and scripts bench/*.sh.
set -u
build="${KV_BUILD:-build}"
for b in $(find "$build/linux/bench" -maxdepth 2 -type f -name 'bench_*' -perm -u+x 2>/dev/null | sort); do
  echo "== $(basename "$b") =="; "$b"
done
for s in bench/*.sh bench/*/*.sh; do
  [ -f "$s" ] || continue
  echo "== $s =="; bash "$s"
done
