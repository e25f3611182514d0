# The shader assembler's suites: assembly of a long generated ps_3_0 shader and a typical small
# ps_2_0 one (validated), and disassembly and validation of a long generated shader.
add_executable(asm_bench ${CMAKE_CURRENT_LIST_DIR}/shader/AssemblerBench.cpp
                         ${CMAKE_CURRENT_LIST_DIR}/shader/DisassembleBench.cpp)
target_link_libraries(asm_bench PRIVATE rastro_shader_internals rastro_d3d_validator benchmark::benchmark_main)
