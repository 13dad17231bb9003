#!/usr/bin/env bash
# The install and transfer benchmarks of the i686 build, run once in the
# emulated 32-bit guest (not part of CI).  scripts/bench-i686.sh [runs]
# Output: printed and kept in build/win32/guest-bench.log.
set -uo pipefail
cd "$(dirname "$0")/.."
guest=${ECG_DEPS:-/opt/ecg-deps}/guest-i686
[ -f build/win32/tools/bench-install/bench_install.exe ] || { echo "bench-i686: build/win32 not built (scripts/build.sh win32)" >&2; exit 2; }
exec tools/guest/i686-guest.sh run "$guest" --share "$PWD" --timeout "${ECG_GUEST_TIMEOUT:-3600}" \
  --log build/win32/guest-bench.log -- bash tools/guest/guest-bench.sh "$@"
