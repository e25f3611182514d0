# Texture loader benchmarks: pixel codecs, one program.
add_executable(codec_bench
  texture/DxtBench.cpp
)
target_link_libraries(codec_bench PRIVATE rastro_texture benchmark::benchmark_main)
