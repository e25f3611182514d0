# libFuzzer targets of the shader assembler.
add_executable(preprocessor_fuzz ${CMAKE_CURRENT_LIST_DIR}/shader/PreprocessorFuzz.cpp)
target_link_libraries(preprocessor_fuzz PRIVATE rastro_shader)
target_link_options(preprocessor_fuzz PRIVATE -fsanitize=fuzzer)
