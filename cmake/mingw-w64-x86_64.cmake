# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
#
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DTRAVO_WINDOWS_DEPS_PREFIX=/var/cache/travo/windows-deps/<key> \
#     [-DTRAVO_WINDOWS_QT_PREFIX=/var/cache/travo/windows-deps/qt-<key>]
#
# TRAVO_WINDOWS_DEPS_PREFIX is the folder scripts/windows/build-deps.sh fills
# with the Windows builds of the libraries; the same file, without it, is the
# toolchain those libraries are built with.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRAVO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRAVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRAVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRAVO_MINGW_TRIPLET}-windres)

# try_compile projects read this file again without the cache: pass the
# prefixes on to them.
if(NOT TRAVO_WINDOWS_DEPS_PREFIX AND DEFINED ENV{TRAVO_WINDOWS_DEPS_PREFIX})
  set(TRAVO_WINDOWS_DEPS_PREFIX "$ENV{TRAVO_WINDOWS_DEPS_PREFIX}")
endif()
if(NOT TRAVO_WINDOWS_QT_PREFIX AND DEFINED ENV{TRAVO_WINDOWS_QT_PREFIX})
  set(TRAVO_WINDOWS_QT_PREFIX "$ENV{TRAVO_WINDOWS_QT_PREFIX}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TRAVO_WINDOWS_DEPS_PREFIX TRAVO_WINDOWS_QT_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${TRAVO_MINGW_TRIPLET})
if(TRAVO_WINDOWS_DEPS_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${TRAVO_WINDOWS_DEPS_PREFIX}")
  # pkg-config must see the prefix's .pc files and never the host's.
  set(ENV{PKG_CONFIG_LIBDIR} "${TRAVO_WINDOWS_DEPS_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
# TRAVO_WINDOWS_QT_PREFIX: Qt for Windows from scripts/windows/build-qt.sh.
# Its moc, rcc and uic are the host's (the same Qt version).
if(TRAVO_WINDOWS_QT_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${TRAVO_WINDOWS_QT_PREFIX}")
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
# Programs (ninja, wine, pkg-config) come from the host; libraries, headers
# and package files only from the Windows folders.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
