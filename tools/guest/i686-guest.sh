#!/usr/bin/env bash
# The emulated 32-bit guest that runs the i686 build: a Debian 12 i386 tree
# with 32-bit Wine, booted by qemu-system-i386 under software emulation (this
# machine's kernel runs no 32-bit code, and Wine does not run under qemu's
# user-mode emulation).
#
#   i686-guest.sh build GUEST_DIR         make the guest once (idempotent; rebuilt
#                                         when this script changes)
#   i686-guest.sh run GUEST_DIR [options] -- COMMAND...
#                                         boot the guest, run COMMAND in it, power off
#     --share DIR      make host folder DIR visible at the same path in the guest
#                      (9p; repeatable); COMMAND runs in the first one
#     --timeout S      kill a guest still running after S seconds (default 3000)
#     --log FILE       also keep the guest's console output in FILE
#     --mem MB         guest memory (default 2048)
#   The exit code is COMMAND's, 124 for a guest killed at the time-out, 125 when
#   the guest ended without reporting one.  ECG_GUEST_9P_CACHE sets the shares'
#   9p cache mode (the guest's default: loose).
#
# The guest's root disk is never changed by a run (qemu -snapshot): every run
# starts from the state the build left, Wine prefix included.  Inside the guest
# COMMAND runs as root with LANG=ru_RU.UTF-8, PATH and HOME set, the Wine
# prefix of the i686 tests at /var/ecg-wine (created when the guest is built)
# and its Xvfb display started on demand by tools/wine/winerun.sh.
#
# Needs root (binfmt_misc, debootstrap, chroot) for `build`; `run` needs only
# qemu-system-i386.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

log() { printf '[guest] %s\n' "$*" >&2; }

# What the guest holds.  Changing a list rebuilds the tree.
GUEST_PACKAGES="linux-image-686 wine wine32 xvfb xauth locales cmake kmod util-linux procps"
GUEST_MODULES="virtio_pci virtio_blk virtio_ring ext4 9p 9pnet 9pnet_virtio"
GUEST_LOCALES="ru_RU.UTF-8 en_US.UTF-8"
IMAGE_SIZE=6G

# The image holds the tree, the guest's init and the Wine prefix laid out by
# the Wine runner: it is remade when one of them changes.
image_hash() {
  { tree_hash; cat "$here/guest-init.sh" "$src/tools/wine/winerun.sh"; } | sha256sum | cut -c1-16
}

# The tree needs rebuilding only when the package, module or locale lists change.
tree_hash() { printf '%s|%s|%s|%s\n' "$GUEST_PACKAGES" "$GUEST_MODULES" "$GUEST_LOCALES" "$(mirror_uri)" | sha256sum | cut -c1-16; }

# --- build ----------------------------------------------------------------

register_binfmt() {
  # The tree's programs run under qemu user-mode while the tree is made.
  # Debian's qemu-user-static does not register i386 on an amd64 host.
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc none /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      > /proc/sys/fs/binfmt_misc/register
  fi
}

mirror_uri() {
  local uri=""
  if [ -f "$src/scripts/lib/apt-sources.sh" ]; then
    . "$src/scripts/lib/apt-sources.sh"
    uri=$(apt_sources_scan /etc/apt bookworm | sed -n 's/^uri=//p')
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}

