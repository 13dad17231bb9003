#!/usr/bin/env bash
# Inside the i686 guest: starts the tests' Wine prefix and display, runs CTest's
# win32 preset with the given options and stops the servers again.  Run from
# the source folder (scripts/test-i686.sh does that).
set -uo pipefail
root=$(sed -n 's/^ECG_WINE_ROOT:[A-Z]*=//p' build/win32/CMakeCache.txt)
root=${root:-/var/ecg-wine}
echo "guest: $(uname -m), $(nproc) processors, $(wine --version 2>/dev/null), prefix $root"
t0=$(date +%s)
tools/wine/winerun.sh "$root" --start || { echo "guest: the Wine prefix did not start"; exit 1; }
ctest --preset win32 -j "$(nproc)" "$@"
rc=$?
tools/wine/winerun.sh "$root" --stop
echo "guest: i686 tests took $(( $(date +%s) - t0 )) s, ctest rc=$rc"
exit $rc
