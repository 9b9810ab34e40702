#!/usr/bin/env bash
# Builds Debian's Wine 8.0 from its source package in the new WoW64 mode
# (--enable-archs=i386,x86_64), which runs 32-bit Windows programs in a 64-bit
# process and so needs no 32-bit Unix libraries (Debian's 32-bit Wine cannot be
# installed here). Everything lives in a cache outside the source tree:
#   $WINE32_DIR/src/wine-*    Debian's source, configured and built in place
#   $WINE32_DIR/install       the installed Wine (bin/wine, bin/wineserver, lib/)
#   $WINE32_DIR/build.log     progress of every step
# Run after scripts/setup.sh, which adds Debian's source index.
# Resumable: each step checks first, and make continues where it stopped.
# Long (an hour and more on two shared cores), so it runs niced:
#   bash scripts/wine32.sh           build what a prefix and the tests need
#   bash scripts/wine32.sh --all     then the rest of Wine too
# It marks the build ready ($WINE32_DIR/install/ready) only once a 64-bit and a
# 32-bit program have run in a prefix of the test harness.
set -euo pipefail

DEPS_DIR=${TQ_DEPS_DIR:-/var/cache/t_common-deps}
WINE32_DIR=${TQ_WINE32_DIR:-$DEPS_DIR/wine32}
INSTALL_DIR=$WINE32_DIR/install
LOG=$WINE32_DIR/build.log
JOBS=${TQ_WINE32_JOBS:-2}

mkdir -p "$WINE32_DIR"
exec > >(tee -a "$LOG") 2>&1
step() { echo "wine32: $(date '+%F %T') $*"; }
niced() { nice -n 19 ionice -c3 "$@"; }

