#!/bin/sh
# Runs one test configuration quietly: run-tests.sh NAME BUILD-FOLDER JOBS.
# ctest's whole output goes to BUILD-FOLDER/ctest.log; the console gets the
# output of the tests that failed and ctest's closing lines, and
# BUILD-FOLDER/test-summary.txt gets the lines `make test` ends with.
# The exit code is ctest's.
name=$1 dir=$2 jobs=${3:-2}
log="$dir/ctest.log"
summary="$dir/test-summary.txt"
echo "== $name: running the tests in $dir (full output in $log)"
(cd "$dir" && ctest -j"$jobs" --output-on-failure) >"$log" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then
  # Each failed test's status line and the output ctest printed after it.
  awk '/\*\*\*(Failed|Exception|Timeout|Not Run)/ { show = 1 }
       /^ *Start +[0-9]+:/ || /Test +#[0-9]+:.*Passed/ || /^[0-9]+% tests passed/ { show = 0 }
       show' "$log"
fi
closing=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
[ -n "$closing" ] || closing="ctest ended without a result (exit $rc); see $log"
{
  echo "== $name ($dir)"
  sed -n '/^The following tests FAILED:/,/^Errors while running CTest/p' "$log" | grep -v '^Errors while'
  echo "$closing"
} >"$summary"
grep -E '^Total Test time' "$log"
echo "$closing"
exit "$rc"
