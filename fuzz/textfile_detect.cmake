dzd_add_fuzzer(textfile_detect SOURCES ${CMAKE_CURRENT_LIST_DIR}/textfile_detect.cpp)
