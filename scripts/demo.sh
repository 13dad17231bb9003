#!/usr/bin/env bash
# Sets the machine up, builds everything and runs the main job under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32 win64
root=build/win64/wine
tools/wine/winerun.sh "$root" --start
tools/wine/winerun.sh "$root" build/win64/tools/smoke/smoke.exe
tools/wine/winerun.sh "$root" --stop
