# Settings of the MinGW build: static linking, libjpeg, the host tools it runs,
# the Wine prefix its tests run in, and the package function.
include(ExternalProject)

add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-static -Wl,--gc-sections)
# No link time in the PE header: two builds of one commit give the same bytes.
add_link_options(-Wl,--no-insert-timestamp)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  add_link_options(-s)
  # This linker keeps every function that has unwind data, whatever
  # --gc-sections says; link-time optimisation drops the unused ones before
  # code is made. Only the product's own directories compile for it (fat
  # objects, so the test programs link them the usual way), and only the
  # program links with it. One partition: GCC 12 fails on this code when it
  # splits it for PE.
  set(INSTALLERWIN_PRODUCT_COMPILE_OPTIONS -flto=auto -ffat-lto-objects)
  set(INSTALLERWIN_LTO_LINK -flto=auto -flto-partition=one)
  add_link_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:INSTALLERWIN_LTO>>>:-fno-lto>")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/LibJpeg.cmake)

# The host tools and host tests are built natively in a tree of their own,
# configured by a preset (by default the host preset's tree), so one build of
# this tree makes everything its tests need. A release tree names its own, so
# that it never shares the sanitizer tree of the tests. With no preset the
# tree is one built already, only used.
set(INSTALLERWIN_HOST_DIR "${CMAKE_SOURCE_DIR}/build/host" CACHE PATH "Tree of the native tools this tree runs")
set(INSTALLERWIN_HOST_PRESET host CACHE STRING "Preset that configures the native tree; empty: built already")
if(INSTALLERWIN_HOST_PRESET)
  ExternalProject_Add(host
    SOURCE_DIR "${CMAKE_SOURCE_DIR}"
    BINARY_DIR "${INSTALLERWIN_HOST_DIR}"
    CONFIGURE_COMMAND ${CMAKE_COMMAND} -S <SOURCE_DIR> -B <BINARY_DIR> --preset ${INSTALLERWIN_HOST_PRESET}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON
    BUILD_BYPRODUCTS "${INSTALLERWIN_HOST_DIR}/tools/mkinstaller/mkinstaller"
                     "${INSTALLERWIN_HOST_DIR}/tools/formc/formc"
                     "${INSTALLERWIN_HOST_DIR}/tools/mkinstaller/texttables")
else()
  add_custom_target(host)
endif()
set(MKINSTALLER "${INSTALLERWIN_HOST_DIR}/tools/mkinstaller/mkinstaller")
set(FORMC "${INSTALLERWIN_HOST_DIR}/tools/formc/formc")
set(TEXTTABLES "${INSTALLERWIN_HOST_DIR}/tools/mkinstaller/texttables")

# One ctest run covers the host tests too.
if(INSTALLERWIN_TESTS)
  file(WRITE "${CMAKE_BINARY_DIR}/host-tests.cmake" "subdirs(\"${INSTALLERWIN_HOST_DIR}\")\n")
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY TEST_INCLUDE_FILES
               "${CMAKE_BINARY_DIR}/host-tests.cmake")
endif()

# A throw-away Wine prefix for this build tree; tests copy it where they need
# a fresh one. wine-run carries the prefix, so nothing lands in $HOME/.wine.
set(WINE_TEMPLATE_PREFIX "${CMAKE_BINARY_DIR}/wine/template")
configure_file("${CMAKE_SOURCE_DIR}/tests/tools/wine-run.in" "${CMAKE_BINARY_DIR}/wine/wine-run" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(WINE_RUN "${CMAKE_BINARY_DIR}/wine/wine-run")
set(CMAKE_CROSSCOMPILING_EMULATOR "${WINE_RUN}")
add_custom_command(
  OUTPUT "${WINE_TEMPLATE_PREFIX}/.complete"
  COMMAND "${CMAKE_SOURCE_DIR}/tests/tools/make-wine-prefix" "${WINE_TEMPLATE_PREFIX}"
  DEPENDS "${CMAKE_SOURCE_DIR}/tests/tools/make-wine-prefix"
  COMMENT "Creating the Wine prefix for tests"
  USES_TERMINAL)
add_custom_target(wine-prefix ALL DEPENDS "${WINE_TEMPLATE_PREFIX}/.complete")

# The package function, as the installed CMake package gives it: it runs
# InstallerWin::mkinstaller, here the host tree's, and packages
# InstallerWin::host, here the program built in this tree (app/).
add_executable(InstallerWin::mkinstaller IMPORTED)
set_target_properties(InstallerWin::mkinstaller PROPERTIES IMPORTED_LOCATION "${MKINSTALLER}")
add_dependencies(InstallerWin::mkinstaller host)
include(${CMAKE_CURRENT_LIST_DIR}/AddScreensaverInstaller.cmake)
