#!/bin/bash
# The i686 guest's init (installed as /sbin/ecg-guest-init): mounts what the
# kernel has not, then the 9p shares named on the kernel command line
# (ecg.share=TAG:PATH, repeatable), runs /job/run.sh from the share tagged
# "job" in the folder named by /job/cwd, keeps its output in /job/output.log
# and its exit code in /job/rc, and powers the guest off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
mounted() { mountpoint -q "$1"; }
mounted /proc || mount -t proc proc /proc
mounted /sys || mount -t sysfs sys /sys
mounted /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mounted /dev/pts || mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mounted /dev/shm || mount -t tmpfs shm /dev/shm
mounted /tmp || mount -t tmpfs tmp /tmp
mounted /run || mount -t tmpfs run /run
mount -o remount,rw /
echo 1 >/proc/sys/kernel/sysrq
hostname i686-guest
off() { sync; echo o >/proc/sysrq-trigger; sleep 60; }
for m in 9pnet_virtio 9p; do modprobe "$m"; done
# Shares are mounted with the page cache on (cache=loose): Wine maps programs
# from them, and each run boots afresh, so nothing cached can be stale.
cache=loose
for arg in $(cat /proc/cmdline); do
  case "$arg" in ecg.9pcache=*) cache=${arg#ecg.9pcache=} ;; esac
done
for arg in $(cat /proc/cmdline); do
  case "$arg" in
    ecg.share=*)
      share=${arg#ecg.share=}; tag=${share%%:*}; path=${share#*:}
      mkdir -p "$path"
      mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=$cache "$tag" "$path" \
        || echo "guest: cannot mount $tag at $path"
      ;;
  esac
done
if [ ! -f /job/run.sh ]; then echo "guest: no job"; off; fi
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
cd "$(cat /job/cwd 2>/dev/null || echo /)"
bash /job/run.sh </dev/null 2>&1 | tee /job/output.log
echo "${PIPESTATUS[0]}" >/job/rc
off
