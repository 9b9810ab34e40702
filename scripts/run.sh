#!/usr/bin/env bash
# Sets up the machine, builds the library and its tool, and runs `tqutil status` under Wine.
#   scripts/run.sh [tqutil arguments, default: status]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
bash scripts/build.sh x64 >&2
[ $# -gt 0 ] || set -- status
TQ_WINE_ROOT=build/x64/wine exec scripts/wine-run.sh build/x64/bin/tqutil.exe "$@"
