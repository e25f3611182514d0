# Texture loader fuzz targets.
add_executable(dxt_codec_fuzz texture/DxtCodecFuzz.cpp)
target_link_libraries(dxt_codec_fuzz PRIVATE rastro_texture)
target_link_options(dxt_codec_fuzz PRIVATE -fsanitize=fuzzer)
