# The benchmark program's own overhead: what the run sequence costs per frame beyond the
# device's work, and how long the settings scans take.
add_executable(app_bench ${CMAKE_CURRENT_SOURCE_DIR}/app/RunSequenceBench.cpp)
target_include_directories(app_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/app)
target_link_libraries(app_bench PRIVATE rastro_app benchmark::benchmark_main)
