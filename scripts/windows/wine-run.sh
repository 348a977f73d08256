#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine:
#
#   wine-run.sh [--prefix WINEPREFIX] [--gui] program.exe [arguments...]
#
# --gui lets the program open windows on $DISPLAY (an X server such as
# Xvfb); without it the program runs as a console program with no display.
#
# The Wine prefix is private to the build (default build-windows/wine of the
# clone, or $TRAVO_WINEPREFIX). Its first use creates it, which takes a few
# seconds; concurrent callers wait for that once and then share the prefix's
# wineserver. The program's exit status is returned unchanged.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib.sh"
prefix=${TRAVO_WINEPREFIX:-$root/build-windows/wine}
gui=0
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --gui) gui=1; shift ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ]; then
  echo "usage: $0 [--prefix WINEPREFIX] [--gui] program.exe [arguments...]" >&2
  exit 2
fi

travo_find_wine
if [ ! -x "$WINE64" ]; then
  echo "$0: $WINE64 is missing (run scripts/windows/setup.sh)" >&2
  exit 2
fi

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINELOADER=$WINE64
export WINEDEBUG=-all
# No Mono or Gecko installers; console programs get no display at all.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ "$gui" = 0 ]; then unset DISPLAY WAYLAND_DISPLAY; fi

ready=$prefix/.travo-ready
if [ ! -f "$ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 8>"$prefix.lock"
  flock 8
  if [ ! -f "$ready" ]; then
    rm -rf "$prefix"
    "$WINE64" wineboot -i </dev/null >/dev/null 2>&1
    "$WINESERVER" -w
    : > "$ready"
  fi
  flock -u 8
  exec 8>&-
fi

# The first program of a Wine session starts the session's services
# (services.exe, winedevice.exe), which inherit its output and would keep a
# caller that reads it (ctest, a pipe) waiting until the session ends. So the
# session is started here, detached from our output, once per wineserver: its
# pid is recorded after the boot. The server stays a while for the next program.
server_dir=server-$(printf '%x-%x' $(stat -c '%d %i' "$prefix"))
server_pid() {
  local p
  for p in $(pgrep -x 'wineserver64|wineserver' || true); do
    case $(readlink "/proc/$p/cwd" 2>/dev/null) in
      */"$server_dir") echo "$p"; return ;;
    esac
  done
}
session=$prefix/.travo-session
if [ -z "$(server_pid)" ] || [ "$(cat "$session" 2>/dev/null)" != "$(server_pid)" ]; then
  exec 8>"$prefix.lock"
  flock 8
  if [ -z "$(server_pid)" ] || [ "$(cat "$session" 2>/dev/null)" != "$(server_pid)" ]; then
    "$WINESERVER" -p 120 </dev/null >/dev/null 2>&1 || true
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
    server_pid > "$session"
  fi
  flock -u 8
  exec 8>&-
fi

exec "$WINE64" "$@"
