#!/usr/bin/env bash
# Builds the x64 benchmark program and runs it under Wine.
#   scripts/bench.sh [Google Benchmark options, e.g. --benchmark_filter=Crc]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
bash scripts/build.sh x64 >&2
status=0
TQ_WINE_ROOT=build/x64/wine scripts/wine-run.sh build/x64/bin/tq_bench.exe "$@" || status=$?
TQ_WINE_ROOT=build/x64/wine scripts/wine-run.sh --stop-all
exit $status
