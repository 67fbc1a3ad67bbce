#!/bin/sh
# Prints the closing lines of each test configuration: test-summary.sh
# NAME:BUILD-FOLDER ... (written there by run-tests.sh). A configuration
# without them did not get as far as its tests.
echo
echo "==== test summary"
for pair in "$@"; do
  name=${pair%%:*} dir=${pair#*:}
  if [ -f "$dir/test-summary.txt" ]; then
    cat "$dir/test-summary.txt"
  else
    echo "== $name ($dir)"
    echo "$name: did not build or did not run; see the output above"
  fi
done
