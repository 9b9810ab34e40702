#!/usr/bin/env bash
# Builds the API reference from the public headers into build/docs/html and
# fails when Doxygen warns (a public declaration without a comment, say).
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/docs
doxygen docs/Doxyfile
echo "docs.sh: API reference in build/docs/html/index.html"
