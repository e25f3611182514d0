# The Direct3D layer's fill-rate program: the benchmark's first two tests through the device,
# to compare with a native OpenGL program on the same machine.
add_executable(d3d_fill_bench ${CMAKE_CURRENT_LIST_DIR}/d3d/FillBench.cpp)
target_link_libraries(d3d_fill_bench PRIVATE rastro_d3d)

# Per-call cost of the device core, over the resource-only renderer.
add_executable(d3d_core_bench ${CMAKE_CURRENT_LIST_DIR}/d3d/DeviceCoreBench.cpp)
target_link_libraries(d3d_core_bench PRIVATE rastro_d3d benchmark::benchmark_main)
