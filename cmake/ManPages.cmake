# Manual pages, written in scdoc (man/*.scd) and built with the programs.
find_program(RASTRO_SCDOC scdoc)
if(NOT RASTRO_SCDOC)
  message(FATAL_ERROR "scdoc builds the manual pages: install it (scripts/install-deps.sh does)")
endif()

set(RASTRO_MAN_PAGES)
foreach(page rastrometer.1 rastro-tex.1 rastro-asm.1)
  set(source ${PROJECT_SOURCE_DIR}/man/${page}.scd)
  set(output ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(OUTPUT ${output}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                     COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${RASTRO_SCDOC} ${source} ${output}
                     DEPENDS ${source}
                     COMMENT "Manual page ${page}"
                     VERBATIM)
  list(APPEND RASTRO_MAN_PAGES ${output})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${RASTRO_MAN_PAGES})
