#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix and HOME inside the build tree.
#   wine-run.sh PROGRAM [ARGS...]   run it (CTest's cross-compiling emulator)
#   wine-run.sh --prepare           create the prefix now
#   wine-run.sh --stop-all          stop the wineserver of every prefix under the root
# Environment: TQ_WINE_ROOT (required), TQ_WINVER (a `winecfg /v` name, own prefix),
# TQ_PREFIX (a prefix of its own by that name, for state no other test touches), TZ,
# TQ_XVFB=1 (run on a virtual X display), TQ_DRIVES ("q:=/unix/folder ...": drive
# letters mapped in the prefix, the folders created).
set -euo pipefail

if [ -n "${TQ_XVFB:-}" ] && [ -z "${TQ_XVFB_DISPLAY:-}" ]; then
  exec env TQ_XVFB_DISPLAY=1 xvfb-run -a "$0" "$@"
fi

root=${TQ_WINE_ROOT:?TQ_WINE_ROOT names the folder that holds the prefixes}
winver=${TQ_WINVER:-}
prefix_name=${TQ_PREFIX:-$winver}
mkdir -p "$root/home"
root=$(cd "$root" && pwd)

export HOME="$root/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
export WINEPREFIX="$root/prefix${prefix_name:+-$prefix_name}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
[ -n "${TQ_XVFB_DISPLAY:-}" ] || unset DISPLAY
unset WAYLAND_DISPLAY

if [ "${1:-}" = "--stop-all" ]; then
  for p in "$root"/prefix*/; do
    [ -d "$p" ] && WINEPREFIX="${p%/}" wineserver -k 2>/dev/null || true
  done
  exit 0
fi

prepare() {
  [ -f "$WINEPREFIX/.ready" ] && return
  exec 9>"$root/.prefix.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    if [ -n "$winver" ]; then
      wine winecfg /v "$winver" >/dev/null 2>&1
    fi
    wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
  flock -u 9
  exec 9>&-
}

prepare
for drive in ${TQ_DRIVES:-}; do
  mkdir -p "${drive#*=}"
  ln -sfn "${drive#*=}" "$WINEPREFIX/dosdevices/${drive%%=*}"
done
[ "${1:-}" = "--prepare" ] && exit 0
exec wine "$@"
