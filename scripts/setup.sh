#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine:
# packages, locales, source packages for the cross-built libraries, the
# cross-built libraries themselves (PCRE2, minizip, GoogleTest) and the
# emulated 32-bit guest of the i686 tests, in a cache prefix outside the
# source tree.  Safe to run again: finished steps are skipped.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS=${ECG_DEPS:-/opt/ecg-deps}
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo

PACKAGES=(
  cmake ninja-build make pkg-config git
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-tools
  libz-mingw-w64-dev
  wine64 wine64-tools
  googletest
  clang libclang-rt-14-dev
  xvfb xauth x11-utils imagemagick socat
  locales dpkg-dev python3
  qemu-system-x86 qemu-user-static debootstrap e2fsprogs g++-multilib
)

log() { printf '[setup] %s\n' "$*" >&2; }

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing packages: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Locales: Wine takes its Windows locale and ANSI code page from the Unix one.
need_gen=0
for loc in ru_RU.UTF-8 en_US.UTF-8; do
  norm=$(echo "$loc" | tr 'A-Z' 'a-z' | sed 's/-//g')
  if ! locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/-//g' | grep -qx "$norm"; then
    need_gen=1
    grep -q "^$loc UTF-8" /etc/locale.gen 2>/dev/null || echo "$loc UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
done
if [ $need_gen = 1 ]; then
  log "generating locales"
  $SUDO locale-gen
fi

# Source packages of the main suite, for PCRE2 and zlib's minizip.  The
# machine's sources may be deb822 files or one-line lists (or both); a deb-src
# entry is added only when none exists, in the format already in use.
. "$ROOT/scripts/lib/apt-sources.sh"
scan=$(apt_sources_scan /etc/apt bookworm)
src_format=$(printf '%s\n' "$scan" | sed -n 's/^format=//p')
src_uri=$(printf '%s\n' "$scan" | sed -n 's/^uri=//p')
src_key=$(printf '%s\n' "$scan" | sed -n 's/^signed_by=//p')
if [ "$(printf '%s\n' "$scan" | sed -n 's/^deb_src=//p')" != yes ]; then
  log "adding a deb-src entry for bookworm main ($src_format sources)"
  src_uri=${src_uri:-http://deb.debian.org/debian}
  if [ "$src_format" = list ]; then
    apt_sources_deb_src_entry list "$src_uri" "$src_key" bookworm \
      | $SUDO tee /etc/apt/sources.list.d/ecg-deb-src.list >/dev/null
  else
    if [ -z "$src_key" ] && [ -f /usr/share/keyrings/debian-archive-keyring.gpg ]; then
      src_key=/usr/share/keyrings/debian-archive-keyring.gpg
    fi
    apt_sources_deb_src_entry deb822 "$src_uri" "$src_key" bookworm \
      | $SUDO tee /etc/apt/sources.list.d/ecg-deb-src.sources >/dev/null
  fi
  $SUDO apt-get update -q
fi

SRC=$DEPS/src
if ! mkdir -p "$SRC" 2>/dev/null; then
  $SUDO mkdir -p "$SRC" && $SUDO chown -R "$(id -u):$(id -g)" "$DEPS"
fi
fetch_source() { # name dir-glob
  local name=$1
  if ! ls -d "$SRC/$name"-*/ >/dev/null 2>&1; then
    log "fetching source package $name"
    (cd "$SRC" && apt-get source -q "$name/bookworm" >/dev/null)
  fi
  ls -d "$SRC/$name"-*/ | head -n1
}
PCRE2_SRC=$(fetch_source pcre2)
ZLIB_SRC=$(fetch_source zlib)

JOBS=$(nproc)
for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
  prefix=$DEPS/$triplet
  tc=$ROOT/cmake/toolchain-$triplet.cmake
  mkdir -p "$prefix"

  if [ ! -f "$prefix/.pcre2-done" ]; then
    log "building PCRE2 for $triplet"
    rm -rf "$DEPS/build/pcre2-$triplet"
    cmake -S "$PCRE2_SRC" -B "$DEPS/build/pcre2-$triplet" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
      -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=ON -DPCRE2_BUILD_TESTS=OFF \
      -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_SUPPORT_JIT=OFF >/dev/null
    cmake --build "$DEPS/build/pcre2-$triplet" -j "$JOBS" >/dev/null
    cmake --install "$DEPS/build/pcre2-$triplet" >/dev/null
    touch "$prefix/.pcre2-done"
  fi

  if [ ! -f "$prefix/.minizip-done" ]; then
    log "building minizip for $triplet"
    rm -rf "$DEPS/build/minizip-$triplet"
    cmake -S "$ROOT/cmake/deps/minizip" -B "$DEPS/build/minizip-$triplet" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DMINIZIP_SRC="$ZLIB_SRC/contrib/minizip" >/dev/null
    cmake --build "$DEPS/build/minizip-$triplet" -j "$JOBS" >/dev/null
    cmake --install "$DEPS/build/minizip-$triplet" >/dev/null
    touch "$prefix/.minizip-done"
  fi

  if [ ! -f "$prefix/.gtest-done" ]; then
    log "building GoogleTest for $triplet"
    rm -rf "$DEPS/build/gtest-$triplet"
    cmake -S /usr/src/googletest -B "$DEPS/build/gtest-$triplet" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$DEPS/build/gtest-$triplet" -j "$JOBS" >/dev/null
    cmake --install "$DEPS/build/gtest-$triplet" >/dev/null
    touch "$prefix/.gtest-done"
  fi
done

# The emulated 32-bit guest that runs the i686 tests (rebuilt only when its
# recipe changes; about 20 minutes the first time).
$SUDO bash "$ROOT/tools/guest/i686-guest.sh" build "$DEPS/guest-i686"
log "dependencies ready in $DEPS"
