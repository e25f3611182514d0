# What `--version` prints: the project's version and the commit the build came from, as
# `git describe` saw it when the build was configured. A package built from an unpacked tarball
# has no git history; its packaging can pass the commit in RASTRO_SOURCE_REVISION, and
# without that the programs say the commit is unknown.
set(RASTRO_SOURCE_REVISION "" CACHE STRING "Commit the sources come from (empty: ask git)")

set(rastro_revision "${RASTRO_SOURCE_REVISION}")
if(rastro_revision STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    # Sources unpacked inside some other checkout are not that checkout's commit.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE top ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  file(REAL_PATH "${PROJECT_SOURCE_DIR}" source_dir)
  if(GIT_FOUND AND top STREQUAL source_dir)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --always --dirty --abbrev=12
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    RESULT_VARIABLE described OUTPUT_VARIABLE rastro_revision ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT described EQUAL 0)
      set(rastro_revision "")
    else()
      # Configure again when HEAD moves, so that a rebuild after a commit names the new one.
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --symbolic-full-name HEAD
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE branch ERROR_QUIET
                      OUTPUT_STRIP_TRAILING_WHITESPACE)
      foreach(reference HEAD ${branch})
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path ${reference}
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE file ERROR_QUIET
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(file AND EXISTS "${file}")
          set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
        endif()
      endforeach()
    endif()
  endif()
endif()

if(rastro_revision STREQUAL "")
  set(RASTRO_BUILD_ORIGIN "commit unknown: built from sources without git history")
else()
  set(RASTRO_BUILD_ORIGIN "built from commit ${rastro_revision}")
endif()
message(STATUS "Rastrometer ${PROJECT_VERSION}, ${RASTRO_BUILD_ORIGIN}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/RastrometerVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/RastrometerVersion.h @ONLY)
add_library(rastro_version INTERFACE)
target_include_directories(rastro_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
