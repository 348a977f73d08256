# Every outside library TRAVO builds against, looked up once for the whole
# tree. On Linux they come from Debian's -dev packages; in the Windows cross
# build the toolchain file points pkg-config and find_package at the prefix
# built by scripts/windows/build-deps.sh.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# GLOBAL: the imported targets are used in sibling folders.
pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET GLOBAL libxml-2.0)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET GLOBAL libzip)
# zlib directly too: the docx layer deflates the XML it writes itself.
find_package(ZLIB REQUIRED GLOBAL)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET GLOBAL libcurl)
pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET GLOBAL xlsxwriter)
# Debian builds cpp-httplib as a shared library with TLS and compression;
# its compile definitions must match that build, so they come from
# pkg-config rather than from including the header bare.
pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
find_package(nlohmann_json 3 REQUIRED GLOBAL)
# stb_image is header-only (Debian libstb-dev: <stb/stb_image.h>); the one
# translation unit that includes it with STB_IMAGE_IMPLEMENTATION compiles it.
find_path(STB_IMAGE_INCLUDE_DIR stb/stb_image.h REQUIRED)
add_library(Stb::image INTERFACE IMPORTED GLOBAL)
target_include_directories(Stb::image INTERFACE ${STB_IMAGE_INCLUDE_DIR})

if(TRAVO_BUILD_GUI)
  set(travo_qt_components Widgets)
  if(TRAVO_BUILD_TESTS)
    list(APPEND travo_qt_components Test)
  endif()
  find_package(Qt6 REQUIRED COMPONENTS ${travo_qt_components} GLOBAL)
endif()

if(TRAVO_BUILD_TESTS)
  find_package(GTest REQUIRED GLOBAL)
endif()
