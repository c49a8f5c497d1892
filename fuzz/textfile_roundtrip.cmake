dzd_add_fuzzer(textfile_roundtrip SOURCES ${CMAKE_CURRENT_LIST_DIR}/textfile_roundtrip.cpp)
if(BUILD_TESTING AND NOT DZD_LIBFUZZER)
  # Every input goes through real files, each replacement flushed to disk:
  # fewer inputs keep the run short.
  set_tests_properties(textfile_roundtrip PROPERTIES ENVIRONMENT "DZD_FUZZ_RUNS=600")
endif()
