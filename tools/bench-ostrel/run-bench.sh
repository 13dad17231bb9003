#!/usr/bin/env bash
# OstrelCom transfer benchmark under Wine: a 5,000-record inspection read
# through the registered COM object from the device simulator on COM4, paced
# like a 115200 baud 8N1 line, against the wire time of every byte exchanged;
# then the same unpaced (the host's own share).  The bytes on the line are
# also counted from the simulator's event log and compared with the
# protocol's count.
#
#   tools/bench-ostrel/run-bench.sh [--build DIR] [runs]
#
# ECG_BENCH_PREBUILT=1 takes the build tree as it is (no build step: the i686
# guest has no compilers); ECG_WINE_ROOT chooses the Wine root (DIR/wine).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/win64
if [ "${1:-}" = --build ]; then build=$2; shift 2; fi
runs=${1:-3}
if [ "${ECG_BENCH_PREBUILT:-0}" != 1 ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
  cmake --build "$build" -j2 --target OstrelCom bench_ostrel hosttools >/dev/null
fi
build=$(cd "$build" && pwd)
root=${ECG_WINE_ROOT:-$build/wine}
sim=$build/host-tools/ostrelsim/ostrelsim
winpath() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }
tools/wine/winerun.sh "$root" --start
dll=$(winpath "$build/ostrelcom/OstrelCom.dll")
tools/wine/winerun.sh "$root" regsvr32 /s "$dll"
"$sim" --root "$root" --port 4 --daemon --idle 300 >/dev/null
cleanup() {
  "$sim" --stop --root "$root" --port 4 || true
  tools/wine/winerun.sh "$root" regsvr32 /s /u "$dll" || true
}
trap cleanup EXIT
ctl=$root/ports/ostrelsim-COM4.ctl
log=$root/ports/ostrelsim-COM4.log

# Bytes on the line per the simulator's log from line $1 on: host frames
# (wake-up 18, query 18, state write 42, 0x84 18) and device replies (state
# 18, records 18 each).
count_log() {
  tail -n +"$1" "$log" | awk '
    /^wake/ {b += 18}
    /^query [0-9]/ {b += 36}
    /^query (corrupt|short)/ {b += 18}
    /^write / {b += 42}
    /^read / {for (i = 1; i <= NF; i++) if ($i == "sent") b += 18 + 18 * $(i + 1)}
    /ERROR/ {err++}
    END {printf "%d %d\n", b, err}'
}

bench() {  # $1 pace
  echo "insp=1:100:5101 pace=$1 run=$RANDOM" >"$ctl"
  local from
  from=$(( $(wc -l <"$log") + 1 ))
  tools/wine/winerun.sh "$root" "$build/tools/bench-ostrel/bench_ostrel.exe" 4 1 "$runs" | tee "$build/bench-ostrel-$1.txt"
  local bytes errors expected
  read -r bytes errors < <(count_log "$from")
  expected=$(sed -n 's/^FIGURES .* bytes=\([0-9]*\) .*/\1/p' "$build/bench-ostrel-$1.txt")
  echo "simulator log: $((bytes / runs)) bytes a run on the line (protocol count $expected), protocol errors logged: $errors"
}
echo "== paced, 115200 baud 8N1 =="
bench 1
echo "== unpaced (host and Wine only) =="
bench 0
