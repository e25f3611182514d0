# Texture loader benchmarks: one program, codec_bench, made of every source in bench/texture.
# Add a suite by dropping a file there.
file(GLOB codec_bench_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/texture/*.cpp)
add_executable(codec_bench ${codec_bench_sources})
target_link_libraries(codec_bench PRIVATE rastro_texture benchmark::benchmark benchmark::benchmark_main)
# Textures from files against libjpeg-turbo alone: texture_bench.
add_executable(texture_bench ${CMAKE_CURRENT_SOURCE_DIR}/texture/pipeline/TextureFromFileBench.cpp)
target_link_libraries(texture_bench PRIVATE rastro_texture JPEG::JPEG benchmark::benchmark benchmark::benchmark_main)
