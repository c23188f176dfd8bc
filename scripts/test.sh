#!/usr/bin/env bash
# Runs every test: the native suite, then the Windows suites under Wine. Ends with one line
# "N passed, N failed, N skipped". A test that did not run (skipped, disabled, not built) is
# never counted as passed.
set -u
build="${1:-build}"
passed=0; failed=0; skipped=0; rc=0; suites=0
started=$(date +%s)
if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
  echo "== 32-bit programs run in the qemu-i386 emulator here (a binfmt_misc handler)"
else
  echo "== 32-bit programs run natively here"
fi
for flavour in linux win64 win32; do
  dir="$build/$flavour"
  [ -f "$dir/CTestTestfile.cmake" ] || continue
  suites=$((suites + 1))
  echo "== $flavour tests =="
  log="$dir/ctest-summary.log"
  ctest --test-dir "$dir" --output-on-failure -j "${KV_TEST_JOBS:-2}" --timeout 900 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  # Under the i386 emulator a 32-bit Wine process now and then dies inside the emulator itself
  # (qemu reports the signal it could not deliver). Only then are the failed tests run once
  # more, and the second run's result is the one counted; any other failure stands.
  if [ "$status" -ne 0 ] && grep -q '^qemu: uncaught target signal' "$log"; then
    echo "== $flavour: the emulator crashed during a failed test; running the failed tests once more"
    grep -E '^[[:space:]]+[0-9]+ - .* \(Failed\)' "$log" | sed -E 's/^[[:space:]]+[0-9]+ - ([^ ]+).*/   \1/'
    first=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
    ctest --test-dir "$dir" --output-on-failure --rerun-failed --timeout 900 2>&1 | tee "$log.again"
    status=${PIPESTATUS[0]}
    again=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log.again" | tail -n1)
    if [ -n "$first" ] && [ -n "$again" ]; then
      total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$first")
      bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$again")
      # The first run's summary line, with the failures of the second run.
      echo "$(( (total - bad) * 100 / total ))% tests passed, $bad tests failed out of $total" >>"$log"
    else
      status=1
    fi
  fi
  [ "$status" -eq 0 ] || rc=1
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    # No summary: ctest itself failed (a broken tree); that is a failure, not an empty suite.
    echo "test: no ctest summary for $flavour" >&2
    failed=$((failed + 1)); rc=1
    continue
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  # ctest lists tests that did not run after "The following tests did not run:", one a line,
  # "  N - name (Skipped)" (or Disabled, Not Run); they are part of the total but not failures.
  notrun=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -cE '^[[:space:]]+[0-9]+ - .* \((Skipped|Disabled|Not Run)\)' || true)
  passed=$((passed + total - bad - notrun)); failed=$((failed + bad)); skipped=$((skipped + notrun))
done
echo
echo "test: $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$suites" -gt 0 ] || { echo "test: no build tree under $build" >&2; rc=1; }
[ "$failed" -eq 0 ] || rc=1
exit $rc
