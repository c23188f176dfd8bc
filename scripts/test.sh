#!/usr/bin/env bash
# Runs every test: the native suite, then the Windows suites under Wine. Prints one summary line.
set -u
build="${1:-build}"
passed=0; failed=0; rc=0
for flavour in linux win64 win32; do
  dir="$build/$flavour"
  [ -f "$dir/CTestTestfile.cmake" ] || continue
  echo "== $flavour tests =="
  log="$dir/ctest-summary.log"
  ctest --test-dir "$dir" --output-on-failure -j "${KV_TEST_JOBS:-2}" --timeout 900 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || rc=1
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad)); failed=$((failed + bad))
  fi
done
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] || rc=1
exit $rc
