# The Direct3D layer's fill-rate program: the benchmark's first two tests through the device,
# to compare with a native OpenGL program on the same machine.
add_executable(d3d_fill_bench ${CMAKE_CURRENT_LIST_DIR}/d3d/FillBench.cpp)
target_link_libraries(d3d_fill_bench PRIVATE rastro_d3d_gl)

# Per-call cost of the device core, over the resource-only renderer.
add_executable(d3d_core_bench ${CMAKE_CURRENT_LIST_DIR}/d3d/DeviceCoreBench.cpp)
target_link_libraries(d3d_core_bench PRIVATE rastro_d3d_core benchmark::benchmark_main)

# Native OpenGL reference for the pixel-shader tests: each test's computation hand-written in
# GLSL, to compare with the translated shaders' and the benchmark's own tests' rates in the same
# run.
add_executable(native_shader_fill ${CMAKE_CURRENT_LIST_DIR}/d3d/NativeShaderFill.cpp)
target_link_libraries(native_shader_fill PRIVATE rastro_app rastro_d3d_gl rastro_d3d_translator rastro_shader PkgConfig::SDL2
                                                 PkgConfig::EPOXY)
target_include_directories(native_shader_fill PRIVATE ${PROJECT_SOURCE_DIR}/src/d3d)
target_compile_definitions(native_shader_fill PRIVATE RASTRO_SOURCE_DATA_DIR="${RASTRO_DATA_DIR}")

# First draw with a new shader pair (translation, compilation and linking) against a later one.
add_executable(shader_first_draw ${CMAKE_CURRENT_LIST_DIR}/d3d/ShaderFirstDraw.cpp)
target_link_libraries(shader_first_draw PRIVATE rastro_d3d_gl rastro_d3d_translator rastro_shader)
target_include_directories(shader_first_draw PRIVATE ${PROJECT_SOURCE_DIR}/src/d3d)
target_compile_definitions(shader_first_draw PRIVATE RASTRO_SOURCE_DATA_DIR="${RASTRO_DATA_DIR}")
