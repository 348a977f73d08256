#!/usr/bin/env bash
# Builds the Windows (x86_64, mingw-w64) libraries TRAVO links against, from
# Debian's own source packages, into a prefix outside the clone:
#
#   ${TRAVO_WINDOWS_DEPS:-/var/cache/travo/windows-deps}/<key>
#
# <key> is a hash of the Debian versions of every source and of the cross
# compiler, and of RECIPE below, so an unchanged system finds its finished
# prefix and returns at once. A prefix counts as
# finished only when its stamp file exists; the stamp is written last, so an
# interrupted build is wiped and redone on the next run.
#
# Prints the prefix on standard output (progress goes to standard error).
#
# Contents of the prefix:
#   bin/      DLLs: libcurl, libxml2, libzip, libxlsxwriter, zlib1 and the
#             mingw runtime (libstdc++-6, libgcc_s_seh-1, libwinpthread-1),
#             everything a TRAVO executable needs beside it at run time
#   include/  headers, with the header-only libraries (nlohmann, stb, httplib)
#   lib/      import libraries, static GoogleTest, pkgconfig/, cmake/
#   share/cmake/nlohmann_json/   nlohmann_json's package files
#   manifest.txt  what the key was made from;  .complete  the stamp
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
triplet=x86_64-w64-mingw32

# Bump when the way the prefix is built changes (switches, files, layout).
RECIPE=3

log() { printf 'build-deps: %s\n' "$*" >&2; }

if [ "${TRAVO_WINDOWS_SETUP_DONE:-0}" != 1 ]; then
  bash "$here/setup.sh" >&2
fi

# Newest version of a source package that apt knows (what apt-get source
# would fetch), so the key is known before anything is downloaded.
source_version() {
  local best="" v
  while read -r v; do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done < <(apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p')
  if [ -z "$best" ]; then
    log "no source package '$1' known to apt (is deb-src enabled? run setup.sh)"
    exit 1
  fi
  printf '%s\n' "$best"
}
binary_version() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null || { log "package $1 is not installed"; exit 1; }
}

SOURCES=(curl libxml2 libzip libxlsxwriter cpp-httplib)
declare -A VERSION
for s in "${SOURCES[@]}"; do VERSION[$s]=$(source_version "$s"); done

manifest=$(
  for s in "${SOURCES[@]}"; do echo "source $s ${VERSION[$s]}"; done
  for p in g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
           binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev \
           googletest nlohmann-json3-dev libstb-dev cmake; do
    echo "package $p $(binary_version "$p")"
  done
  echo "recipe $RECIPE"
)
key=$(printf '%s\n' "$manifest" | sha256sum | cut -c1-16)
base=${TRAVO_WINDOWS_DEPS:-/var/cache/travo/windows-deps}
prefix=$base/$key
stamp=$prefix/.complete

