#!/usr/bin/env bash
# Runs the tests of the i686 build (build/win32, what ships) in the emulated
# 32-bit guest under 32-bit Wine: boots the guest with this checkout shared at
# its own path, runs CTest's win32 preset there and powers the guest off.
#
#   scripts/test-i686.sh [ctest options]     e.g.  scripts/test-i686.sh -R test_files
#
# The guest is made by scripts/setup.sh (ECG_DEPS/guest-i686); build the tree
# first with scripts/build.sh win32.  The guest's console (CTest's output) is
# printed and kept in build/win32/guest-console.log.  Exit code: CTest's, or
# non-zero when the guest hung (killed after ECG_GUEST_TIMEOUT seconds,
# default 3000) or ended without reporting.
set -uo pipefail
cd "$(dirname "$0")/.."
guest=${ECG_DEPS:-/opt/ecg-deps}/guest-i686
[ -f build/win32/CTestTestfile.cmake ] || { echo "test-i686: build/win32 has no tests (scripts/build.sh win32)" >&2; exit 2; }
exec tools/guest/i686-guest.sh run "$guest" --share "$PWD" --timeout "${ECG_GUEST_TIMEOUT:-3000}" \
  --log build/win32/guest-console.log -- bash tools/guest/guest-ctest.sh "$@"
