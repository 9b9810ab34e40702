#!/usr/bin/env bash
# Installs one built preset, packs the install tree as a ZIP with CPack, and
# builds the example consumer against the install tree alone (find_package,
# no path into the sources); runs it under Wine where Wine runs that
# architecture.
#   scripts/package.sh x64|x86      (after scripts/build.sh of the same preset)
# Leaves build/ARCH/install, build/ARCH/package/t_common-VERSION-ARCH.zip and
# build/ARCH/consumer/consumer.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:?x64 or x86}
case $arch in
  x64) triple=x86_64-w64-mingw32 ;;
  x86) triple=i686-w64-mingw32 ;;
  *) echo "package.sh: x64 or x86, not $arch" >&2; exit 2 ;;
esac
build=$PWD/build/$arch
install=$build/install
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

rm -rf "$install"
cmake --install "$build" --prefix "$install" >/dev/null
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
zip=$build/package/t_common-$version-$arch.zip

# The archive holds the install tree, no more and no less.
(cd "$install" && find . -type f | sed 's|^\./||' | sort) > "$build/package/install.list"
cmake -E tar tf "$zip" | grep -v '/$' | sed "s|^t_common-$version-$arch/||" | sort > "$build/package/zip.list"
if ! diff -u "$build/package/install.list" "$build/package/zip.list" >&2; then
  echo "package.sh: $zip differs from the install tree" >&2
  exit 1
fi

consumer_config() {  # build folder, more cmake options
  local folder=$1
  shift
  rm -rf "$folder"
  cmake -S examples/consumer -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_CXX_COMPILER="$triple-g++-posix" \
    -DCMAKE_PREFIX_PATH="$install" "$@"
}
# Without Boost's headers the package refuses, saying what it needs.
if consumer_config "$build/consumer-no-boost" -DT_COMMON_BOOST_INCLUDE_DIR="$build/no-such-folder" \
     >"$build/package/no-boost.log" 2>&1 ||
   ! grep -q "t_common needs Boost's headers" "$build/package/no-boost.log"; then
  cat "$build/package/no-boost.log" >&2
  echo "package.sh: the package did not refuse a build without Boost's headers" >&2
  exit 1
fi
# A client build that names nothing but the install tree: the package finds
# Boost's headers on its own, here among the host's in /usr/include.
consumer=$build/consumer
consumer_config "$consumer" >/dev/null
cmake --build "$consumer"
echo "package.sh: $zip ($(wc -l < "$build/package/install.list") files), consumer built from $install"

wineserver=wineserver
if [ "$arch" = x86 ]; then
  wine32=${TQ_DEPS_DIR:-/var/cache/t_common-deps}/wine32
  if [ ! -f "$wine32/ready" ]; then
    echo "package.sh: no Wine here runs 32-bit programs (scripts/wine32.sh makes one where the machine" \
      "runs 32-bit code): the x86 consumer was built, not run"
    exit 0
  fi
  export TQ_WINE_BIN=$wine32/bin
  wineserver=$TQ_WINE_BIN/wineserver
fi
status=0
# The default prefix, which the tests use too: their programs redirect the
# per-user folders, so the consumer's store meets none of theirs.
TQ_WINE_ROOT=$build/wine scripts/wine-run.sh "$consumer/consumer.exe" || status=$?
# Its wineserver ends by itself once the last program of the prefix has.
WINEPREFIX=$build/wine/prefix timeout 60 "$wineserver" -w || WINEPREFIX=$build/wine/prefix "$wineserver" -k || true
[ $status -eq 0 ] || echo "package.sh: the consumer failed (exit code $status)" >&2
exit $status
