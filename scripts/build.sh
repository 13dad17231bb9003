#!/usr/bin/env bash
# Configures and builds the given presets (default: win32 win64 native).
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64 native)
for p in "${presets[@]}"; do
  echo "== build $p"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j "$(nproc)"
done
