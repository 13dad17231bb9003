#!/usr/bin/env bash
# Runs in the i686 guest: the install benchmark and the OstrelCom transfer
# benchmark on the i686 build (build/win32), each against its own reference
# measured in the same run.  Started by scripts/bench-i686.sh.
set -uo pipefail
cd "$(dirname "$0")/../.."
export ECG_BENCH_PREBUILT=1 ECG_WINE_ROOT=/var/ecg-wine
rounds=${1:-1}
status=0
echo "== install benchmark (i686, $rounds install runs)"
ECG_BENCH_WORK=/var/tmp/bench-install tools/bench-install/run-bench.sh --build build/win32 --rounds "$rounds" || status=1
echo "== OstrelCom transfer benchmark (i686)"
tools/bench-ostrel/run-bench.sh --build build/win32 "$rounds" || status=1
tools/wine/winerun.sh /var/ecg-wine --stop
exit $status
