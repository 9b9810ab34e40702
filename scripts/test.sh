#!/usr/bin/env bash
# Sets up the machine, builds both targets and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh x86
bash scripts/build.sh x64
ctest --preset x64 "$@"
