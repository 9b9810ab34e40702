#!/usr/bin/env bash
# Runs the x64 test suite once more with Wine's heap checking on, after a build,
# and fails on any heap warning (Wine 8 reports double and invalid frees so;
# it does not catch a write past a block's end).
#   scripts/heap-check.sh [ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."
log=$PWD/build/x64/heap-warnings.log
: >"$log"
: >"$log.wine"
status=0
TQ_HEAP_LOG=$log ctest --preset x64 "$@" || status=$?
if [ -s "$log.wine" ]; then
  echo "heap-check: not counted, heap warnings of Wine's own programs ($log.wine):"
  cat "$log.wine"
fi
if [ -s "$log" ]; then
  echo "heap-check: heap warnings under Wine's heap checking:" >&2
  cat "$log" >&2
  exit 1
fi
echo "heap-check: no heap warnings"
exit $status
