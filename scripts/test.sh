#!/usr/bin/env bash
# Sets up the machine, builds both targets, checks the API reference, installs
# and packs both targets and builds the example consumer from each install
# tree, runs every test under Wine, then the x64 suite once more with Wine's
# heap checking. The 32-bit build's tests and consumer run under the Wine of
# scripts/wine32.sh (made by scripts/setup.sh) wherever this machine runs
# 32-bit code; elsewhere this says so and runs the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/docs.sh
bash scripts/build.sh x86
bash scripts/build.sh x64
bash scripts/package.sh x86
bash scripts/package.sh x64
status=0
if [ -f "${TQ_DEPS_DIR:-/var/cache/t_common-deps}/wine32/ready" ]; then
  ctest --preset x86 "$@" || status=$?
else
  echo "test.sh: this machine cannot run 32-bit x86 code (scripts/wine32.sh): the x86 build was" \
    "compiled, linked and packed, its tests and its consumer did not run"
fi
ctest --preset x64 "$@" || status=$?
bash scripts/heap-check.sh "$@" || status=$?
exit $status
