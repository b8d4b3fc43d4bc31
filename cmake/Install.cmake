# What `cmake --install` puts where. One layout for each archive:
#   full install   the .deb's, for any Unix-style prefix: the native tools in
#                  bin with their manual pages, the host program in
#                  share/installerwin (where mkinstaller looks), the CMake package.
#                  Component fhs; the MinGW tree's runs the host tree's.
#   win64          the Windows zip's, flat: the host program and the Windows
#                  tools side by side, the CMake package. Only on request.
# Both keep the CMake package in one place under the prefix, which find_package
# searches on every platform.
set(INSTALLERWIN_PACKAGE_DIR lib/cmake/InstallerWin)

if(NOT WIN32)
  install(TARGETS mkinstaller formc RUNTIME DESTINATION bin COMPONENT fhs)
  # The manual pages carry the month of SOURCE_DATE_EPOCH (today's without
  # it), taken when installed, so that a tree configured long ago still dates
  # a release by its commit.
  set(man_pages "${CMAKE_BINARY_DIR}/man/mkinstaller.1" "${CMAKE_BINARY_DIR}/man/formc.1")
  install(CODE "set(man_source \"${PROJECT_SOURCE_DIR}/docs/man\")
set(man_built \"${CMAKE_BINARY_DIR}/man\")
set(VERSION \"${PROJECT_VERSION}\")" COMPONENT fhs)
  install(CODE [[
string(TIMESTAMP DATE "%B %Y" UTC)
foreach(tool IN ITEMS mkinstaller formc)
  configure_file("${man_source}/${tool}.1.in" "${man_built}/${tool}.1" @ONLY)
endforeach()
]] COMPONENT fhs)
  install(FILES ${man_pages} DESTINATION share/man/man1 COMPONENT fhs)
  return()
endif()

# A packager names the prefix; this default is the usual one on a Unix-style
# system, not C:/Program Files on the build machine.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr/local CACHE PATH "Install prefix" FORCE)
endif()

# The package's config for each layout, naming the programs from its own place.
include(CMakePackageConfigHelpers)
file(RELATIVE_PATH INSTALLERWIN_PACKAGE_UP "/prefix/${INSTALLERWIN_PACKAGE_DIR}" /prefix)
set(package_layouts fhs bin/mkinstaller share/installerwin/InstallerWin.exe win64 mkinstaller.exe InstallerWin.exe)
while(package_layouts)
  list(POP_FRONT package_layouts layout INSTALLERWIN_PACKAGE_MKINSTALLER INSTALLERWIN_PACKAGE_HOST)
  configure_file(cmake/InstallerWinConfig.cmake.in "${CMAKE_BINARY_DIR}/package/${layout}/InstallerWinConfig.cmake" @ONLY)
endwhile()
# A 32-bit author packages with the same programs.
write_basic_package_version_file("${CMAKE_BINARY_DIR}/package/InstallerWinConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
set(package_files "${CMAKE_BINARY_DIR}/package/InstallerWinConfigVersion.cmake"
                  "${PROJECT_SOURCE_DIR}/cmake/AddScreensaverInstaller.cmake")

# The native tools come from the host tree, installed in the same place.
install(CODE "set(host_tree \"${INSTALLERWIN_HOST_DIR}\")" COMPONENT fhs)
install(CODE [[
set(strip)
if(CMAKE_INSTALL_DO_STRIP)
  set(strip --strip)
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${host_tree}" --component fhs --prefix "${CMAKE_INSTALL_PREFIX}"
                        ${strip} COMMAND_ERROR_IS_FATAL ANY)
]] COMPONENT fhs)
install(FILES "$<TARGET_FILE:InstallerWin>" DESTINATION share/installerwin COMPONENT fhs)
install(FILES "${CMAKE_BINARY_DIR}/package/fhs/InstallerWinConfig.cmake" ${package_files}
        DESTINATION ${INSTALLERWIN_PACKAGE_DIR} COMPONENT fhs)

install(TARGETS InstallerWin mkinstaller formc RUNTIME DESTINATION . COMPONENT win64 EXCLUDE_FROM_ALL)
install(FILES "${CMAKE_BINARY_DIR}/package/win64/InstallerWinConfig.cmake" ${package_files}
        DESTINATION ${INSTALLERWIN_PACKAGE_DIR} COMPONENT win64 EXCLUDE_FROM_ALL)
