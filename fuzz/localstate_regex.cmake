find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2_16 REQUIRED IMPORTED_TARGET libpcre2-16)
dzd_add_fuzzer(localstate_regex SOURCES ${CMAKE_CURRENT_LIST_DIR}/localstate_regex.cpp LIBS PkgConfig::PCRE2_16)
