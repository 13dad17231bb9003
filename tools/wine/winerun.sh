#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine in a prefix that belongs to one
# build tree.  Used as CMAKE_CROSSCOMPILING_EMULATOR by the test suite and by
# the demo scripts.
#
#   winerun.sh ROOT program.exe [args...]   run a program
#   winerun.sh ROOT --start                 boot the prefix and start the servers
#   winerun.sh ROOT --stop                  stop wineserver and Xvfb of ROOT
#   winerun.sh ROOT --env                   print the environment (for sourcing)
#
# ROOT holds the prefix, its HOME and TMPDIR, the Xvfb display and the COM port
# links (ROOT/ports/COM1..COM4, mapped in the prefix's registry once; a device
# simulator points a link at the pseudo-terminal it has opened).
#
# Environment: ECG_TEST_LANG (default ru_RU.UTF-8) selects the Unix locale that
# Wine turns into the Windows locale; ECG_USE_HOST_DISPLAY=1 keeps $DISPLAY
# instead of starting Xvfb.
set -euo pipefail

root=$1; shift
mkdir -p "$root"
root=$(cd "$root" && pwd)

# 64-bit Wine on the host; the 32-bit guest of the i686 build has only the
# 32-bit loader and server.
first_program() { local p; for p in "$@"; do [ -x "$p" ] && { echo "$p"; return; }; done; echo "$1"; }
WINE=${ECG_WINE:-$(first_program /usr/lib/wine/wine64 /usr/lib/wine/wine)}
WINESERVER=${ECG_WINESERVER:-$(first_program /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver)}

export WINEPREFIX=$root/prefix
export HOME=$root/home
export TMPDIR=$root/tmp
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
export LANG=${ECG_TEST_LANG:-ru_RU.UTF-8}
export LC_ALL=$LANG
unset LANGUAGE
mkdir -p "$HOME" "$TMPDIR" "$root/ports" "$root/log"

start_xvfb() {
  if [ "${ECG_USE_HOST_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then return; fi
  if [ -f "$root/xvfb.display" ] && [ -f "$root/xvfb.pid" ] && kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null; then
    export DISPLAY=$(cat "$root/xvfb.display"); return
  fi
  local n
  for n in $(seq 90 189); do
    [ -e "/tmp/.X$n-lock" ] && continue
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$root/log/xvfb.log" 2>&1 </dev/null &
    local pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      echo "$pid" >"$root/xvfb.pid"; echo ":$n" >"$root/xvfb.display"
      export DISPLAY=":$n"; return
    fi
  done
  echo "winerun: could not start Xvfb" >&2; exit 1
}

server_running() {
  # wineserver -k/-w talk to the running server; probing its socket folder is cheaper.
  local d
  for d in "$TMPDIR"/.wine-"$(id -u)"/server-* "$TMPDIR"/wine-*/server-*; do
    [ -S "$d/socket" ] && return 0
  done
  return 1
}

# Settings of the prefix; raise the version when they change so that
# prefixes made before get them too.
PREFIX_VERSION=2
boot_prefix() {
  local stamp=$WINEPREFIX/.ecg-ready
  [ "$(cat "$stamp" 2>/dev/null)" = "$PREFIX_VERSION" ] && return
  if [ ! -f "$stamp" ]; then
    echo "winerun: creating Wine prefix in $WINEPREFIX" >&2
    "$WINE" wineboot -i >"$root/log/boot.log" 2>&1 </dev/null
  fi
  # A crashing program gets a back trace on its standard error and ends,
  # instead of waiting for someone to close the crash dialog.
  local regfile=$root/log/prefix.reg
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n"Decorated"="Y"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    local i
    for i in 1 2 3 4; do printf '"COM%d"="%s"\r\n' "$i" "$root/ports/COM$i"; done
    printf '\r\n'
  } >"$regfile"
  "$WINE" regedit /S "$(winepath_of "$regfile")" >>"$root/log/boot.log" 2>&1 </dev/null
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  echo "$PREFIX_VERSION" >"$stamp"
}

winepath_of() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }

start_server() {
  server_running && return
  # The first Wine call starts wineserver and services that inherit our
  # descriptors; start it alone with its output sent elsewhere.
  setsid "$WINESERVER" -p >"$root/log/wineserver.log" 2>&1 </dev/null || true
  local i
  for i in $(seq 1 50); do server_running && break; sleep 0.1; done
  "$WINE" cmd /c exit >"$root/log/warmup.log" 2>&1 </dev/null || true
}

ensure_ready() {
  exec 9>"$root/.lock"
  flock 9
  boot_prefix
  start_xvfb
  start_server
  flock -u 9
}

case "${1:-}" in
  --start) ensure_ready; exit 0 ;;
  --stop)
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [ -f "$root/xvfb.pid" ]; then kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true; rm -f "$root/xvfb.pid" "$root/xvfb.display"; fi
    exit 0 ;;
  --env)
    ensure_ready
    printf 'export WINEPREFIX=%q HOME=%q TMPDIR=%q WINEDEBUG=%q WINEDLLOVERRIDES=%q LANG=%q LC_ALL=%q DISPLAY=%q\n' \
      "$WINEPREFIX" "$HOME" "$TMPDIR" "$WINEDEBUG" "$WINEDLLOVERRIDES" "$LANG" "$LC_ALL" "${DISPLAY:-}"
    exit 0 ;;
  "") echo "usage: winerun.sh ROOT program.exe [args...] | --start | --stop | --env" >&2; exit 2 ;;
esac

ensure_ready
exec "$WINE" "$@"
