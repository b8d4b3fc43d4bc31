# GoogleTest from Debian's source package, built with this tree's compiler.
if(NOT TARGET gtest_main)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  if(WIN32)
    # MinGW's Win32 thread model lacks what GoogleTest's Notification is made of.
    target_compile_options(gtest PUBLIC -include "${CMAKE_SOURCE_DIR}/tests/win/support/GTestNotification.h")
  endif()
endif()
include(GoogleTest)
