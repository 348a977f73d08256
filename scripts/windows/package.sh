#!/usr/bin/env bash
# The Windows package: installs what it needs, builds Qt for Windows when its
# cache is missing (about 20 minutes on 2 cores, once), cross-builds the
# programs and writes, under build-windows/:
#
#   TRAVO-<version>-setup.exe        NSIS installer (per user; /S is silent,
#                                    /SITE=URL sets the search site)
#   TRAVO-<version>-windows-x64.zip  the same files, for unpacking by hand
#
#   package.sh [--version X.Y.Z] [--no-build] [--add FILE]... [--out DIR]
#
# --version packages under another version than CMakeLists.txt's (an
# upgrade test installs one over the other); --no-build packages what
# build-windows/ holds; --add ships FILE as well, in the program folder
# (a test's stand-in for a file a later version drops); --out writes the
# package to DIR instead of build-windows/ (tests, so that their variants
# never pass for the real package).
#
# Every DLL a program or plugin imports is found by walking the import
# tables (objdump -p): one that is neither shipped nor part of Windows stops
# the package, since a missing DLL only shows on a real Windows machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${TRAVO_WINDOWS_BUILD:-$root/build-windows}
started=$(date +%s)
log() { printf 'package: %s\n' "$*" >&2; }
version=
build_first=1
out=
extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --version) version=$2; shift 2 ;;
    --no-build) build_first=0; shift ;;
    --add) extra+=("$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"); shift 2 ;;
    --out) out=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    *) log "usage: package.sh [--version X.Y.Z] [--no-build] [--add FILE]... [--out DIR]"; exit 2 ;;
  esac
done
if [ -n "$version" ] && ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  log "the version must be three numbers (X.Y.Z): $version"; exit 2
fi

if [ "$build_first" = 1 ]; then
  bash "$root/scripts/setup.sh" >&2       # host Qt (moc, rcc, uic), fonts, X tools
  bash "$here/setup.sh" >&2               # mingw-w64, Wine, NSIS
fi
export TRAVO_WINDOWS_SETUP_DONE=1
deps=$(bash "$here/build-deps.sh" | tail -n1)
if [ "$build_first" = 1 ]; then
  qt=$(bash "$here/build-qt.sh" | tail -n1)
else
  qt=$(bash "$here/build-qt.sh" --if-built)
  [ -n "$qt" ] || { log "Qt for Windows is not built"; exit 1; }
fi
log "Qt for Windows in $qt"

programs=(travo travo-search quire patent-site)
if [ "$build_first" = 1 ]; then
  TRAVO_WINDOWS_BUILD=$build bash "$here/build.sh" --target "${programs[@]}" platen_uno_bridge travo_gui_templates >&2
fi
[ -f "$build/CMakeCache.txt" ] && grep -q '^TRAVO_BUILD_GUI:BOOL=ON' "$build/CMakeCache.txt" \
  || { log "the build left the window out"; exit 1; }

# The version the build stamped into its programs (TRAVO_VERSION_OVERRIDE included).
[ -n "$version" ] || version=$(cat "$build/travo-version.txt" 2>/dev/null || true)
[ -n "$version" ] || version=$(sed -n 's/^project(travo .*VERSION \([0-9.]*\)).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { log "no version in CMakeLists.txt"; exit 1; }
name=TRAVO-$version
[ -n "$out" ] || out=$build
stage=$out/package/$name
rm -rf "$out/package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats"

for p in "${programs[@]}"; do cp "$build/bin/$p.exe" "$stage/"; done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$qt/plugins/imageformats/qico.dll" "$stage/imageformats/"  # the window icon (logo.ico)
cp -r "$build/bin/格式範本" "$stage/"
cp "$build/bin/platen_uno_bridge.py" "$stage/"
cp "$root/model/GUI/格式範本/logo.ico" "$stage/travo.ico"
for f in "${extra[@]}"; do cp "$f" "$stage/"; done

# Windows' own DLLs: imported, never shipped.
is_system_dll() {
  case ${1,,} in
    api-ms-win-*|ext-ms-*) return 0 ;;
    kernel32.dll|user32.dll|gdi32.dll|shell32.dll|advapi32.dll|ole32.dll|oleaut32.dll|comdlg32.dll| \
    comctl32.dll|ws2_32.dll|msvcrt.dll|ntdll.dll|imm32.dll|winmm.dll|version.dll|uxtheme.dll| \
    dwmapi.dll|shlwapi.dll|crypt32.dll|bcrypt.dll|secur32.dll|normaliz.dll|wldap32.dll| \
    iphlpapi.dll|userenv.dll|netapi32.dll|wtsapi32.dll|setupapi.dll|mpr.dll|authz.dll| \
    opengl32.dll|d3d9.dll|d3d11.dll|d3d12.dll|dxgi.dll|dwrite.dll|d2d1.dll|winspool.drv| \
    shcore.dll|ncrypt.dll|rpcrt4.dll|cfgmgr32.dll|dnsapi.dll|mswsock.dll|powrprof.dll|psapi.dll|winhttp.dll) return 0 ;;
  esac
  return 1
}
search_dirs=("$deps/bin" "$qt/bin")
declare -A shipped=()
walk() {
  local image=$1 dll found dir
  while read -r dll; do
    [ -n "${shipped[${dll,,}]:-}" ] && continue
    is_system_dll "$dll" && continue
    found=
    for dir in "${search_dirs[@]}"; do
      if [ -f "$dir/$dll" ]; then found=$dir/$dll; break; fi
    done
    [ -n "$found" ] || { log "$(basename "$image") needs $dll, which is neither shipped nor part of Windows"; exit 1; }
    shipped[${dll,,}]=1
    cp "$found" "$stage/"
    walk "$found"
  done < <(x86_64-w64-mingw32-objdump -p "$image" | sed -n 's/^[[:space:]]*DLL Name: //p')
}
for image in "$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll "$stage"/imageformats/*.dll; do walk "$image"; done
log "shipped DLLs: $(printf '%s ' "${!shipped[@]}")"
# The build keeps debug information for the tests; users get none.
find "$stage" -name '*.exe' -o -name '*.dll' | while read -r image; do
  x86_64-w64-mingw32-strip --strip-debug "$image"
done

# The uninstaller removes exactly what was installed; the search lists and
# reports under C:/corvana stay.
files_nsh=$out/package/files.nsh
{
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort) | while read -r f; do
    printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
  done
  (cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r) | while read -r d; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
  done
} > "$files_nsh"

installer=$out/$name-setup.exe
makensis -V2 -INPUTCHARSET UTF8 \
  -DVERSION="$version" -DSTAGE="$stage" -DFILES_NSH="$files_nsh" -DOUTFILE="$installer" \
  "$here/travo.nsi" >&2

zip_file=$out/$name-windows-x64.zip
rm -f "$zip_file"
(cd "$out/package" && zip -qr9 "$zip_file" "$name")

log "done in $(( $(date +%s) - started )) s"
log "$(du -h "$installer" | cut -f1)  $installer"
log "$(du -h "$zip_file" | cut -f1)  $zip_file"
printf '%s\n%s\n' "$installer" "$zip_file"
