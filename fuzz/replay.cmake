# The fuzz corpus replay: the harness with a plain main(), built in every configuration and
# run by ctest over the fixtures (good and bad) and the committed fuzz corpus.
set(CLIVARA_FUZZ_DIR ${PROJECT_SOURCE_DIR}/fuzz)
add_executable(workbook_replay ${CLIVARA_FUZZ_DIR}/workbook_fuzzer.cpp
               ${CLIVARA_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(workbook_replay PRIVATE clivara_archive)
target_compile_options(workbook_replay PRIVATE ${CLIVARA_WARNINGS})
add_test(NAME workbook_replay
         COMMAND workbook_replay ${CLIVARA_FIXTURES} ${CLIVARA_FUZZ_DIR}/corpus)
set_tests_properties(workbook_replay PROPERTIES LABELS fuzz TIMEOUT 600)
