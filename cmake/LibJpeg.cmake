# libjpeg-turbo, built static by scripts/setup into its cache with one
# configuration for both trees: for MinGW (the installer draws with it) and
# natively (the package maker checks pictures with it); libjpeg-build.txt
# names the build for both. LIBJPEG_TEST_IMAGES is the folder of the library's
# own test pictures kept beside the build.
if(DEFINED ENV{INSTALLERWIN_CACHE})
  set(_cache "$ENV{INSTALLERWIN_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(_cache "$ENV{XDG_CACHE_HOME}/installerwin")
else()
  set(_cache "$ENV{HOME}/.cache/installerwin")
endif()
if(WIN32)
  set(_flavour mingw64)
else()
  set(_flavour native)
endif()
set(_build_file "${CMAKE_CURRENT_LIST_DIR}/libjpeg-build.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_build_file}")
file(STRINGS "${_build_file}" _version REGEX "^JPEG_VERSION=")
file(STRINGS "${_build_file}" _revision REGEX "^JPEG_REVISION=")
# Debian's 1:2.1.5-2 is upstream's 2.1.5.
string(REGEX REPLACE "^JPEG_VERSION=([0-9]+:)?([^-]+)-.*$" "\\2" _upstream "${_version}")
string(REPLACE "JPEG_REVISION=" "" _revision "${_revision}")
if(NOT _upstream MATCHES "^[0-9.]+$" OR NOT _revision)
  message(FATAL_ERROR "${_build_file} names no libjpeg build")
endif()
set(LIBJPEG_TURBO_PREFIX "${_cache}/libjpeg-turbo-${_upstream}-${_flavour}-${_revision}")
set(LIBJPEG_TEST_IMAGES "${LIBJPEG_TURBO_PREFIX}/testimages")
# A tree configured before a new revision would otherwise keep the old one.
unset(libjpeg-turbo_DIR CACHE)
find_package(libjpeg-turbo CONFIG REQUIRED
             PATHS "${LIBJPEG_TURBO_PREFIX}" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
