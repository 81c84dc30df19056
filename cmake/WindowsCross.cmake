# The cross build for Windows (cmake/toolchain-mingw64.cmake): GoogleTest compiled
# from Debian's sources with the cross compiler, and the Wine prefix the tests run in.
set(QUORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's libgtest-dev)")
if(NOT EXISTS ${QUORVANE_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${QUORVANE_GTEST_SOURCE}: install libgtest-dev")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${QUORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Every test program runs in this prefix, quietly; scripts/run-tests.sh (windows)
# creates it and keeps one wineserver running for the whole stage.
set(QUORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QUORVANE_WINE_ENV "WINEPREFIX=${QUORVANE_WINEPREFIX};WINEDEBUG=-all")
