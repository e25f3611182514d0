# The shader assembler's suites: disassembly and validation of a long generated shader.
add_executable(asm_bench ${CMAKE_CURRENT_LIST_DIR}/shader/DisassembleBench.cpp)
target_link_libraries(asm_bench PRIVATE rastro_shader benchmark::benchmark)
target_include_directories(asm_bench PRIVATE ${PROJECT_SOURCE_DIR}/src/d3d)
