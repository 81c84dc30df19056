# Tests of the Windows cross build, run under Wine. The core's own tests (label
# core) are built as they are; those that need a pseudo-terminal, the simulated
# tracker or another program (labels serial, integration, soak, qt) are POSIX only,
# and tests/windows holds the Windows backend's own. Each program is one CTest test:
# starting Wine per test case would take minutes.
function(quorvane_windows_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT "core" IN_LIST T_LABELS AND NOT "windows" IN_LIST T_LABELS)
    return()
  endif()
  if("quorvane_sim" IN_LIST T_LIBS OR "util" IN_LIST T_LIBS OR name IN_LIST QUORVANE_POSIX_ONLY_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  quorvane_warnings(${name})
  set(_filter "")
  if(DEFINED QUORVANE_POSIX_ONLY_CASES_${name})
    set(_filter "--gtest_filter=-${QUORVANE_POSIX_ONLY_CASES_${name}}")
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 ${_filter})
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS};wine" TIMEOUT 120
                       ENVIRONMENT "${QUORVANE_WINE_ENV}")
endfunction()

# Programs built on POSIX calls (fork, file owners and modes), and single cases
# about POSIX notions, per program.
set(QUORVANE_POSIX_ONLY_TESTS profile_file_test settings_bounds_test private_files_test)
set(QUORVANE_POSIX_ONLY_CASES_profile_file_test "ProfileFileDisk.ReplacingKeepsPermissionsAndFollowsLinks")

# Folders whose tests all need a pseudo-terminal or the simulated tracker.
set(QUORVANE_POSIX_ONLY_TEST_DIRS sim serial integration soak qt packaging)
