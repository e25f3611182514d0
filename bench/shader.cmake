# Assembly speed: a long generated ps_3_0 shader and a typical small ps_2_0 one, validated.
add_executable(asm_bench ${CMAKE_CURRENT_LIST_DIR}/shader/AssemblerBench.cpp)
target_link_libraries(asm_bench PRIVATE rastro_shader benchmark::benchmark_main)
