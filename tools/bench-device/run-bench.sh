#!/usr/bin/env bash
# Cardiomodule query figures under Wine: the USB queries against the
# replacement FTD2XX.DLL and the serial queries against the pseudo-terminal
# simulator behind COM3 of the build's prefix.
#
#   tools/bench-device/run-bench.sh [--build DIR] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/win64
if [ "${1:-}" = --build ]; then build=$2; shift 2; fi
runs=${1:-20}
[ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target bench_device hosttools >/dev/null
build=$(cd "$build" && pwd)
tools/wine/winerun.sh "$build/wine" --start
link=$build/wine/ports/COM3
"$build/host-tools/cardiosim/cardiosim" --link "$link" --daemon --idle 300 --mode 0x21 --version 0x0102 >/dev/null
trap '"$build/host-tools/cardiosim/cardiosim" --stop --link "$link"' EXIT
tools/wine/winerun.sh "$build/wine" "$build/tools/bench-device/bench_device.exe" "$runs" 3
