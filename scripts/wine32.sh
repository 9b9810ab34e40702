#!/usr/bin/env bash
# The Wine that runs the shipping 32-bit build's tests: Debian's own Wine 8.0
# (wine, wine64, wine32:i386) in a Debian 12 root of its own, amd64 with i386
# as a second architecture, from the suites bookworm and bookworm-updates only,
# at the mirror the host's apt uses. Without the security suite no i386
# package lags its amd64 twin, which is what keeps wine32:i386 off the host.
# A 32-bit program there sees 64-bit Windows, as the shipping build does.
#
# Made once, idempotently, in the dependency cache (outside the source tree):
#   $TQ_DEPS_DIR/wine32/root    the root (some 2 GB; root.log: how it was made)
#   $TQ_DEPS_DIR/wine32/bin     wine and wineserver, wrappers that run the
#                               root's: the test harness's TQ_WINE_BIN
#   $TQ_DEPS_DIR/wine32/ready   written once a 64-bit and a 32-bit program have
#                               run through the wrappers in a harness prefix
# Run by scripts/setup.sh. It first checks that this machine runs 32-bit x86
# code (arch-test); where it does not, it says so in one line, makes nothing
# and exits with status 3. Any other failure exits with another non-zero status.
#
# TQ_WINE32_IGNORE_PROBE=1 makes the root and the wrappers even where the
# machine cannot run 32-bit code, to check that part alone: the check programs
# run, the Wine is never marked ready there, and the exit status stays 3.
set -euo pipefail

DEPS_DIR=${TQ_DEPS_DIR:-/var/cache/t_common-deps}
WINE32_DIR=$DEPS_DIR/wine32
ROOT=$WINE32_DIR/root
SUITE=bookworm
CANNOT=3
HERE=$(cd "$(dirname "$0")" && pwd)

say() { echo "wine32: $*"; }

case "$(mkdir -p "$DEPS_DIR" && cd "$DEPS_DIR" && pwd)/" in
  "$(dirname "$HERE")"/*) say "TQ_DEPS_DIR ($DEPS_DIR) must lie outside the source tree"; exit 1 ;;
esac

missing=()
for p in mmdebstrap arch-test; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's Wine runs a 32-bit Windows program in a 32-bit Linux process. Some
# virtual machines have no 32-bit mode (a 32-bit ELF file fails with "Exec
# format error", a 64-bit program's int $0x80 faults): no Wine runs one there.
# -n: an emulator registered with binfmt_misc does not count.
runs_32bit=yes
arch-test -n i386 >/dev/null 2>&1 || runs_32bit=
mkdir -p "$WINE32_DIR"
if [ -z "$runs_32bit" ]; then
  rm -f "$WINE32_DIR/ready"
  if [ -z "${TQ_WINE32_IGNORE_PROBE:-}" ]; then
    say "this machine cannot run 32-bit x86 code (arch-test -n i386 fails): no Wine here runs the x86 tests"
    exit $CANNOT
  fi
  say "this machine cannot run 32-bit x86 code; making the root all the same (TQ_WINE32_IGNORE_PROBE)"
fi

# /tmp and the other folders the wrappers bind into the root are the host's own:
# deleting a root that still has them mounted would delete them.
remove_tree() {
  local mounted
  mounted=$(awk -v dir="$1" '$5 == dir || index($5, dir "/") == 1 { print $5 }' /proc/self/mountinfo)
  if [ -n "$mounted" ]; then
    say "refusing to remove $1 while something is mounted under it; unmount first:" $mounted
    exit 1
  fi
  rm -rf --one-file-system "$1"
}

if [ ! -f "$ROOT/.t_common-root" ]; then
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' 2>/dev/null |
    awk -v suite="$SUITE" '$2 == suite { print $1; exit }')
  mirror=${mirror:-http://deb.debian.org/debian/}
  for tree in "$ROOT.new" "$ROOT"; do
    if [ -e "$tree" ]; then remove_tree "$tree"; fi
  done
  say "making the root $ROOT ($SUITE and $SUITE-updates from $mirror)"
  started=$SECONDS
  # The unshare mode keeps the mounts of the installation in a namespace that
  # ends with it. tzdata, so that a TZ name means what it means on the host.
  if ! mmdebstrap --mode=unshare --variant=apt --architectures=amd64,i386 \
      --include=wine,wine64,wine32:i386,tzdata \
      "$SUITE" "$ROOT.new" "deb $mirror $SUITE main" "deb $mirror $SUITE-updates main" \
      >"$WINE32_DIR/root.log" 2>&1; then
    tail -n 20 "$WINE32_DIR/root.log"
    say "making the root failed (log: $WINE32_DIR/root.log)"
    exit 1
  fi
  if [ -L /etc/localtime ]; then ln -sfn "$(readlink /etc/localtime)" "$ROOT.new/etc/localtime"; fi
  touch "$ROOT.new/.t_common-root"
  mv "$ROOT.new" "$ROOT"
  say "root made in $((SECONDS - started)) s, $(du -sh --one-file-system "$ROOT" | cut -f1):" \
    "$(chroot "$ROOT" dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' wine wine64 wine32:i386 | paste -sd ' ')"
fi

# The wrappers: the root's program with the caller's arguments and environment,
# through chroot in a mount namespace of the call's own, which ends with its
# last process (a wineserver keeps the one it started in). Inside, the host's
# /proc, /sys, /dev (with /dev/pts and /dev/shm), /tmp (the wineserver's
# socket, X's), the dependency cache, every top-level folder of the host's that
# is not part of the system (/work, /root, ...) and the folders the caller
# names in TQ_WINE_SHARE (colon-separated; the test harness names the source
# tree, the prefixes and the program's folder) are at their own paths, so a
# prefix, a program and the files its arguments name are found where they are.
write_wrapper() {  # name, the root's program
  local file=$WINE32_DIR/bin/$1 text
  text=$(cat <<EOF
#!/usr/bin/env bash
# Made by t_common's scripts/wine32.sh: runs $2 of the Debian root
# $ROOT.
set -euo pipefail
shared=(/tmp $DEPS_DIR)
for dir in /*/; do
  dir=\${dir%/}
  [ -L "\$dir" ] && continue
  case \$dir in
    /bin | /boot | /dev | /etc | /lib | /lib32 | /lib64 | /libx32 | /lost+found | /proc | /run | /sbin | /sys | /tmp | /usr | /var) ;;
    *) shared+=("\$dir") ;;
  esac
