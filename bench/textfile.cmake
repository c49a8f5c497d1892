dzd_add_benchmark(textfile_bench ${CMAKE_CURRENT_LIST_DIR}/textfile_bench.cpp)
