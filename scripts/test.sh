#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs every test;
# then builds again with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole suite once more (TRAVO_SANITIZE_TESTS=0
# skips that second pass). Then the Windows leg: the non-GUI programs and
# tests cross-built for Windows (scripts/windows/build.sh), run under Wine,
# the end-to-end check (scripts/windows/end-to-end.sh) and the installer
# check (scripts/windows/install-test.sh);
# TRAVO_WINDOWS_TESTS=0 skips it. Each leg reports its time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
JOBS=$(nproc)

leg_started=$(date +%s)
leg_done() { echo "== $1 done in $(( $(date +%s) - leg_started )) s =="; leg_started=$(date +%s); }

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
(cd build && ctest --output-on-failure -j"$JOBS" --timeout 600)
leg_done "Linux leg"

if [ "${TRAVO_SANITIZE_TESTS:-1}" != 0 ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRAVO_SANITIZE=ON
  cmake --build build-asan -j"$JOBS"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
  (cd build-asan && ctest --output-on-failure -j"$JOBS" --timeout 900)
  leg_done "Sanitizer leg"
fi

if [ "${TRAVO_WINDOWS_TESTS:-1}" != 0 ]; then
  echo "== Windows leg: cross build with mingw-w64, tests under Wine =="
  echo "   runs:  every test of build-windows/ (unit, worker against the local site, engine on .docx;"
  echo "          the window on Qt's offscreen platform when Qt for Windows is built;"
  echo "          PDF through stand-ins for LibreOffice and for Microsoft Word)"
  echo "   skips: the real LibreOffice, tmpfs and /proc cases (each says why); the window when Qt for Windows"
  echo "          is not built (scripts/windows/build-qt.sh, about 20 minutes; build.sh says so)"
  bash scripts/windows/build.sh
  # Under Wine most of a case is start-up and waiting: twice as many at once.
  (cd build-windows && ctest --output-on-failure -j"$(( JOBS * 2 ))" --timeout 900)
  bash scripts/windows/end-to-end.sh build-windows
  bash scripts/windows/install-test.sh build-windows  # says when it is skipped (no Qt for Windows)
  leg_done "Windows leg"
else
  echo "== Windows leg not run (TRAVO_WINDOWS_TESTS=0) =="
fi
