# Windows builds. GoogleTest: an installed one when CMake finds it, else compiled
# from its sources with the project's compiler (the cross build uses Debian's
# libgtest-dev sources). The Wine prefix the cross build's tests run in.
# Every test program runs in this prefix, quietly; scripts/run-tests.sh (windows)
# creates it and keeps one wineserver running for the whole stage.
set(QUORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QUORVANE_WINE_ENV "WINEPREFIX=${QUORVANE_WINEPREFIX};WINEDEBUG=-all")

find_package(GTest QUIET)
if(GTest_FOUND)
  return()
endif()
set(QUORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's libgtest-dev)")
if(NOT EXISTS ${QUORVANE_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest found, and no sources in ${QUORVANE_GTEST_SOURCE}: "
                      "set GTest_DIR or QUORVANE_GTEST_SOURCE (Debian: install libgtest-dev)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${QUORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
