#!/usr/bin/env bash
# Runs every test: the platform-free code natively (ASan/UBSan), the Windows
# code under Wine (the x86_64 twin on this machine, then the shipped i686
# build in the emulated 32-bit guest), and checks that the shipped i686
# binaries link against system DLLs only.  Sets the machine up first
# (idempotent).  Every test runs once: a failure fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
bash scripts/build.sh win32 win64 native || exit 1

status=0
bash scripts/check-imports.sh build/win32 || status=1

echo "== native tests"
ctest --preset native -j "$(nproc)" --output-on-failure || status=1

echo "== Windows tests under Wine (x86_64 twin, on this machine)"
root=build/win64/wine
tools/wine/winerun.sh "$root" --start || exit 1
t0=$SECONDS
ctest --preset win64 -j "$(nproc)" --output-on-failure || status=1
twin=$((SECONDS - t0))
tools/wine/winerun.sh "$root" --stop

echo "== i686 tests (what ships) under 32-bit Wine in the emulated guest"
t0=$SECONDS
bash scripts/test-i686.sh --output-on-failure || status=1
i686=$((SECONDS - t0))
awk -v a="$i686" -v b="$twin" 'BEGIN { printf "figure: i686 suite %d s in the guest (boot included), twin suite %d s on the host: ratio %.2f\n", a, b, (b > 0 ? a / b : 0) }'

if [ $status = 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit $status
