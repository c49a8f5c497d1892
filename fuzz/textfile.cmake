dzd_add_fuzzer(textfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/textfile.cpp)
if(BUILD_TESTING AND NOT DZD_LIBFUZZER)
  # Every input goes through a real file, each replacement flushed to disk.
  set_tests_properties(textfile PROPERTIES ENVIRONMENT "DZD_FUZZ_RUNS=600")
endif()
