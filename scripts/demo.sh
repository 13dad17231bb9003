#!/usr/bin/env bash
# Sets the machine up, builds everything and runs the main job under Wine:
# Install.exe on a generated sample distribution (tools/demo/run-demo.sh).
# With a usable display you operate the installer's window; without one it
# runs on a private Xvfb display, driven with the default answers, and the
# progress list, the installed tree and a screenshot of the finished window
# are written.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32 win64
rc=0
bash tools/demo/run-demo.sh || rc=$?
tools/wine/winerun.sh build/win64/wine --stop || true
exit $rc
