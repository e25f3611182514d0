# Texture loader benchmarks: one program, codec_bench, made of every source in bench/texture.
# Add a suite by dropping a file there.
file(GLOB codec_bench_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/texture/*.cpp)
add_executable(codec_bench ${codec_bench_sources})
target_link_libraries(codec_bench PRIVATE rastro_texture_internals benchmark::benchmark benchmark::benchmark_main)

# The conversion engine and mip filtering end to end, apart from the codec suites above.
add_executable(engine_bench ${CMAKE_CURRENT_SOURCE_DIR}/texture/engine/EngineBench.cpp)
target_link_libraries(engine_bench PRIVATE rastro_texture_internals rastro_d3d_core benchmark::benchmark benchmark::benchmark_main)
# Image file decoding against libjpeg and libpng alone: its own program, decode_bench.
add_executable(decode_bench ${CMAKE_CURRENT_SOURCE_DIR}/texture/decode/DecodeBench.cpp)
target_link_libraries(decode_bench PRIVATE rastro_texture_internals JPEG::JPEG PNG::PNG benchmark::benchmark
                                           benchmark::benchmark_main)
# Textures from files against libjpeg-turbo alone: texture_bench.
add_executable(texture_bench ${CMAKE_CURRENT_SOURCE_DIR}/texture/pipeline/TextureFromFileBench.cpp)
target_link_libraries(texture_bench PRIVATE rastro_texture_internals rastro_d3d_core JPEG::JPEG benchmark::benchmark benchmark::benchmark_main)
# Comparisons with other tools (bench/texture/anchors/setup.sh installs them; never needed by
# the product): mip_quality reads DXT1 mips of any DDS file; squish_bench times libsquish.
add_executable(mip_quality ${CMAKE_CURRENT_SOURCE_DIR}/texture/anchors/MipQuality.cpp)
target_link_libraries(mip_quality PRIVATE rastro_texture_internals)
find_library(SQUISH_LIBRARY squish)
find_path(SQUISH_INCLUDE squish.h)
if(SQUISH_LIBRARY AND SQUISH_INCLUDE)
  add_executable(squish_bench ${CMAKE_CURRENT_SOURCE_DIR}/texture/anchors/SquishBench.cpp)
  target_include_directories(squish_bench PRIVATE ${SQUISH_INCLUDE})
  target_link_libraries(squish_bench PRIVATE rastro_texture_internals ${SQUISH_LIBRARY} benchmark::benchmark
                                             benchmark::benchmark_main)
endif()
# The vector DXT encoders against the single-block ones on as many random blocks as asked.
add_executable(dxt_vector_check ${CMAKE_CURRENT_SOURCE_DIR}/texture/check/DxtVectorCheck.cpp)
target_include_directories(dxt_vector_check PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(dxt_vector_check PRIVATE rastro_texture_internals)
