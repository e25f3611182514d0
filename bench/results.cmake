# Keeping and reading runs: recording one run into a SQLite store, and list, compare and report
# over a store of 10 000 runs.
add_executable(results_bench ${CMAKE_CURRENT_SOURCE_DIR}/results/ResultsBench.cpp)
target_link_libraries(results_bench PRIVATE rastro_results benchmark::benchmark_main)