build_tree() {
  local dir=$1 tree=$1/tree
  local uri; uri=$(mirror_uri)
  register_binfmt
  rm -rf "$tree"
  log "debootstrap i386 bookworm from $uri (log: $dir/debootstrap.log)"
  debootstrap --arch=i386 --variant=minbase bookworm "$tree" "$uri" >"$dir/debootstrap.log" 2>&1 \
    || { tail -n 20 "$dir/debootstrap.log" >&2; return 1; }
  cp /etc/resolv.conf "$tree/etc/resolv.conf"
  # A short module list keeps mkinitramfs quick under user-mode emulation.
  mkdir -p "$tree/etc/initramfs-tools"
  printf '%s\n' $GUEST_MODULES >"$tree/etc/initramfs-tools/modules"
  mountpoint -q "$tree/proc" || mount -t proc proc "$tree/proc"
  log "installing the guest's packages (log: $dir/guest-apt.log)"
  local rc=0
  chroot "$tree" /bin/bash -c "
    set -e
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends initramfs-tools
    sed -i 's/^MODULES=.*/MODULES=list/' /etc/initramfs-tools/initramfs.conf
    apt-get install -y -q --no-install-recommends $GUEST_PACKAGES
    sed -i 's/^update_initramfs=.*/update_initramfs=no/' /etc/initramfs-tools/update-initramfs.conf
    for l in $GUEST_LOCALES; do echo \"\$l UTF-8\" >>/etc/locale.gen; done
    locale-gen
    apt-get clean
    rm -rf /var/lib/apt/lists/*" >"$dir/guest-apt.log" 2>&1 || rc=$?
  umount "$tree/proc" 2>/dev/null || true
  [ $rc = 0 ] || { tail -n 20 "$dir/guest-apt.log" >&2; return 1; }
  install_init "$tree"
}

# The guest's init (guest-init.sh): mounts the shares named on the kernel
# command line, runs the job they hold and powers off.
install_init() {
  install -m 755 "$here/guest-init.sh" "$1/sbin/ecg-guest-init"
}

make_image() {
  local dir=$1
  log "writing the guest's disk image"
  cp "$dir"/tree/boot/vmlinuz-* "$dir/vmlinuz"
  cp "$dir"/tree/boot/initrd.img-* "$dir/initrd.img"
  rm -f "$dir/root.img.new"
  mke2fs -q -t ext4 -d "$dir/tree" -L root "$dir/root.img.new" "$IMAGE_SIZE"
  mv "$dir/root.img.new" "$dir/root.img"
}

cmd_build() {
  local dir=$1
  mkdir -p "$dir"; dir=$(cd "$dir" && pwd)
  local want; want=$(image_hash)
  if [ -f "$dir/root.img" ] && [ "$(cat "$dir/ready" 2>/dev/null)" = "$want" ]; then
    return 0
  fi
  rm -f "$dir/ready"
  if [ "$(cat "$dir/tree.done" 2>/dev/null)" != "$(tree_hash)" ]; then
    build_tree "$dir"
    tree_hash >"$dir/tree.done"
  else
    install_init "$dir/tree"
  fi
  make_image "$dir"
  # Boot once to create the tests' Wine prefix, kept in the image: wineboot
  # under emulation takes from seconds to minutes.
  log "first boot: creating the Wine prefix of the i686 tests"
  local rc=0
  ECG_GUEST_WRITABLE=1 cmd_run "$dir" --timeout 900 --share "$src" -- \
    bash -c 'tools/wine/winerun.sh /var/ecg-wine --start && tools/wine/winerun.sh /var/ecg-wine --stop && test -f /var/ecg-wine/prefix/.ecg-ready' \
    || rc=$?
  [ $rc = 0 ] || { log "the Wine prefix was not created (rc=$rc)"; return 1; }
  echo "$want" >"$dir/ready"
  log "guest ready in $dir"
}

# --- run ------------------------------------------------------------------

cmd_run() {
  local dir=$1; shift
  dir=$(cd "$dir" && pwd)
  local -a shares=()
  local timeout=3000 logfile="" mem=2048
  while [ $# -gt 0 ]; do
    case "$1" in
      --share) shares+=("$(cd "$2" && pwd)"); shift 2 ;;
      --timeout) timeout=$2; shift 2 ;;
      --log) logfile=$2; shift 2 ;;
      --mem) mem=$2; shift 2 ;;
      --) shift; break ;;
      *) echo "i686-guest: unknown option $1" >&2; return 2 ;;
    esac
  done
  [ $# -gt 0 ] || { echo "i686-guest: no command" >&2; return 2; }
  [ -f "$dir/root.img" ] || { echo "i686-guest: no guest in $dir (run: i686-guest.sh build $dir)" >&2; return 2; }

  local job; job=$(mktemp -d "${TMPDIR:-/tmp}/ecg-guest-job.XXXXXX")
  {
    printf 'set -uo pipefail\n'
    printf 'export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8\n'
    printf '%q ' "$@"; printf '\n'
  } >"$job/run.sh"
  [ ${#shares[@]} -eq 0 ] || printf '%s\n' "${shares[0]}" >"$job/cwd"

  local -a qargs=(-m "$mem" -smp 2 -accel tcg,thread=multi -nographic -vga none -nic none -no-reboot
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img"
    -drive "file=$dir/root.img,format=raw,if=virtio"
    -virtfs "local,path=$job,mount_tag=job,security_model=none")
  [ "${ECG_GUEST_WRITABLE:-0}" = 1 ] || qargs+=(-snapshot)
  local append="root=/dev/vda rw console=ttyS0 quiet loglevel=1 init=/sbin/ecg-guest-init ecg.share=job:/job"
  [ -z "${ECG_GUEST_9P_CACHE:-}" ] || append+=" ecg.9pcache=$ECG_GUEST_9P_CACHE"
  local i=0 s
  for s in "${shares[@]}"; do
    i=$((i + 1))
    qargs+=(-virtfs "local,path=$s,mount_tag=share$i,security_model=none")
    append+=" ecg.share=share$i:$s"
  done
  qargs+=(-append "$append")

  local rc=0
  if [ -n "$logfile" ]; then
    timeout --kill-after=10 "$timeout" qemu-system-i386 "${qargs[@]}" </dev/null 2>&1 | tee "$logfile" || rc=${PIPESTATUS[0]}
  else
    timeout --kill-after=10 "$timeout" qemu-system-i386 "${qargs[@]}" </dev/null 2>&1 || rc=$?
  fi
  if [ $rc = 124 ] || [ $rc = 137 ]; then
    echo "i686-guest: the guest was still running after $timeout s and was killed" >&2
    rm -rf "$job"; return 124
  fi
  if [ ! -f "$job/rc" ]; then
    echo "i686-guest: the guest ended without reporting an exit code (qemu rc=$rc)" >&2
    rm -rf "$job"; return 125
  fi
  rc=$(cat "$job/rc")
  rm -rf "$job"
  return "$rc"
}

case "${1:-}" in
  build) shift; [ $# = 1 ] || { echo "usage: i686-guest.sh build GUEST_DIR" >&2; exit 2; }; cmd_build "$1" ;;
  run) shift; [ $# -ge 1 ] || { echo "usage: i686-guest.sh run GUEST_DIR [options] -- COMMAND..." >&2; exit 2; }; cmd_run "$@" ;;
  *) sed -n '2,25p' "$0" >&2; exit 2 ;;
esac
