# libjpeg-turbo, built static by scripts/setup into its cache with one
# configuration for both trees: for MinGW (the installer draws with it) and
# natively (the package maker checks pictures with it). The revision follows
# the one in scripts/setup. LIBJPEG_TEST_IMAGES is the folder of the library's
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
set(LIBJPEG_TURBO_PREFIX "${_cache}/libjpeg-turbo-2.1.5-${_flavour}-r6")
set(LIBJPEG_TEST_IMAGES "${LIBJPEG_TURBO_PREFIX}/testimages")
# A tree configured before a new revision would otherwise keep the old one.
unset(libjpeg-turbo_DIR CACHE)
find_package(libjpeg-turbo CONFIG REQUIRED
             PATHS "${LIBJPEG_TURBO_PREFIX}" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
