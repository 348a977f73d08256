#!/usr/bin/env bash
# The installer as a Windows user meets it, under Wine, in a throwaway Wine
# prefix:
#
#   install-test.sh [BUILD_DIR]      (default build-windows)
#
#   1. packages the build twice (scripts/windows/package.sh --no-build: run
#      scripts/windows/build.sh first, as scripts/test.sh does): the project's
#      version, shipping one file more, and the next patch version without it;
#   2. the bundled local site (patent-site.exe of the build) on loopback;
#   3. setup.exe /S /SITE=<that site>: the files, the uninstall entry
#      (version, publisher, size) and the Site setting are there, and the
#      installed travo-search.exe searches that site with no TRAVO_SITE and
#      no --site (the search list is written);
#   4. /SITE=ftp://x fails the silent install (exit 2) and changes nothing;
#   5. with the installed travo.exe running (on Xvfb), the
#      silent install of the next version fails (exit 3) and leaves the old
#      files; so does the uninstaller run in place;
#   6. the next version over the old one: one uninstall entry with the new
#      version, the new files in place, the file it no longer ships gone, the
#      Site setting kept, a file under C:/corvana untouched, and a search
#      still reaches the site;
#   7. uninstall.exe /S removes the files, the entry and the setting, and
#      leaves C:/corvana alone.
#
# Needs Qt for Windows (travo.exe); without it the test says it is skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(mkdir -p "${1:-$root/build-windows}" && cd "${1:-$root/build-windows}" && pwd)

say() { printf 'install-test: %s\n' "$*"; }
fail() { printf 'install-test: FAILED: %s\n' "$*" >&2; exit 1; }
# Polls `condition` (a shell command) every 0.2 s for up to $1 seconds.
wait_for() {
  local seconds=$1; shift
  local i
  for ((i = 0; i < seconds * 5; i++)); do
    if eval "$@"; then return 0; fi
    sleep 0.2
  done
  return 1
}

if [ -z "$(TRAVO_WINDOWS_SETUP_DONE=1 bash "$here/build-qt.sh" --if-built 2>/dev/null || true)" ]; then
  say "skipped: Qt for Windows is not built, so there is no travo.exe to package (scripts/windows/build-qt.sh)"
  exit 0
fi
for p in travo travo-search quire patent-site; do
  [ -f "$build/bin/$p.exe" ] || fail "$build/bin/$p.exe is not built (bash scripts/windows/build.sh)"
done

