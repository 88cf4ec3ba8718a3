# teq_fuzz_target(NAME SOURCES src... LIBS lib... CORPUS dir)
# With TEQ_FUZZ=ON: fuzz_NAME, a libFuzzer binary (clang, AddressSanitizer and
# UBSan over the whole engine; with TEQ_FUZZ_LIBS also over the decoders, see
# tools/fuzz/run.sh). Otherwise: fuzz_NAME_replay, the same entry point run by
# ctest over the committed corpus.
function(teq_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(TEQ_FUZZ)
    add_executable(fuzz_${name} ${F_SOURCES})
    target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    set_property(GLOBAL APPEND PROPERTY TEQ_FUZZ_TARGETS "fuzz_${name}=${F_CORPUS}")
  else()
    add_executable(fuzz_${name}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/assets/fuzz/replay_main.cpp)
    target_link_libraries(fuzz_${name}_replay PRIVATE ${F_LIBS})
    set_target_properties(fuzz_${name}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME fuzz_replay.${name} COMMAND fuzz_${name}_replay ${F_CORPUS})
  endif()
endfunction()
