#!/usr/bin/env bash
# Installs the Debian packages for cross-building TRAVO for Windows and for
# running the result under Wine, and enables Debian's source archive so that
# build-deps.sh can fetch the libraries' sources with apt-get source.
# Idempotent: packages already present are left as they are, and apt's lists
# are refreshed only when something new has to come from the archive.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  libz-mingw-w64-dev
  wine wine64
  nsis ninja-build cmake pkg-config dpkg-dev
  libgtest-dev nlohmann-json3-dev libstb-dev libcpp-httplib-dev
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# deb-src twin of every "Types: deb" stanza of the system's deb822 sources
# (same mirror, suites, components and key), unless deb-src is already there.
SYSTEM_SOURCES=/etc/apt/sources.list.d/debian.sources
SRC_SOURCES=/etc/apt/sources.list.d/travo-src.sources
sources_added=0
if [ -f "$SYSTEM_SOURCES" ] && ! grep -Eq '^Types:.*deb-src' "$SYSTEM_SOURCES"; then
  wanted=$(awk '
    BEGIN { RS = ""; ORS = "\n\n" }
    /(^|\n)Types:[ \t]*([^\n]* )?deb( |\n|$)/ {
      out = ""
      n = split($0, lines, "\n")
      for (i = 1; i <= n; i++) {
        if (lines[i] ~ /^#/) continue
        if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
        out = out lines[i] "\n"
      }
      printf "%s\n", out
    }' "$SYSTEM_SOURCES")
  wanted="# Source packages for scripts/windows/build-deps.sh (same archive as debian.sources).
${wanted}"
  if [ ! -f "$SRC_SOURCES" ] || [ "$(cat "$SRC_SOURCES")" != "$(printf '%s' "$wanted")" ]; then
    tmp=$(mktemp "${SRC_SOURCES}.XXXXXX")
    printf '%s\n' "$wanted" > "$tmp"
    chmod 644 "$tmp"
    $SUDO mv -f "$tmp" "$SRC_SOURCES"
    sources_added=1
  fi
fi

update=()
if ((sources_added)); then update=(--update); fi
travo_install_packages "${update[@]}" "${PACKAGES[@]}"
