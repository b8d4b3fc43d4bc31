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

# add_screensaver_installer(NAME PAYLOAD [HOST target] [OUTPUT file] [DEPENDS ...]
#                           [BACKGROUND f] [BUTTON f] [HOVER f] [ICON f] [SKIN f]
#                           [BACKGROUND_2X f] [BUTTON_2X f] [HOVER_2X f] [BUTTON_LABEL text]
#                           [TEXTS file.po ...])
# Builds Install-NAME.exe from the host program and the payload file, with the
# given artwork in place of the host's own (mkinstaller --help has the sizes),
# the name screen readers give the button, and the distributor's own texts,
# one PO file per language.
# Relative input names are taken from the calling source directory, a relative
# OUTPUT from its build directory.
function(add_screensaver_installer name payload)
  set(artwork BACKGROUND BUTTON HOVER ICON SKIN BACKGROUND_2X BUTTON_2X HOVER_2X)
  cmake_parse_arguments(ARG "" "HOST;OUTPUT;BUTTON_LABEL;${artwork}" "DEPENDS;TEXTS" ${ARGN})
  if(NOT ARG_HOST)
    set(ARG_HOST InstallerWin)
  endif()
  if(NOT ARG_OUTPUT)
    set(ARG_OUTPUT "${CMAKE_BINARY_DIR}/Install-${name}.exe")
  endif()
  cmake_path(ABSOLUTE_PATH ARG_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  # The inputs are named from the calling source directory, for the command and
  # its dependencies alike (a relative DEPENDS could match a generated file).
  set(ARG_PAYLOAD "${payload}")
  foreach(kind IN ITEMS PAYLOAD LISTS artwork)
    if(ARG_${kind} AND NOT ARG_${kind} MATCHES "^\\$<")
      cmake_path(ABSOLUTE_PATH ARG_${kind} BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
    endif()
  endforeach()
  set(artwork_args)
  set(artwork_files)
  foreach(kind IN LISTS artwork)
    if(ARG_${kind})
      string(TOLOWER "--${kind}" option)
      string(REPLACE "_" "-" option "${option}")
      list(APPEND artwork_args ${option} "${ARG_${kind}}")
      list(APPEND artwork_files "${ARG_${kind}}")
    endif()
  endforeach()
  foreach(texts IN LISTS ARG_TEXTS)
    if(NOT texts MATCHES "^\\$<")
      cmake_path(ABSOLUTE_PATH texts BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
    endif()
    list(APPEND artwork_args --texts "${texts}")
    list(APPEND artwork_files "${texts}")
  endforeach()
  if(DEFINED ARG_BUTTON_LABEL)
    list(APPEND artwork_args --button-label "${ARG_BUTTON_LABEL}")
  endif()
  add_custom_command(
    OUTPUT "${ARG_OUTPUT}"
    COMMAND "${MKINSTALLER}" --host "$<TARGET_FILE:${ARG_HOST}>" --payload "${ARG_PAYLOAD}" ${artwork_args}
            --output "${ARG_OUTPUT}"
    DEPENDS host "${ARG_HOST}" "${ARG_PAYLOAD}" ${artwork_files} ${ARG_DEPENDS}
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
    COMMENT "Packaging ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(package-${name} ALL DEPENDS "${ARG_OUTPUT}")
endfunction()