if [ -f "$stamp" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi

mkdir -p "$base"
# One builder per key; a second caller waits and then finds the stamp.
exec 9>"$base/.$key.lock"
flock 9
if [ -f "$stamp" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi

started=$(date +%s)
log "building into $prefix"
rm -rf "$prefix"
mkdir -p "$prefix"/{bin,include,lib/pkgconfig}
printf '%s\n' "$manifest" > "$prefix/manifest.txt"

scratch=${TRAVO_WINDOWS_SCRATCH:-/var/tmp/travo-windows-src}/$key
rm -rf "$scratch"
mkdir -p "$scratch"
# apt fetches as its own user when it can write here; otherwise it warns.
if id _apt >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ]; then chown _apt "$scratch"; fi
trap 'log "failed; the partial prefix $prefix has no stamp and will be rebuilt"' ERR

cd "$scratch"
specs=()
for s in "${SOURCES[@]}"; do specs+=("$s=${VERSION[$s]}"); done
log "fetching sources: ${specs[*]}"
apt-get source -qq "${specs[@]}" > "$scratch/apt-source.log" 2>&1 \
  || { tail -n 20 "$scratch/apt-source.log" >&2; exit 1; }
srcdir() { find "$scratch" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n1; }

# curl's last two Debian patches rename the library for its GnuTLS and NSS
# flavours; Debian reverses them for the OpenSSL build, and so do we.
curl_src=$(srcdir curl)
for p in 99_nss.patch 90_gnutls.patch; do
  if grep -qx "$p" "$curl_src/.pc/applied-patches" 2>/dev/null; then
    patch -d "$curl_src" -R -p1 -s < "$curl_src/debian/patches/$p"
  fi
done

# libxlsxwriter's MinGW build opens its output with the narrow fopen, which
# reads the name in the ANSI code page; its MSVC build decodes the name as
# UTF-8 and opens it wide. Give the MinGW build the MSVC behaviour, so a
# UTF-8 name works whatever the process's code page.
patch -d "$(srcdir libxlsxwriter)" -p1 -s < "$here/patches/libxlsxwriter-mingw-utf8-names.patch"

jobs=$(nproc)
cmake_dep() {  # name source-dir [cmake args...]
  local name=$1 src=$2; shift 2
  log "$name: configure"
  cmake -S "$src" -B "$scratch/build-$name" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DTRAVO_WINDOWS_DEPS_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=ON \
    -DBUILD_TESTING=OFF \
    "$@" > "$scratch/$name.configure.log" 2>&1 \
    || { tail -n 40 "$scratch/$name.configure.log" >&2; return 1; }
  log "$name: build"
  cmake --build "$scratch/build-$name" -j"$jobs" > "$scratch/$name.build.log" 2>&1 \
    || { tail -n 40 "$scratch/$name.build.log" >&2; return 1; }
  cmake --install "$scratch/build-$name" > "$scratch/$name.install.log" 2>&1 \
    || { tail -n 40 "$scratch/$name.install.log" >&2; return 1; }
}

# No CA bundle compiled in: left to itself, curl's build takes the build
# machine's /etc/ssl/certs/ca-certificates.crt, and Schannel then checks
# certificates against that file alone (missing on Windows) instead of the
# Windows certificate store, where firms install their own roots.
cmake_dep curl "$curl_src" \
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON \
  -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
  -DCURL_DISABLE_LDAP=ON -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF \
  -DUSE_NGHTTP2=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
  -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DBUILD_CURL_EXE=OFF

cmake_dep libxml2 "$(srcdir libxml2)" \
  -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF \
  -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF

cmake_dep libzip "$(srcdir libzip)" \
  -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
  -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
  -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF

cmake_dep libxlsxwriter "$(srcdir libxlsxwriter)" \
  -DUSE_SYSTEM_MINIZIP=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF

# GoogleTest static, on Win32 threads: the test programs' view of the
# headers (no pthreads on Windows) must match the library's.
cmake_dep googletest /usr/src/googletest \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=ON

# Header-only libraries. Debian's own httplib.h is only the declarations of
# its shared-library build; the source package has the whole header.
log "header-only libraries"
cp -a /usr/include/nlohmann "$prefix/include/"
mkdir -p "$prefix/share/cmake"
cp -a /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
cp -a /usr/include/stb "$prefix/include/"
httplib_src=$(srcdir cpp-httplib)
install -m 644 "$httplib_src/httplib.h" "$prefix/include/httplib.h"
cat > "$prefix/lib/pkgconfig/cpp-httplib.pc" <<PC
prefix=$prefix
includedir=\${prefix}/include

Name: cpp-httplib
Description: A C++ HTTP/HTTPS server and client library (header-only)
Version: ${VERSION[cpp-httplib]%%+*}
Cflags: -I\${includedir} -DCPPHTTPLIB_ZLIB_SUPPORT
Libs: -lws2_32 -lz
PC

# Everything a program needs beside it at run time: our DLLs, zlib, and the
# posix-threads GCC runtime.
gcc_dir=$(dirname "$("$triplet-gcc-posix" -print-libgcc-file-name)")
for dll in "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" \
           "/usr/$triplet/lib/libwinpthread-1.dll" "/usr/$triplet/lib/zlib1.dll"; do
  install -m 644 "$dll" "$prefix/bin/"
done
{
  echo "runtime $gcc_dir/libstdc++-6.dll"
  echo "runtime $gcc_dir/libgcc_s_seh-1.dll"
  echo "runtime /usr/$triplet/lib/libwinpthread-1.dll"
  echo "runtime /usr/$triplet/lib/zlib1.dll"
} >> "$prefix/manifest.txt"

cd /
rm -rf "$scratch"
sync -f "$prefix" 2>/dev/null || true
: > "$stamp"
log "done in $(( $(date +%s) - started )) s: $(du -sh "$prefix" | cut -f1) in $prefix"
printf '%s\n' "$prefix"
