# rastro_fuzz_target(NAME SOURCE LIBRARY...)
# In a fuzz build: the libFuzzer program NAME. In a sanitizer build with tests: a program that
# replays the saved corpus fuzz/corpus/NAME without libFuzzer, run as a CTest test, so every
# input the fuzzers kept is checked under ASan and UBSan on each run of the tests.
function(rastro_fuzz_target name source)
  if(RASTRO_FUZZ)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARGN})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  elseif(RASTRO_SANITIZE AND RASTRO_TESTS)
    add_executable(${name}_replay ${source} ${PROJECT_SOURCE_DIR}/fuzz/CorpusReplay.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARGN})
    add_test(NAME fuzz.${name}.corpus COMMAND ${name}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(fuzz.${name}.corpus PROPERTIES TIMEOUT 300)
  endif()
endfunction()
