# The list file with 100 000 and 200 000 rows: save and load, and their parts.
if(NOT TARGET benchmark::benchmark)
  find_package(benchmark REQUIRED)
endif()
add_executable(pclist_bench ${CMAKE_CURRENT_LIST_DIR}/pclist_bench.cpp)
target_link_libraries(pclist_bench PRIVATE mirelka_warnings pclist benchmark::benchmark)