done
IFS=: read -r -a named <<<"\${TQ_WINE_SHARE:-}"
shared+=("\${named[@]}")
# The root's wineserver, never the wrapper's path, when Wine starts one inside.
export WINESERVER=/usr/bin/wineserver
exec unshare --mount --propagation private /bin/bash -euo pipefail -c '
  root=\$1 program=\$2 workdir=\$3 count=\$4
  shift 4
  for dir in /dev /proc /sys; do mount --rbind "\$dir" "\$root\$dir"; done
  for ((i = 0; i < count; i++)); do
    if [ -d "\$1" ]; then
      mkdir -p "\$root\$1"
      mount --bind "\$1" "\$root\$1"
    fi
    shift
  done
  exec chroot "\$root" /bin/sh -c '\''cd "\$1" 2>/dev/null || cd /; shift; exec "\$@"'\'' sh "\$workdir" "\$program" "\$@"
' wine32-wrapper "$ROOT" "$2" "\$PWD" "\${#shared[@]}" "\${shared[@]}" "\$@"
EOF
)
  if [ ! -f "$file" ] || [ "$(cat "$file")" != "$text" ]; then
    mkdir -p "${file%/*}"
    printf '%s\n' "$text" >"$file"
    chmod +x "$file"
    rm -f "$WINE32_DIR/ready"
  fi
}
write_wrapper wine /usr/bin/wine
write_wrapper wineserver /usr/bin/wineserver

if [ -f "$WINE32_DIR/ready" ]; then
  say "ready: TQ_WINE_BIN=$WINE32_DIR/bin"
  exit 0
fi

# Ready once a 64-bit and a 32-bit program have run through the wrappers in a
# prefix of the test harness, each seeing what it should of the system.
check=$WINE32_DIR/check
mkdir -p "$check"
printf '%s\n' '#include <windows.h>' '#include <stdio.h>' 'int main(void) {' \
  '  BOOL wow64 = FALSE;' '  IsWow64Process(GetCurrentProcess(), &wow64);' \
  '  printf("%d-bit wow64=%d\n", (int)sizeof(void*) * 8, wow64);' '  return 0;' '}' >"$check/bits.c"
x86_64-w64-mingw32-gcc -o "$check/bits64.exe" "$check/bits.c"
i686-w64-mingw32-gcc -o "$check/bits32.exe" "$check/bits.c"
harness_run() {
  TQ_WINE_ROOT=$check/wine TQ_WINE_BIN=$WINE32_DIR/bin timeout 600 bash "$HERE/wine-run.sh" "$@" \
    2>>"$check/errors.log" | tr -d '\r' || true
}
: >"$check/errors.log"
say "running a 64-bit and a 32-bit program through the wrappers (a first prefix)"
bits64=$(harness_run "$check/bits64.exe")
bits32=$(harness_run "$check/bits32.exe")
harness_run --stop-all
remove_tree "$check/wine"
say "64-bit program: ${bits64:-no output}; 32-bit program: ${bits32:-no output} (errors: $check/errors.log)"
if [ "$bits64" != "64-bit wow64=0" ] || [ "$bits32" != "32-bit wow64=1" ]; then
  if [ -z "$runs_32bit" ]; then
    say "not ready: this machine cannot run 32-bit x86 code"
    exit $CANNOT
  fi
  say "not ready: the programs did not print what they should"
  exit 1
fi
if [ -z "$runs_32bit" ]; then
  say "the 32-bit program ran although arch-test said it could not; not marked ready"
  exit $CANNOT
fi
touch "$WINE32_DIR/ready"
say "ready: TQ_WINE_BIN=$WINE32_DIR/bin"
