# Robustness of what the Direct3D layer reads from callers: shader token streams, vertex
# declarations and lock rectangles, fed arbitrary bytes.
add_executable(d3d_shader_fuzz ${CMAKE_CURRENT_LIST_DIR}/d3d/ShaderFuzz.cpp)
target_link_libraries(d3d_shader_fuzz PRIVATE rastro_d3d)
target_link_options(d3d_shader_fuzz PRIVATE -fsanitize=fuzzer)
