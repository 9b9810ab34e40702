#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix and HOME inside the build tree.
#   wine-run.sh PROGRAM [ARGS...]   run it (CTest's cross-compiling emulator)
#   wine-run.sh --prepare           create the prefix now
#   wine-run.sh --stop-all          stop the wineserver of every prefix under the root
# Environment: TQ_WINE_ROOT (required), TQ_WINVER (a `winecfg /v` name, own prefix),
# TQ_PREFIX (a prefix of its own by that name, for state no other test touches), TZ,
# TQ_WINE_BIN (the bin folder of another Wine's wine and wineserver, such as the
# wrappers of scripts/wine32.sh that run 32-bit programs; default: the installed
# Wine; it gets TQ_WINE_SHARE, the folders the program needs to see),
# TQ_XVFB=1 (run on a virtual X display), TQ_DRIVES ("q:=/unix/folder ...": drive
# letters mapped in the prefix, the folders created), TQ_HEAP_LOG (a file: run
# with Wine's heap checking and append every heap warning there, after the
# program's name; the exit code stays the program's).
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
if [ -n "${TQ_WINE_BIN:-}" ]; then
  wine="$TQ_WINE_BIN/wine"
  export WINESERVER="$TQ_WINE_BIN/wineserver"
  # Such a Wine may run in a root of its own, like that of scripts/wine32.sh:
  # the folders the program needs to see there (the source tree, the prefixes,
  # the program's own), separated by colons.
  share=("$(cd "$(dirname "$0")/.." && pwd)" "$root")
  if [ -f "${1:-}" ]; then share+=("$(cd "$(dirname "$1")" && pwd)"); fi
  TQ_WINE_SHARE=$(IFS=:; echo "${share[*]}")
  export TQ_WINE_SHARE
else
  wine=wine
  export WINESERVER=wineserver
fi

if [ "${1:-}" = "--stop-all" ]; then
  for p in "$root"/prefix*/; do
    [ -d "$p" ] && WINEPREFIX="${p%/}" "$WINESERVER" -k 2>/dev/null || true
  done
  exit 0
fi

# A fresh prefix is some 700 MB, nearly all of it the PE images Wine copies
# into system32. Every prefix is cloned from one template that no test runs
# in: the images are hard links (Wine only reads them), everything else a
# copy of its own.
# Bumped whenever boot_prefix changes, so that prefixes an older harness made
# in a build tree are made again rather than used.
prefix_recipe=2

boot_prefix() {
  rm -rf "$1"
  # A crash ends the program at once: winedbg's crash dialog would wait for a
  # click that never comes (on a display no one sees) until CTest gives up.
  mkdir -p "$1"
  printf 'WINE REGISTRY Version 2\n\n[Software\\\\Wine\\\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n' >"$1/user.reg"
  WINEPREFIX="$1" "$wine" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$1" "$WINESERVER" -w
  echo "$prefix_recipe" >"$1/.ready"
}

clone_prefix() {
  rm -rf "$2"
  cp -a --link "$1" "$2"
  local file
  printf MZ >"$root/.pe-magic"
  while IFS= read -r -d '' file; do
    cmp -s -n 2 "$file" "$root/.pe-magic" && continue
    cp -p "$file" "$file.copy"
    mv -f "$file.copy" "$file"
  done < <(find "$2" -type f -print0)
}

is_ready() { [ "$(cat "$1/.ready" 2>/dev/null)" = "$prefix_recipe" ]; }

prepare() {
  is_ready "$WINEPREFIX" && return
  exec 9>"$root/.prefix.lock"
  flock 9
  if ! is_ready "$WINEPREFIX"; then
    is_ready "$root/template" || boot_prefix "$root/template"
    clone_prefix "$root/template" "$WINEPREFIX"
    rm -f "$WINEPREFIX/.ready"
    if [ -n "$winver" ]; then
      "$wine" winecfg /v "$winver" >/dev/null 2>&1
      "$WINESERVER" -w
    fi
    echo "$prefix_recipe" >"$WINEPREFIX/.ready"
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
# A new session's own processes (wineboot, services, device drivers) inherit
# the stderr of the program that starts it, and Wine 8's driver host
# (winedevice.exe for wineusb) at times faults while starting, printing
# "Unhandled page fault ... starting debugger...": the session is started by
# a program whose output is dropped, so such lines never reach a test's output.
"$wine" cmd /c exit >/dev/null 2>&1 || true
[ -n "${TQ_HEAP_LOG:-}" ] || exec "$wine" "$@"

# Wine 8 reports double and invalid frees as heap warnings on the process's
# stderr; collected apart from the test's verdict so that a test expected to
# fail cannot hide one. Wine's own programs (builtin images, such as the
# svchost it starts for the Task Scheduler) write to the same stderr: their
# warnings are Wine's faults, kept in a log of their own and not counted.
export WINEDEBUG=-all,+pid,err+heap,warn+heap,trace+loaddll
wine_stderr=$(mktemp)
trap 'rm -f "$wine_stderr"' EXIT
status=0
"$wine" "$@" 2>"$wine_stderr" || status=$?
grep -av ':trace:loaddll:' "$wine_stderr" >&2 || true
awk -v program="$(basename "$1")" -v wine_log="$TQ_HEAP_LOG.wine" '
  /:trace:loaddll:.*\.exe" at / {
    pid = substr($0, 1, index($0, ":") - 1)
    if (!(pid in builtin)) builtin[pid] = ($NF == "builtin")
    next
  }
  /:heap:/ {
    pid = substr($0, 1, index($0, ":") - 1)
    if (builtin[pid]) print program ": " $0 >>wine_log
    else print program ": " $0
  }' "$wine_stderr" >>"$TQ_HEAP_LOG"
exit $status