packages=(
  flex bison gettext libxml-libxml-perl unicode-data khronos-api libvulkan-dev
  icoutils librsvg2-bin imagemagick fontforge-nox libz-mingw-w64-dev lzma sharutils
  autoconf automake dpkg-dev libgettextpo-dev libz-mingw-w64 gcc
  gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# WoW64 runs 32-bit code in a 64-bit process, and Wine first gives each such
# thread its 32-bit %fs through the kernel's 32-bit system call gate. Some
# virtual machines offer no 32-bit mode at all (32-bit ELF files fail with
# "Exec format error", int $0x80 and far calls to the 32-bit code segment
# fault): there no Wine can run a 32-bit program, so building one is pointless.
probe=$WINE32_DIR/int80-probe
if [ ! -x "$probe" ]; then
  printf '%s\n' '#include <unistd.h>' 'int main(void) {' '  long pid;' \
    '  __asm__ volatile("int $0x80" : "=a"(pid) : "a"(20L) : "memory");  /* i386 getpid */' \
    '  return pid == getpid() ? 0 : 1;' '}' | gcc -x c -o "$probe" -
fi
# In a subshell, so that the shell's report of the crash goes nowhere.
if ! ("$probe" || exit 1) 2>/dev/null; then
  step "this machine cannot run 32-bit x86 code (the 32-bit system call gate faults): no build"
  exit 1
fi

if ! compgen -G "$WINE32_DIR/src/wine-[0-9]*/configure.ac" >/dev/null; then
  step "fetching Debian's wine source"
  mkdir -p "$WINE32_DIR/src"
  (cd "$WINE32_DIR/src" && apt-get source -qq wine >/dev/null)
fi
SRC=$(ls -d "$WINE32_DIR"/src/wine-[0-9]*/ | head -n 1)
SRC=${SRC%/}
cd "$SRC"

# Debian's own generation steps (debian/rules), for files its repack leaves out.
if [ ! -f .t_common-generated ]; then
  step "generating sources"
  ./debian/scripts/generate server/trace.generated make_requests
  ./debian/scripts/generate server/request.generated make_requests
  niced ./tools/make_unicode
  ./tools/make_requests
  (cd dlls/dsound && ./make_fir)
  (cd dlls/opengl32 && ./make_opengl)
  (cd dlls/winevulkan && ./make_vulkan -x /usr/share/vulkan/registry/vk.xml)
  ln -sf /usr/share/misc/config.sub tools
  ln -sf /usr/share/misc/config.guess tools
  sed -n 's/^\tln -sf \(\.\.\/[^ ]*\.svg\) \([^ ]*\.svg\)$/\1 \2/p' debian/rules |
    while read -r target link; do ln -sf "$target" "$link"; done
  rm -rf libs/zlib
  step "autoreconf"
  niced autoreconf -f
  touch .t_common-generated
fi

# Maintainer mode makes the build render the icons the repack drops from their
# .svg sources (it also turns warnings into errors, which -Wno-error undoes for
# flags other than Debian's); Debian links its PE modules against mingw's zlib
# the same way.
if [ ! -f .t_common-configured ]; then
  step "configure"
  niced ./configure --prefix="$INSTALL_DIR" --enable-archs=i386,x86_64 \
    --enable-maintainer-mode --disable-tests --without-x \
    --without-oss --without-sane --without-netapi --without-cups --without-gphoto \
    --without-gstreamer --without-pulse --without-alsa --without-capi --without-pcap \
    --without-usb --without-v4l2 --without-vulkan --without-opencl --without-opengl \
    --without-osmesa --without-krb5 --without-gssapi --without-sdl --without-udev \
    --without-dbus --without-inotify --without-unwind \
    ZLIB_PE_LIBS=z CFLAGS="-O1 -Wno-error" CROSSCFLAGS="-O1 -Wno-error" >/dev/null
  touch .t_common-configured
fi

# Built in two rounds, each module for both architectures together with what
# it imports at load time (a module that is only delay-loaded is built when it
# is listed here): first what a 32-bit console program needs in WoW64 mode,
# then what a prefix needs to boot and our test programs import. The whole of
# Wine takes several times as long.
console_modules=(
  dlls/ntdll dlls/kernelbase dlls/kernel32 dlls/msvcrt dlls/apisetschema
  dlls/wow64 dlls/wow64cpu dlls/wow64win dlls/win32u
)
prefix_modules=(
  dlls/ucrtbase dlls/user32 dlls/gdi32 dlls/advapi32 dlls/sechost dlls/shell32 dlls/shlwapi
  dlls/shcore dlls/ole32 dlls/oleaut32 dlls/combase dlls/rpcrt4 dlls/setupapi dlls/comctl32
  dlls/version dlls/newdev dlls/uxtheme dlls/cabinet dlls/mountmgr.sys dlls/ntoskrnl.exe
  dlls/nsiproxy.sys dlls/bcrypt dlls/crypt32 dlls/iphlpapi dlls/dbghelp dlls/imm32
  programs/wineboot programs/services programs/rpcss programs/explorer programs/conhost
  programs/cmd programs/winecfg programs/rundll32 programs/regsvr32 programs/plugplay
  programs/winedevice programs/start programs/svchost programs/reg
)
imports_of() {  # module folder: the dll folders its Makefile.in imports at load time
  sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$1/Makefile.in" | sed -n 's/^IMPORTS *= *//p' | tr ' ' '\n' |
    while read -r name; do [ -n "$name" ] && [ -f "dlls/$name/Makefile.in" ] && echo "dlls/$name"; done
}
install_targets() {  # module folders: the install targets of them and of all they import
  local queue=("$@") module more
  local -A wanted=()
  while [ ${#queue[@]} -gt 0 ]; do
    module=${queue[0]}
    queue=("${queue[@]:1}")
    [ -n "${wanted[$module]:-}" ] && continue
    wanted[$module]=1
    mapfile -t more < <(imports_of "$module")
    queue+=("${more[@]}")
    if grep -qF "$module/install-lib::" Makefile; then echo "$module/install-lib"; fi
  done
}
build_round() {  # name, module folders
  local name=$1 targets
  shift
  mapfile -t targets < <(install_targets "$@")
  step "building and installing $name: ${#targets[@]} modules"
  niced make -k -j"$JOBS" __tooldeps__ loader/install-lib server/install-lib nls/install-lib "${targets[@]}" \
    >> "$WINE32_DIR/make.log" 2>&1 || true
}
install_zlib() {
  # Debian's Wine links zlib from mingw as zlib1.dll and ships it marked as a
  # builtin, which is the only kind Wine loads from its own folders.
  local pair dll
  for pair in x86_64:x86_64-windows i686:i386-windows; do
    dll=$INSTALL_DIR/lib/${pair#*:}/zlib1.dll
    if [ -d "${dll%/*}" ] && [ ! -f "$dll" ]; then
      cp "/usr/${pair%%:*}-w64-mingw32/lib/zlib1.dll" "$dll"
      tools/winebuild/winebuild --builtin "$dll"
    fi
  done
}

check=$WINE32_DIR/check
mkdir -p "$check"
if [ ! -f "$check/bits32.exe" ]; then
  printf '%s\n' '#include <windows.h>' '#include <stdio.h>' 'int main(void) {' \
    '  BOOL wow64 = FALSE;' '  IsWow64Process(GetCurrentProcess(), &wow64);' \
    '  printf("%d-bit wow64=%d\n", (int)sizeof(void*) * 8, wow64);' '  return 0;' '}' > "$check/bits.c"
  x86_64-w64-mingw32-gcc -o "$check/bits64.exe" "$check/bits.c"
  i686-w64-mingw32-gcc -o "$check/bits32.exe" "$check/bits.c"
fi
report() {  # what the two programs printed, against what they should
  step "64-bit program: ${1:-no output}; 32-bit program: ${2:-no output} (errors: $check/errors.log)"
  [ "$1" = "64-bit wow64=0" ] && [ "$2" = "32-bit wow64=1" ]
}

if [ ! -f "$INSTALL_DIR/ready" ]; then
  build_round "what a console program needs" "${console_modules[@]}"
  build_round "what a prefix and the tests need" "${prefix_modules[@]}"
  install_zlib
  # Ready once both run in a prefix of the test harness.
  step "running the check programs in a prefix of the test harness"
  harness=$(dirname "$(readlink -f "$0")")/wine-run.sh
  harness_run() {
    TQ_WINE_ROOT=$check/wine TQ_WINE_BIN=$INSTALL_DIR/bin bash "$harness" "$@" 2>>"$check/errors.log" |
      tr -d '\r' || true
  }
  if report "$(harness_run "$check/bits64.exe")" "$(harness_run "$check/bits32.exe")"; then
    touch "$INSTALL_DIR/ready"
  fi
  harness_run --stop-all
fi

if [ "${1:-}" = "--all" ]; then
  step "building and installing the rest of Wine"
  niced make -k -j"$JOBS" >> "$WINE32_DIR/make.log" 2>&1 || true
  niced make -k install-lib >> "$WINE32_DIR/make.log" 2>&1 || true
  install_zlib
fi
if [ -f "$INSTALL_DIR/ready" ]; then
  step "ready: $INSTALL_DIR/bin/wine"
else
  step "not ready: 32-bit programs do not run yet"
  exit 1
fi
