#!/usr/bin/env bash
# The one command for the Windows build: installs the cross toolchain and
# Wine when missing, builds the libraries' prefix (cached, see build-deps.sh)
# and cross-builds every program and test into build-windows/bin/, with the
# DLLs they need beside them. The window (travo.exe) and its tests are built
# when Qt for Windows has been built (scripts/windows/build-qt.sh, about 20
# minutes; package.sh runs it); otherwise the build says it left them out.
# Extra arguments go to cmake --build (e.g. --target quire).
# TRAVO_VERSION_OVERRIDE=x.y.z in the environment builds programs that carry
# that version instead of the project's (an upgrade test's newer build); the
# build records the version it used in build-windows/travo-version.txt.
#
# Run the tests under Wine afterwards with:  (cd build-windows && ctest)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${TRAVO_WINDOWS_BUILD:-$root/build-windows}

bash "$here/setup.sh"
prefix=$(TRAVO_WINDOWS_SETUP_DONE=1 bash "$here/build-deps.sh" | tail -n1)

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
qt=$(TRAVO_WINDOWS_SETUP_DONE=1 bash "$here/build-qt.sh" --if-built)
if [ -n "$qt" ]; then
  gui=(-DTRAVO_BUILD_GUI=ON -DTRAVO_WINDOWS_QT_PREFIX="$qt")
else
  gui=(-DTRAVO_BUILD_GUI=OFF -UTRAVO_WINDOWS_QT_PREFIX)
  echo "build.sh: the window (travo.exe) and its tests are left out: Qt for Windows is not built" \
       "(bash scripts/windows/build-qt.sh builds it, about 20 minutes on 2 cores)"
fi
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTRAVO_WINDOWS_DEPS_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRAVO_VERSION_OVERRIDE="${TRAVO_VERSION_OVERRIDE:-}" \
  "${gui[@]}" \
  "${launcher[@]}"

# Windows looks for a program's DLLs in its own folder first.
copy_dlls() {
  mkdir -p "$1"
  local dll
  for dll in "$prefix"/bin/*.dll; do
    cmp -s "$dll" "$1/${dll##*/}" || cp "$dll" "$1/"
  done
}
copy_dlls "$build/bin"
# Qt's DLLs and plugins: the windows platform for the app, offscreen for the
# tests, the native style, and the .ico reader for the window icon.
if [ -n "$qt" ]; then
  for dll in Qt6Core Qt6Gui Qt6Widgets Qt6Test; do
    cmp -s "$qt/bin/$dll.dll" "$build/bin/$dll.dll" || cp "$qt/bin/$dll.dll" "$build/bin/"
  done
  for plugin in platforms/qwindows platforms/qoffscreen platforms/qminimal styles/qwindowsvistastyle imageformats/qico; do
    mkdir -p "$build/bin/${plugin%/*}"
    cmp -s "$qt/plugins/$plugin.dll" "$build/bin/$plugin.dll" || cp "$qt/plugins/$plugin.dll" "$build/bin/$plugin.dll"
  done
fi
cmake --build "$build" -j"${TRAVO_WINDOWS_JOBS:-$(nproc)}" "$@"
# Timing programs land in tests/; give them their DLLs too.
if [ -d "$build/tests" ]; then copy_dlls "$build/tests"; fi
