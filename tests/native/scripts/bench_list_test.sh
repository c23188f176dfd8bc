#!/usr/bin/env bash
# `make bench` runs every benchmark: over a build folder where nothing is built, scripts/bench.sh
# still reaches each benchmark script, the task pane's included, and each says what is missing.
#   bench_list_test.sh SOURCE_DIR
set -u
src="$1"
empty="$(mktemp -d)"
trap 'rm -rf "$empty"' EXIT
output="$(cd "$src" && KV_BUILD="$empty" KV_OUT="$empty" bash scripts/bench.sh 2>&1)"
fail=0
for expected in "== bench/fetch/fetch_bench.sh ==" "== bench/pane/pane_bench.sh ==" "pane_driver.exe not built"; do
  if ! grep -qxF "$expected" <<<"$output"; then
    echo "FAIL: no line \"$expected\""
    fail=1
  fi
done
[ "$fail" = 0 ] && echo "ok: every benchmark script reached" || printf '%s\n' "--- bench.sh said:" "$output"
exit "$fail"
