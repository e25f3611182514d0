# Robustness of what the Direct3D layer reads from callers: shader token streams, vertex
# declarations and lock rectangles, fed arbitrary bytes.
rastro_fuzz_target(d3d_shader_fuzz ${CMAKE_CURRENT_LIST_DIR}/d3d/ShaderFuzz.cpp rastro_d3d_core)
# Decoded token streams through the CPU evaluator and the GLSL translator.
rastro_fuzz_target(d3d_shader_program_fuzz ${CMAKE_CURRENT_LIST_DIR}/d3d/ShaderProgramFuzz.cpp rastro_d3d_evaluator
                   rastro_d3d_translator)
