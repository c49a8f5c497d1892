include(CTest)

# GoogleTest from source on both sides (Debian's googletest package), so the
# cross build and the native build test with the same framework.
if(BUILD_TESTING)
  set(DZD_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${DZD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# dzd_add_test(name SOURCES ... [LIBS ...] [WINDOWS_ONLY] [NATIVE_ONLY] [LABELS ...])
# One ctest test per test program; on the windows preset ctest runs it
# under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
function(dzd_add_test name)
  cmake_parse_arguments(T "WINDOWS_ONLY;NATIVE_ONLY" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(T_NATIVE_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE dzd_core GTest::gtest_main ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wineserver LABELS "wine;${T_LABELS}")
  elseif(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