work=$(mktemp -d /tmp/travo-install.XXXXXX)
prefix=$build/wine-install-test
pids=()
cleanup() {
  local p
  # Wine's programs first, then the display they use.
  WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# 1. Two packages: the older one ships retired.txt, which the newer drops,
# and each its own changed.txt (the programs themselves are the same build).
version=$(sed -n 's/^project(travo .*VERSION \([0-9.]*\)).*/\1/p' "$root/CMakeLists.txt")
next=${version%.*}.$(( ${version##*.} + 1 ))
mkdir -p "$work/old" "$work/new"
echo "shipped by $version only" > "$work/old/retired.txt"
echo "$version" > "$work/old/changed.txt"
echo "$next" > "$work/new/changed.txt"
say "packaging $version (with retired.txt) and $next"
old=$(TRAVO_WINDOWS_BUILD=$build bash "$here/package.sh" --version "$version" --out "$work/old/package" --no-build \
  --add "$work/old/retired.txt" --add "$work/old/changed.txt" | sed -n 1p)
new=$(TRAVO_WINDOWS_BUILD=$build bash "$here/package.sh" --version "$next" --out "$work/new/package" --no-build \
  --add "$work/new/changed.txt" | sed -n 1p)
new_stage=$work/new/package/package/TRAVO-$next
[ -f "$old" ] && [ -f "$new" ] || fail "package.sh made no installers"

rm -rf "$prefix" "$prefix.lock"
# A display of our own for travo.exe's window. Every program of the Wine
# session sees it: the first one starts the session's desktop, which must
# have it for any window to appear.
exec 9> "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
exec 9>&-
wait_for 30 '[ -s "$work/display" ]' || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")
wine() { "$here/wine-run.sh" --prefix "$prefix" --gui "$@"; }
unset CORVANA_ROOT TRAVO_SITE TRAVO_PRODUCT_HOST
user=$(id -un)
app=$prefix/drive_c/users/$user/AppData/Local/Programs/TRAVO
app_windows="C:\\users\\$user\\AppData\\Local\\Programs\\TRAVO"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
reg_value() {  # reg_value KEY NAME: the value's data, or nothing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
entries() {  # how many uninstall entries name TRAVO
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | grep -c 'DisplayName.*TRAVO' || true
}
search() {  # search OUT: the installed travo-search.exe, no site given
  local list="$prefix/drive_c/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx"
  rm -f "$list"
  wine "$app/travo-search.exe" 石墨烯 > "$1" 2>&1 || { cat "$1"; fail "travo-search.exe failed"; }
  tr -d '\r' < "$1" | grep -q '^完成$' || { cat "$1"; fail "travo-search.exe did not complete"; }
  [ -s "$list" ] || fail "no search list at C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx"
}

# 2. The local site, from the build (not from the folder being installed).
# Not through wine(): $! must be the Wine process itself (wine-run.sh execs it).
"$here/wine-run.sh" --prefix "$prefix" --gui "$build/bin/patent-site.exe" --port 0 > "$work/site.out" 2>&1 &
site_pid=$!
pids+=($site_pid)
wait_for 120 'grep -q "listening on" "$work/site.out"' || { cat "$work/site.out"; fail "patent-site.exe did not start"; }
site=$(tr -d '\r' < "$work/site.out" | sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' | head -n1)
say "local site at $site"

# 3. Silent install with the site.
wine "$old" /S "/SITE=$site" || fail "setup.exe /S /SITE=$site exited with $?"
for f in travo.exe travo-search.exe quire.exe patent-site.exe uninstall.exe retired.txt platforms/qwindows.dll; do
  [ -f "$app/$f" ] || fail "the installer did not install $f"
done
[ "$(reg_value 'HKCU\Software\TRAVO' Site)" = "$site" ] || fail "Site is '$(reg_value 'HKCU\Software\TRAVO' Site)', not $site"
[ "$(reg_value "$uninstall_key\\TRAVO" DisplayVersion)" = "$version" ] || fail "DisplayVersion is not $version"
[ "$(reg_value "$uninstall_key\\TRAVO" Publisher)" = corvana ] || fail "no Publisher"
size=$(( $(reg_value "$uninstall_key\\TRAVO" EstimatedSize) ))
[ "$size" -gt 1000 ] || fail "EstimatedSize is $size KB"
say "installed $version: Site = $site, uninstall entry with Publisher and EstimatedSize $size KB"
search "$work/search1.out"
say "the installed travo-search.exe searched $site with no TRAVO_SITE and no --site"

mkdir -p "$prefix/drive_c/corvana"
echo "the user's own" > "$prefix/drive_c/corvana/keep.txt"

# 4. A bad address fails the silent install and changes nothing.
status=0
wine "$new" /S /SITE=ftp://x || status=$?
[ "$status" = 2 ] || fail "setup.exe /S /SITE=ftp://x exited with $status, not 2"
[ "$(reg_value 'HKCU\Software\TRAVO' Site)" = "$site" ] || fail "a refused /SITE changed the setting"
[ "$(reg_value "$uninstall_key\\TRAVO" DisplayVersion)" = "$version" ] || fail "a refused install changed the entry"
say "/SITE=ftp://x fails the silent install with exit code 2, nothing changed"

# 5. travo.exe running.
"$here/wine-run.sh" --prefix "$prefix" --gui "$app/travo.exe" > "$work/travo.out" 2>&1 &
travo_pid=$!
pids+=($travo_pid)
wait_for 120 'xdotool search --onlyvisible --name "^TRAVO專利檢索軟體$" > /dev/null 2>&1' \
  || { cat "$work/travo.out"; fail "travo.exe showed no window"; }
status=0
wine "$new" /S || status=$?
[ "$status" = 3 ] || fail "installing over a running travo.exe exited with $status, not 3"
[ -f "$app/retired.txt" ] && [ "$(cat "$app/changed.txt")" = "$version" ] \
  && [ "$(reg_value "$uninstall_key\\TRAVO" DisplayVersion)" = "$version" ] \
  || fail "the refused install changed the installed version"
status=0
wine "$app/uninstall.exe" /S "_?=$app_windows" || status=$?
[ "$status" = 3 ] || fail "uninstalling a running travo.exe exited with $status, not 3"
[ -f "$app/travo.exe" ] || fail "the refused uninstall removed files"
say "with travo.exe running, the silent install and uninstall fail with exit code 3 and leave the files"
kill "$travo_pid"
wait_for 60 '! kill -0 $travo_pid 2>/dev/null' || fail "travo.exe did not end"

# 6. The next version over the old one, the site not given again.
wine "$new" /S || fail "the upgrade exited with $?"
[ "$(entries)" = 1 ] || fail "$(entries) uninstall entries after the upgrade"
[ "$(reg_value "$uninstall_key\\TRAVO" DisplayVersion)" = "$next" ] || fail "DisplayVersion is not $next"
[ ! -e "$app/retired.txt" ] || fail "the upgrade left a file the new version no longer ships"
[ "$(cat "$app/changed.txt")" = "$next" ] || fail "changed.txt is not the new version's"
(cd "$new_stage" && find . -type f) | while read -r f; do
  cmp -s "$new_stage/$f" "$app/$f" || fail "$f is not the new version's"
done
[ "$(reg_value 'HKCU\Software\TRAVO' Site)" = "$site" ] || fail "the upgrade did not keep the Site setting"
[ "$(cat "$prefix/drive_c/corvana/keep.txt")" = "the user's own" ] || fail "the upgrade touched C:/corvana"
search "$work/search2.out"
say "upgraded to $next: one entry, new files, retired.txt gone, Site kept, C:/corvana untouched, search works"

# 7. Uninstall: it copies itself out and returns at once; the copy's work is
# done when the folder is gone.
kill "$site_pid"
wine "$app/uninstall.exe" /S
wait_for 120 '[ ! -e "$app" ]' || fail "uninstall.exe left $(ls "$app")"
[ "$(entries)" = 0 ] || fail "the uninstall entry is still there"
wine reg query 'HKCU\Software\TRAVO' > /dev/null 2>&1 && fail "HKCU\\Software\\TRAVO is still there"
[ "$(cat "$prefix/drive_c/corvana/keep.txt")" = "the user's own" ] || fail "uninstall touched C:/corvana"
say "uninstalled: files, entry and setting gone, C:/corvana kept"
say "all checks passed"
