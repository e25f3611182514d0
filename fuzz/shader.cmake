# libFuzzer targets of the shader assembler.
rastro_fuzz_target(preprocessor_fuzz ${CMAKE_CURRENT_LIST_DIR}/shader/PreprocessorFuzz.cpp rastro_shader_internals)
rastro_fuzz_target(assembler_fuzz ${CMAKE_CURRENT_LIST_DIR}/shader/AssemblerFuzz.cpp rastro_shader)
rastro_fuzz_target(shader_stream_fuzz ${CMAKE_CURRENT_LIST_DIR}/shader/ShaderStreamFuzz.cpp rastro_shader_internals
                   rastro_d3d_exports)
