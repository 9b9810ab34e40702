#!/usr/bin/env bash
# Sets up the machine, builds both targets, checks the API reference, installs
# and packs both targets and builds the example consumer from each install
# tree, runs every test under Wine, then the whole suite once more with Wine's
# heap checking. The 32-bit build's tests (and its consumer) run too where a
# 32-bit Wine is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/docs.sh
bash scripts/build.sh x86
bash scripts/build.sh x64
bash scripts/package.sh x86
bash scripts/package.sh x64
if [ -x /usr/lib/wine/wine ]; then
  ctest --preset x86 "$@"
else
  echo "test.sh: no 32-bit Wine here; the x86 build was compiled and linked, its tests not run"
fi
ctest --preset x64 "$@"
bash scripts/heap-check.sh "$@"
