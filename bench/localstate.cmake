find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2_16 REQUIRED IMPORTED_TARGET libpcre2-16)
dzd_add_benchmark(localstate_bench ${CMAKE_CURRENT_LIST_DIR}/localstate_bench.cpp)
target_link_libraries(localstate_bench PRIVATE PkgConfig::PCRE2_16)
