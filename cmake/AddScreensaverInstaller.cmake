# add_screensaver_installer(NAME PAYLOAD [HOST target-or-file] [OUTPUT file] [DEPENDS ...]
#                           [BACKGROUND f] [BUTTON f] [HOVER f] [ICON f] [SKIN f]
#                           [BACKGROUND_2X f] [BUTTON_2X f] [HOVER_2X f] [BUTTON_LABEL text]
#                           [TEXTS file.po ...])
# Builds Install-NAME.exe (target package-NAME) from the host program and the
# payload file with InstallerWin::mkinstaller, with the given artwork in place
# of the host's own (mkinstaller --help has the sizes), the name screen
# readers give the button, and the distributor's own texts, one PO file per
# language. HOST defaults to InstallerWin::host.
# Relative input names are taken from the calling source directory, a relative
# OUTPUT from its build directory.
# This one file serves this repository's own packages and, installed as it is,
# the CMake package that authors find, so the two cannot drift apart.
function(add_screensaver_installer name payload)
  set(artwork BACKGROUND BUTTON HOVER ICON SKIN BACKGROUND_2X BUTTON_2X HOVER_2X)
  set(one_value HOST OUTPUT BUTTON_LABEL ${artwork})
  set(multi_value DEPENDS TEXTS)
  cmake_parse_arguments(ARG "" "${one_value}" "${multi_value}" ${ARGN})
  # A misspelt keyword would otherwise drop its picture without a word.
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_screensaver_installer(${name}): unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_HOST)
    set(ARG_HOST InstallerWin::host)
  endif()
  if(NOT ARG_OUTPUT)
    set(ARG_OUTPUT "${CMAKE_BINARY_DIR}/Install-${name}.exe")
  endif()
  cmake_path(ABSOLUTE_PATH ARG_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  # The inputs are named from the calling source directory, for the command and
  # its dependencies alike (a relative DEPENDS could match a generated file).
  set(ARG_PAYLOAD "${payload}")
  set(files PAYLOAD ${artwork})
  if(NOT TARGET "${ARG_HOST}")
    list(APPEND files HOST)
  endif()
  foreach(kind IN LISTS files)
    if(ARG_${kind} AND NOT ARG_${kind} MATCHES "^\\$<")
      cmake_path(ABSOLUTE_PATH ARG_${kind} BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
    endif()
  endforeach()
  set(host_file "${ARG_HOST}")
  if(TARGET "${ARG_HOST}")
    set(host_file "$<TARGET_FILE:${ARG_HOST}>")
  endif()
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
    COMMAND InstallerWin::mkinstaller --host "${host_file}" --payload "${ARG_PAYLOAD}" ${artwork_args}
            --output "${ARG_OUTPUT}"
    DEPENDS InstallerWin::mkinstaller "${ARG_HOST}" "${ARG_PAYLOAD}" ${artwork_files} ${ARG_DEPENDS}
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
    COMMENT "Packaging ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(package-${name} ALL DEPENDS "${ARG_OUTPUT}")
endfunction()
