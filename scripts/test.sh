#!/usr/bin/env bash
# Sets up the machine, builds both targets, checks the API reference, installs
# and packs both targets and builds the example consumer from each install
# tree, runs every test under Wine, then the whole suite once more with Wine's
# heap checking. The 32-bit build's tests run under the WoW64 Wine of
# scripts/wine32.sh where its cache holds a working build; this script never
# starts that long build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/docs.sh
bash scripts/build.sh x86
bash scripts/build.sh x64
bash scripts/package.sh x86
bash scripts/package.sh x64
wine32=${TQ_DEPS_DIR:-/var/cache/t_common-deps}/wine32/install
if [ -f "$wine32/ready" ]; then
  ctest --preset x86 "$@"
else
  echo "test.sh: no working 32-bit Wine here (bash scripts/wine32.sh builds one into $wine32" \
    "on a machine that runs 32-bit code); the x86 build was compiled and linked, its tests not run"
fi
ctest --preset x64 "$@"
bash scripts/heap-check.sh "$@"
