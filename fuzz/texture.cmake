# Texture loader fuzz targets; each one's seed corpus is fuzz/corpus/<target>.
add_executable(pixel_codec_fuzz texture/PixelCodecFuzz.cpp)
target_link_libraries(pixel_codec_fuzz PRIVATE rastro_texture)
target_link_options(pixel_codec_fuzz PRIVATE -fsanitize=fuzzer)

add_executable(dxt_codec_fuzz texture/DxtCodecFuzz.cpp)
target_link_libraries(dxt_codec_fuzz PRIVATE rastro_texture)
target_link_options(dxt_codec_fuzz PRIVATE -fsanitize=fuzzer)
