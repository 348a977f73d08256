#!/usr/bin/env bash
# Builds Qt's base module for Windows (x86_64, mingw-w64) from Debian's own
# qt6-base source package, the same version as the host's qt6-base-dev, so
# the host's moc, rcc and uic serve the cross build. Only what TRAVO uses is
# configured: Core, Gui, Widgets, Test, the Windows platform plugin and the
# styles. The prefix lies outside the clone:
#
#   ${TRAVO_WINDOWS_DEPS:-/var/cache/travo/windows-deps}/qt-<key>
#
# <key> hashes the source and compiler versions and RECIPE; the stamp file is
# written last, so an interrupted build is redone. The build takes about 20
# minutes on 2 cores; a finished prefix returns at once.
#
# Prints the prefix on standard output (progress goes to standard error).
# With --if-built it builds nothing: it prints the prefix when a finished one
# exists, and nothing otherwise.
set -euo pipefail
if_built=0
if [ "${1:-}" = --if-built ]; then if_built=1; fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake

# Bump when the switches below change.
RECIPE=1

log() { printf 'build-qt: %s\n' "$*" >&2; }

if [ "$if_built" = 0 ] && [ "${TRAVO_WINDOWS_SETUP_DONE:-0}" != 1 ]; then
  bash "$here/setup.sh" >&2
fi

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) || {
  [ "$if_built" = 1 ] && exit 0
  log "qt6-base-dev is not installed (run scripts/setup.sh)"; exit 1
}
manifest=$(
  echo "source qt6-base $host_version"
  for p in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev cmake ninja-build; do
    echo "package $p $(dpkg-query -W -f='${Version}' "$p" 2>/dev/null || echo none)"
  done
  echo "recipe $RECIPE"
)
key=$(printf '%s\n' "$manifest" | sha256sum | cut -c1-16)
base=${TRAVO_WINDOWS_DEPS:-/var/cache/travo/windows-deps}
prefix=$base/qt-$key
stamp=$prefix/.complete

if [ -f "$stamp" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi
[ "$if_built" = 1 ] && exit 0
mkdir -p "$base"
exec 9>"$base/.qt-$key.lock"
flock 9
if [ -f "$stamp" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi

started=$(date +%s)
log "building Qt $host_version into $prefix"
rm -rf "$prefix"
mkdir -p "$prefix"
printf '%s\n' "$manifest" > "$prefix/manifest.txt"

scratch=${TRAVO_WINDOWS_SCRATCH:-/var/tmp/travo-windows-src}/qt-$key
rm -rf "$scratch"
mkdir -p "$scratch"
if id _apt >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ]; then chown _apt "$scratch"; fi
trap 'log "failed; the partial prefix $prefix has no stamp and will be rebuilt"' ERR
cd "$scratch"
log "fetching qt6-base=$host_version"
apt-get source -qq "qt6-base=$host_version" > apt-source.log 2>&1 \
  || { tail -n 20 apt-source.log >&2; exit 1; }
src=$(find "$scratch" -maxdepth 1 -mindepth 1 -type d -name 'qt6-base-*' | head -n1)

# Debian's +dfsg source leaves out src/3rdparty/wintab, so tablet events are
# off; Qt 6.4's Windows plugin does not build without OpenGL, so it stays on
# (loaded dynamically; nothing of ours uses it).
log "configure"
cmake -S "$src" -B "$scratch/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF \
  > configure.log 2>&1 || { tail -n 60 configure.log >&2; exit 1; }
log "build"
cmake --build "$scratch/build" -j"$(nproc)" > build.log 2>&1 || { tail -n 60 build.log >&2; exit 1; }
cmake --install "$scratch/build" > install.log 2>&1 || { tail -n 40 install.log >&2; exit 1; }

cd /
rm -rf "$scratch"
sync -f "$prefix" 2>/dev/null || true
: > "$stamp"
log "done in $(( $(date +%s) - started )) s: $(du -sh "$prefix" | cut -f1) in $prefix"
printf '%s\n' "$prefix"
