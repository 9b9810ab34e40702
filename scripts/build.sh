#!/usr/bin/env bash
# Configures and builds one preset (x64: the tested build, x86: the shipping 32-bit build).
#   scripts/build.sh x64|x86 [extra cmake -D options]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:?x64 or x86}
shift
cmake --preset "$preset" -DTQ_WERROR=ON "$@" >/dev/null
cmake --build --preset "$preset"
