# The Direct3D 9 layer, the texture loader and the shader assembler as shared libraries for
# other programs. Each exports its published entry points and nothing else; the programs of
# this project keep linking the static libraries (see README, "Install").
#
# Process-wide state (the debug output and its mute switch, the shader validator) lives only in
# the Direct3D library. The loader and the assembler find it through the module-export lookup,
# which in these libraries asks the dynamic linker for the Direct3D library's exports rather
# than linking copies of their own.

# The libFuzzer build has no use for them.
if(RASTRO_FUZZ)
  return()
endif()

set(RASTRO_SOVERSION 0)

# Writes a version script that keeps the named functions global and everything else local.
# C names are matched as they are; C++ names by the start of their demangled form (the nm test
# in tests/package catches a pattern that takes in more).
function(rastro_write_export_map file)
  cmake_parse_arguments(ARG "" "" "C;CXX" ${ARGN})
  set(text "{\n  global:\n")
  foreach(name IN LISTS ARG_C)
    string(APPEND text "    ${name};\n")
  endforeach()
  if(ARG_CXX)
    string(APPEND text "    extern \"C++\" {\n")
    foreach(name IN LISTS ARG_CXX)
      string(APPEND text "      ${name}*;\n")
    endforeach()
    string(APPEND text "    };\n")
  endif()
  string(APPEND text "  local: *;\n};\n")
  file(CONFIGURE OUTPUT ${file} CONTENT "${text}" @ONLY)
endfunction()

# rastro_shared_library(TARGET NAME EXPORT_NAME [SOURCES ...] WHOLE ...
#                       [LINK ...] [C_EXPORTS ...] [CXX_EXPORTS ...])
# WHOLE: static libraries whose every object belongs in the shared library.
function(rastro_shared_library target)
  cmake_parse_arguments(ARG "" "EXPORT_NAME" "SOURCES;WHOLE;LINK;C_EXPORTS;CXX_EXPORTS" ${ARGN})
  set(map ${PROJECT_BINARY_DIR}/exports/${target}.map)
  rastro_write_export_map(${map} C ${ARG_C_EXPORTS} CXX ${ARG_CXX_EXPORTS})

  set(objects)
  foreach(library IN LISTS ARG_WHOLE)
    list(APPEND objects $<TARGET_OBJECTS:${library}>)
  endforeach()
  add_library(${target} SHARED ${ARG_SOURCES} ${objects})
  # The static libraries themselves bring what their objects link (SDL2, libjpeg, ...); none of
  # their members is taken twice, as the objects above already define them.
  target_link_libraries(${target} PRIVATE ${ARG_WHOLE} ${ARG_LINK})
  target_link_options(${target} PRIVATE "LINKER:--version-script=${map}")
  # Sanitizer runtimes are linked into the program, not the library.
  if(NOT RASTRO_SANITIZE AND NOT RASTRO_FUZZ)
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/rastrometer>)
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${RASTRO_SOVERSION}
    EXPORT_NAME ${ARG_EXPORT_NAME}
    LINK_DEPENDS ${map})
  add_library(Rastrometer::${ARG_EXPORT_NAME} ALIAS ${target})
endfunction()

rastro_shared_library(rastrometer-d3d9
  EXPORT_NAME d3d9
  WHOLE rastro_d3d_gl rastro_d3d_core rastro_d3d_translator rastro_d3d_validator rastro_d3d_platform rastro_d3d_shader
  C_EXPORTS DebugSetMute Direct3DShaderValidatorCreate9
  CXX_EXPORTS Direct3DCreate9)
target_include_directories(rastrometer-d3d9 INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src/d3d/include>)

rastro_shared_library(rastrometer-d3dx9tex
  EXPORT_NAME d3dx9tex
  SOURCES ${PROJECT_SOURCE_DIR}/src/d3d/exports/LinkedModuleExports.cpp
  WHOLE rastro_texture
  LINK rastro_d3d_platform
  CXX_EXPORTS
    D3DXGetImageInfoFromFileA D3DXGetImageInfoFromFileInMemory
    D3DXLoadSurfaceFromMemory D3DXLoadSurfaceFromSurface D3DXLoadVolumeFromMemory D3DXLoadVolumeFromVolume
    D3DXFilterTexture
    D3DXCreateTextureFromFileA D3DXCreateTextureFromFileExA D3DXCreateTextureFromFileInMemoryEx
    D3DXFloat32To16Array D3DXFloat16To32Array)
# Textures are made on the caller's device: the loader's callers use the Direct3D library too.
target_link_libraries(rastrometer-d3dx9tex PUBLIC rastrometer-d3d9)
target_include_directories(rastrometer-d3dx9tex INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src/texture/include>)

rastro_shared_library(rastrometer-d3dx9shader
  EXPORT_NAME d3dx9shader
  SOURCES ${PROJECT_SOURCE_DIR}/src/d3d/exports/LinkedModuleExports.cpp
  WHOLE rastro_shader
  LINK rastro_d3d_shader rastro_d3d_platform rastrometer-d3d9
  CXX_EXPORTS D3DXCreateBuffer D3DXAssembleShader D3DXAssembleShaderFromFileA)
target_include_directories(rastrometer-d3dx9shader INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src/shader/include>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src/d3d/include>)

foreach(target rastrometer-d3dx9tex rastrometer-d3dx9shader)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/d3d/exports ${PROJECT_SOURCE_DIR}/src/d3d/include)
endforeach()
