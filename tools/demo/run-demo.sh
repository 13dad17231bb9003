#!/usr/bin/env bash
# The main job: builds the installer, writes the sample distribution and runs
# Install.exe from it under Wine.
#
#   tools/demo/run-demo.sh [--build DIR] [--headless] [--screenshot FILE] [--path TARGET]
#
# With a usable display ($DISPLAY answers) the installer's window appears
# there and you operate it yourself.  Without one (or with --headless) it runs
# on the prefix's private Xvfb display: the demo driver presses the buttons
# with the default answers, the progress list and the installed tree are
# printed, and a PNG screenshot of the finished window is saved (default
# BUILD/demo/installer-window.png).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$(pwd)

build=build/win64
headless=0
shot=
path=
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --headless) headless=1; shift ;;
    --screenshot) shot=$2; shift 2 ;;
    --path) path=$2; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "run-demo: unknown argument $1" >&2; exit 2 ;;
  esac
done

# Only the 64-bit build runs under this machine's 64-bit Wine.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset win64 -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target Install sample_driver_setup hosttools demo_driver >/dev/null
build=$(cd "$build" && pwd)
root=$build/wine
demo=$build/demo
mkdir -p "$demo"
[ -n "$shot" ] || shot=$demo/installer-window.png

echo "== sample distribution"
"$build/host-tools/sampledist/sampledist" --out "$demo/dist" \
  --install "$build/installer/Install.exe" \
  --driver-setup "$build/tools/sampledist/driversetup/CDM21228_Setup.exe"

winpath() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }

if [ "$headless" = 0 ] && [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
  echo "== Install.exe on display $DISPLAY: operate the window; the demo ends when it closes"
  ECG_USE_HOST_DISPLAY=1 tools/wine/winerun.sh "$root" --start
  ECG_USE_HOST_DISPLAY=1 tools/wine/winerun.sh "$root" "$demo/dist/Install.exe"
  exit 0
fi

echo "== Install.exe under Xvfb, driven with the default answers"
tools/wine/winerun.sh "$root" --start
display=$(cat "$root/xvfb.display")
ready=$demo/window.ready
done_file=$demo/window.done
rm -f "$ready" "$done_file"
args=("$(winpath "$demo/dist/Install.exe")" --tree --ready-file "$(winpath "$ready")" --done-file "$(winpath "$done_file")")
[ -z "$path" ] || args+=(--path "$path")
tools/wine/winerun.sh "$root" "$build/tools/demo/demo_driver.exe" "${args[@]}" &
driver=$!
for _ in $(seq 1 1200); do
  [ -s "$ready" ] && break
  kill -0 "$driver" 2>/dev/null || break
  sleep 0.25
done
if [ -s "$ready" ]; then
  read -r x y w h <"$ready"
  # The window rectangle, kept inside the screen.
  [ "$x" -ge 0 ] || { w=$((w + x)); x=0; }
  [ "$y" -ge 0 ] || { h=$((h + y)); y=0; }
  if import -display "$display" -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" 2>"$demo/import.log"; then
    echo "== screenshot of the finished window: $shot"
  else
    echo "run-demo: screenshot failed (see $demo/import.log)" >&2
  fi
  touch "$done_file"
fi
rc=0
wait "$driver" || rc=$?
exit $rc
