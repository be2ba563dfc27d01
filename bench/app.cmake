# Window handlers on fakes (needs the test fixtures).
if(MIRELKA_TESTS)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
  target_link_libraries(app_bench PRIVATE app_fixture benchmark::benchmark mirelka_warnings)
endif()
