#!/usr/bin/env bash
# Installs every Debian package TRAVO needs to build, test and run.
# Idempotent: packages already present are left as they are.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git ca-certificates
  libgtest-dev libgmock-dev
  libcurl4-openssl-dev libxml2-dev libxlsxwriter-dev libzip-dev libstb-dev
  libcpp-httplib-dev nlohmann-json3-dev
  qt6-base-dev libgl-dev
  libreoffice-writer-nogui fonts-noto-cjk
  fonts-arphic-ukai fonts-arphic-uming fonts-crosextra-carlito fonts-liberation2
  poppler-utils unzip zip xvfb xauth x11-apps imagemagick
  python3 python3-docx python3-docxtpl python3-requests python3-bs4 python3-uno python3-openpyxl
  xdotool xclip x11-utils xdg-utils
  clang libclang-rt-14-dev
  libpugixml-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
