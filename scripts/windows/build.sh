#!/usr/bin/env bash
# The one command for the Windows build: installs the cross toolchain and
# Wine when missing, builds the libraries' prefix (cached, see build-deps.sh)
# and cross-builds every non-GUI program and test into build-windows/bin/,
# with the DLLs they need beside them. Extra arguments go to cmake --build
# (e.g. --target quire).
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
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTRAVO_WINDOWS_DEPS_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRAVO_BUILD_GUI=OFF \
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
cmake --build "$build" -j"${TRAVO_WINDOWS_JOBS:-$(nproc)}" "$@"
# Timing programs land in tests/; give them their DLLs too.
if [ -d "$build/tests" ]; then copy_dlls "$build/tests"; fi
