# Plain C++: it times whole child processes, which Google Benchmark cannot.
add_executable(repair_floor_bench ${CMAKE_CURRENT_LIST_DIR}/repair_floor_bench.cpp)
target_link_libraries(repair_floor_bench PRIVATE dzd_core)
target_compile_definitions(repair_floor_bench PRIVATE
  DZD_PREFERENCES_SEED="${PROJECT_SOURCE_DIR}/fuzz/corpus/json/chromium156-preferences.json")
