#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as root).
# Idempotent: each step checks first, so a warm machine passes through in seconds.
set -euo pipefail

DEPS_DIR=${TQ_DEPS_DIR:-/var/cache/t_common-deps}
SQLITE_VERSION=3.40.1

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 cmake ninja-build
  libboost1.74-dev googletest
  dpkg-dev tcl xvfb xauth
  liblnk-utils doxygen
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The target compilers must use the posix thread model: std::thread and std::mutex need it.
for arch in x86_64 i686; do
  for tool in gcc g++; do
    want=/usr/bin/$arch-w64-mingw32-$tool-posix
    [ "$(readlink -f /usr/bin/$arch-w64-mingw32-$tool)" = "$(readlink -f "$want")" ] ||
      update-alternatives --set "$arch-w64-mingw32-$tool" "$want" >/dev/null
  done
done

# Source packages come from the same suites as the binary ones.
ensure_deb_src() {
  local f=/etc/apt/sources.list.d/t_common-src.sources
  [ -f "$f" ] && return
  local src
  for src in /etc/apt/sources.list.d/debian.sources; do
    [ -f "$src" ] || continue
    sed -e 's/^Types: deb$/Types: deb-src/' "$src" > "$f"
  done
  if [ ! -f "$f" ]; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' > "$f"
  fi
  apt-get update -qq
}

fetch_source() {  # package name, folder glob inside $DEPS_DIR/src
  local pkg=$1
  mkdir -p "$DEPS_DIR/src"
  if ! compgen -G "$DEPS_DIR/src/$pkg-[0-9]*/" >/dev/null; then
    ensure_deb_src
    (cd "$DEPS_DIR/src" && apt-get source -qq "$pkg" >/dev/null 2>&1) ||
      (apt-get update -qq && cd "$DEPS_DIR/src" && apt-get source -qq "$pkg" >/dev/null)
  fi
}

# SQLite: Debian's source tree, turned into the amalgamation once.
if [ ! -f "$DEPS_DIR/sqlite/sqlite3.c" ]; then
  fetch_source sqlite3
  tree=$(ls -d "$DEPS_DIR"/src/sqlite3-"$SQLITE_VERSION"*/ | head -n 1)
  build=$(mktemp -d)
  (cd "$build" && "$tree/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
  mkdir -p "$DEPS_DIR/sqlite"
  cp "$build/sqlite3.c" "$build/sqlite3.h" "$DEPS_DIR/sqlite/"
  rm -rf "$build"
fi

# Google Benchmark: built for the target by our CMake, like GoogleTest.
fetch_source benchmark
if [ ! -e "$DEPS_DIR/benchmark" ]; then
  ln -s "$(ls -d "$DEPS_DIR"/src/benchmark-[0-9]*/ | head -n 1)" "$DEPS_DIR/benchmark"
fi

# Boost for the target: a folder holding only boost/, never /usr/include itself.
mkdir -p "$DEPS_DIR/boost-include"
[ -e "$DEPS_DIR/boost-include/boost" ] || ln -s /usr/include/boost "$DEPS_DIR/boost-include/boost"

# The Wine that runs the 32-bit tests, where this machine runs 32-bit code;
# where it does not, scripts/wine32.sh says so in one line (status 3).
wine32_status=0
bash "$(dirname "$0")/wine32.sh" || wine32_status=$?
if [ $wine32_status -ne 0 ] && [ $wine32_status -ne 3 ]; then
  echo "setup: scripts/wine32.sh failed (status $wine32_status)" >&2
  exit $wine32_status
fi

echo "setup: ready (dependencies in $DEPS_DIR)"
