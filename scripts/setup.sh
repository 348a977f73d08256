#!/usr/bin/env bash
# Installs every Debian package TRAVO needs to build, test and run.
# Idempotent: packages already present are left as they are; waits for
# apt's lock when another job holds it.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

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

travo_install_packages "${PACKAGES[@]}"
