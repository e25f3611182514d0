# Texture loader fuzz targets; each one's seed corpus is fuzz/corpus/<target>.
add_executable(pixel_codec_fuzz texture/PixelCodecFuzz.cpp)
target_link_libraries(pixel_codec_fuzz PRIVATE rastro_texture)
target_link_options(pixel_codec_fuzz PRIVATE -fsanitize=fuzzer)
