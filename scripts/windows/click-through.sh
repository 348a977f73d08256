#!/usr/bin/env bash
# The installed Windows application, used as a person would, under Wine on a
# virtual X display:
#
#   click-through.sh [INSTALLER] [--screenshots DIR]
#
# Installs INSTALLER (default: the newest build-windows/TRAVO-*-setup.exe)
# silently into a fresh Wine prefix, starts the installed patent-site.exe and
# travo.exe (the site's address set as the user would, in TRAVO_SITE), checks
# the window's title and fixed 720×495 size, types a search, clicks
# "輸出檢索列表", waits for the search list in the prefix's
# C:/corvana/TRAVO專利檢索軟體/, closes the window and checks the process
# ends. With --screenshots it saves travo-windows-{before,busy,after}.png there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib.sh"
travo_find_wine
build=${TRAVO_WINDOWS_BUILD:-$root/build-windows}

installer=
shots=
while [ $# -gt 0 ]; do
  case $1 in
    --screenshots) shots=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    *) installer=$1; shift ;;
  esac
done
if [ -z "$installer" ]; then
  installer=$(ls -t "$build"/TRAVO-*-setup.exe 2>/dev/null | head -n1 || true)
fi
[ -f "$installer" ] || { echo "click-through: no installer (run scripts/windows/package.sh)" >&2; exit 2; }

say() { printf 'click-through: %s\n' "$*"; }
fail() { printf 'click-through: FAILED: %s\n' "$*" >&2; exit 1; }

prefix=$build/wine-install
rm -rf "$prefix" "$prefix.lock"
work=$(mktemp -d /tmp/travo-click.XXXXXX)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# Every program of the session sees the display: the first one starts the
# session's desktop, which must have it for any window to appear.
wine() { "$here/wine-run.sh" --prefix "$prefix" --gui "$@"; }
unset CORVANA_ROOT TRAVO_SITE TRAVO_PRODUCT_HOST

# A display of our own: Xvfb picks a free number and writes it to the pipe
# once it accepts clients.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/displayfd" > "$work/xvfb.log" 2>&1 &
pids+=($!)
display=
read -r -t 30 display < "$work/displayfd" || true
[ -n "$display" ] || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=:$display
say "virtual display $DISPLAY"

say "installing $(basename "$installer") /S"
wine "$installer" /S
user=$(id -un)
app=$prefix/drive_c/users/$user/AppData/Local/Programs/TRAVO
for f in travo.exe travo-search.exe quire.exe patent-site.exe uninstall.exe platforms/qwindows.dll 格式範本/logo.png; do
  [ -f "$app/$f" ] || fail "the installer did not install $f"
done
[ -f "$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/TRAVO專利檢索軟體.lnk" ] \
  || fail "no Start-menu shortcut"
say "installed into C:/users/$user/AppData/Local/Programs/TRAVO, Start-menu shortcut present"

# The local site, slowed a little so that the busy window can be seen.
wine "$app/patent-site.exe" --port 0 --delay-ms 150 > "$work/site.out" 2>&1 &
pids+=($!)
site=$(travo_wait_listening 120 "${pids[-1]}" "$work/site.out") || fail "patent-site.exe did not start"
say "local site at $site"

export TRAVO_SITE=$site
wine "$app/travo.exe" > "$work/travo.out" 2>&1 &
travo_pid=$!
pids+=($travo_pid)
window=
find_window() { window=$(xdotool search --onlyvisible --name '^TRAVO專利檢索軟體$' 2>/dev/null | head -n1); [ -n "$window" ]; }
travo_wait_for 120 find_window || { cat "$work/travo.out"; fail "no window titled TRAVO專利檢索軟體"; }
size() { xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p'; }
has_fixed_size() { [ "$(size)" = 720x495 ]; }
travo_wait_for 10 has_fixed_size || fail "the window is $(size), not 720x495"
say "window \"TRAVO專利檢索軟體\" at 720x495"
# Fixed size as a window manager sees it: minimum and maximum both 720x495
# (Wine sets them for a window without a sizing border).
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
grep -q 'minimum size: 720 by 495' <<< "$hints" && grep -q 'maximum size: 720 by 495' <<< "$hints" \
  || { echo "$hints"; fail "the window may be resized"; }
say "the window cannot be resized (minimum = maximum = 720x495)"

shot() { [ -z "$shots" ] || import -window "$window" "$shots/travo-windows-$1.png"; }
# The search is pasted, as an input method would commit it: xdotool's typing
# of characters outside the keyboard map races Wine's keyboard-map update.
xdotool mousemove --window "$window" 220 114 click 1
printf '石墨烯' | xclip -selection clipboard 2>/dev/null
xdotool key ctrl+v
sleep 1  # let the text box draw what was pasted
shot before

list=$(travo_search_list "$prefix/drive_c/corvana")
rm -f "$list"
xdotool mousemove --window "$window" 560 125 click 1
say "clicked 輸出檢索列表"
sleep 3  # a few pages in, the messages are arriving
shot busy
travo_wait_for 300 test -f "$list" || fail "no search list at C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx"
sleep 2  # the last messages reach the window
shot after
hits=$(/usr/bin/python3 - "$list" <<'PY'
import sys, openpyxl
rows = list(openpyxl.load_workbook(sys.argv[1]).active.iter_rows(values_only=True))
print(len(rows) - 1)
PY
)
[ "$hits" -gt 0 ] || fail "the search list holds no hits"
say "search list in the Wine prefix's C:/corvana/TRAVO專利檢索軟體/ holds $hits hits"

xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window" || true
xdotool key --window "$window" alt+F4
travo_ended() { ! kill -0 "$travo_pid" 2>/dev/null; }
if ! travo_wait_for 60 travo_ended; then
  fail "travo.exe still runs 60 s after its window was closed"
fi
wait "$travo_pid" || true
say "window closed; travo.exe ended"
say "all checks passed"
