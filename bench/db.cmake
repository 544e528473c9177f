# Record engine: look-up, append and walk rates on large tables.
add_executable(bench_db ${CMAKE_CURRENT_LIST_DIR}/KorvTableBench.cpp)
target_link_libraries(bench_db PRIVATE db benchmark::benchmark)
