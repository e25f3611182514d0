# What `cmake --install` puts where (GNU layout): the programs, the benchmark's data (installed
# beside the program's own rules in src/app), manual pages, bash completion, and the shared
# libraries with their headers, pkg-config files and CMake package.
include(CMakePackageConfigHelpers)

install(TARGETS rastro-tex rastro-asm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${RASTRO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/rastrometer completion/rastro-tex completion/rastro-asm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(NOT TARGET rastrometer-d3d9)
  return()
endif()

set(rastro_libraries rastrometer-d3d9 rastrometer-d3dx9tex rastrometer-d3dx9shader)
install(TARGETS ${rastro_libraries} EXPORT RastrometerTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)

# The published headers and the declarations they include, side by side so that a program
# being ported finds them as <d3d9.h>, <d3dx9tex.h>, ... with one include directory.
install(FILES
  src/d3d/include/WindowsTypes.h
  src/d3d/include/d3d9.h
  src/d3d/include/d3d9caps.h
  src/d3d/include/d3d9types.h
  src/texture/include/d3dx9tex.h
  src/texture/include/d3dx9math.h
  src/shader/include/d3dx9shader.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rastrometer COMPONENT Development)

# One pkg-config file per library.
set(rastro_pc_rastrometer-d3d9_description "Direct3D 9 on OpenGL")
set(rastro_pc_rastrometer-d3d9_requires "")
set(rastro_pc_rastrometer-d3dx9tex_description "D3DX texture loading and conversion")
set(rastro_pc_rastrometer-d3dx9tex_requires "rastrometer-d3d9 = ${PROJECT_VERSION}")
set(rastro_pc_rastrometer-d3dx9shader_description "D3DX shader assembler")
set(rastro_pc_rastrometer-d3dx9shader_requires "")
# Paths relative to the prefix, so that a relocated installation still finds itself.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
foreach(library IN LISTS rastro_libraries)
  set(PC_NAME ${library})
  set(PC_DESCRIPTION "${rastro_pc_${library}_description}")
  set(PC_REQUIRES "${rastro_pc_${library}_requires}")
  configure_file(cmake/rastrometer.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endforeach()

# find_package(Rastrometer) gives Rastrometer::d3d9, Rastrometer::d3dx9tex, Rastrometer::d3dx9shader.
set(rastro_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Rastrometer)
install(EXPORT RastrometerTargets NAMESPACE Rastrometer:: DESTINATION ${rastro_cmake_dir} COMPONENT Development)
configure_package_config_file(cmake/RastrometerConfig.cmake.in ${PROJECT_BINARY_DIR}/RastrometerConfig.cmake
                              INSTALL_DESTINATION ${rastro_cmake_dir})
# Before 1.0 a new minor version may change the libraries' interfaces.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RastrometerConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RastrometerConfig.cmake ${PROJECT_BINARY_DIR}/RastrometerConfigVersion.cmake
        DESTINATION ${rastro_cmake_dir} COMPONENT Development)
