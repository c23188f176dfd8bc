#!/usr/bin/env bash
# scripts/test.sh must count a skipped test (exit 77) as skipped, not passed, and fail the run
# when a test failed. The tree holds two passing tests, one failing and one skipping.
#   test_summary_test.sh PATH/TO/test.sh
set -u
driver="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
cat >"$work/src/CMakeLists.txt" <<'EOS'
cmake_minimum_required(VERSION 3.16)
project(summary NONE)
enable_testing()
add_test(NAME pass_a COMMAND true)
add_test(NAME pass_b COMMAND true)
add_test(NAME fail_c COMMAND false)
add_test(NAME skip_d COMMAND sh -c "exit 77")
set_tests_properties(skip_d PROPERTIES SKIP_RETURN_CODE 77)
EOS
cmake -S "$work/src" -B "$work/build/linux" >/dev/null || { echo "FAIL: cannot configure the sample tree"; exit 1; }
bash "$driver" "$work/build" >"$work/out" 2>&1
rc=$?
last="$(tail -n1 "$work/out")"
status=0
[ "$last" = "2 passed, 1 failed, 1 skipped" ] || { echo "FAIL: last line is \"$last\""; status=1; }
[ "$rc" -ne 0 ] || { echo "FAIL: exit code 0 with a failed test"; status=1; }

# An empty build folder is no success either.
mkdir -p "$work/empty"
bash "$driver" "$work/empty" >"$work/out2" 2>&1 && { echo "FAIL: no build tree reported success"; status=1; }
[ "$status" -eq 0 ] && echo "ok: $last (exit $rc)" || cat "$work/out"
exit "$status"
