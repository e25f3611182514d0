# Texture loader fuzz targets.
rastro_fuzz_target(pixel_codec_fuzz ${CMAKE_CURRENT_LIST_DIR}/texture/PixelCodecFuzz.cpp rastro_texture_internals)
rastro_fuzz_target(dxt_codec_fuzz ${CMAKE_CURRENT_LIST_DIR}/texture/DxtCodecFuzz.cpp rastro_texture_internals)
rastro_fuzz_target(loading_fuzz ${CMAKE_CURRENT_LIST_DIR}/texture/LoadingFuzz.cpp rastro_texture_internals rastro_d3d_core)
rastro_fuzz_target(texture_from_file_fuzz ${CMAKE_CURRENT_LIST_DIR}/texture/TextureFromFileFuzz.cpp rastro_texture_internals rastro_d3d_core)
