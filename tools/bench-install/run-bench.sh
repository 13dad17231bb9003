#!/usr/bin/env bash
# Install benchmark: a 300 MB sample distribution (about 2,000 files, a 200 MB
# template database) installed under Wine, driven automatically, against
# CopyFileW of the same bytes, and the installer's peak working set.
#
#   tools/bench-install/run-bench.sh [--build DIR] [extra bench_install args, e.g. --no-driver]
#
# ECG_BENCH_PREBUILT=1 takes the build tree as it is (no build step: the i686
# guest has no compilers); ECG_WINE_ROOT and ECG_BENCH_WORK choose the Wine
# root (default DIR/wine) and the work folder (default DIR/bench-install).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/win64
if [ "${1:-}" = --build ]; then build=$2; shift 2; fi
if [ "${ECG_BENCH_PREBUILT:-0}" != 1 ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
  cmake --build "$build" -j2 --target Install sample_driver_setup hosttools bench_install >/dev/null
fi
build=$(cd "$build" && pwd)
root=${ECG_WINE_ROOT:-$build/wine}
work=${ECG_BENCH_WORK:-$build/bench-install}
mkdir -p "$work"
"$build/host-tools/sampledist/sampledist" --out "$work/dist" \
  --install "$build/installer/Install.exe" \
  --driver-setup "$build/tools/sampledist/driversetup/CDM21228_Setup.exe" \
  --files 1935 --release-mb 100 --db-mb 200
winpath() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }
tools/wine/winerun.sh "$root" --start
tools/wine/winerun.sh "$root" "$build/tools/bench-install/bench_install.exe" \
  "$(winpath "$work/dist")" "$(winpath "$work/run")" "$@"
