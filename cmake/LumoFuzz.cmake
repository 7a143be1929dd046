# Fuzz targets (libFuzzer), built when LUMO_FUZZ is on (cmake --preset fuzz).
#
# lumo_fuzzer(NAME CORPUS folder SOURCES... [DEPENDS targets...])
# One target and its seed corpus (a folder beside the sources). Two tests labelled "fuzz" check it:
# NAME.replay runs every seed once, NAME.short fuzzes from the seeds for LUMO_FUZZ_SECONDS and keeps
# what it finds in the build tree. build-fuzz/fuzzers/NAME.txt names the program and the corpus for
# scripts/fuzz, which runs the targets for long.

set(LUMO_FUZZ_SECONDS 10 CACHE STRING "Seconds each fuzz target runs in the test command")
add_custom_target(lumo_fuzzers)

function(lumo_fuzzer name)
    cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/FuzzSupport.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE lumo_options ${ARG_DEPENDS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(lumo_fuzzers ${name})

    set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_CORPUS})
    set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}-found)
    file(MAKE_DIRECTORY ${found})
    set(environment
        "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp"
        "LUMO_PRESENTER=headless")
    # The files made from inputs live in memory: the stores sync what they write, and a disk would
    # make that the bulk of every run.
    if(IS_DIRECTORY /dev/shm)
        list(APPEND environment "TMPDIR=/dev/shm")
    endif()
    # -timeout bounds one input, -rss_limit_mb the whole process: a hang or a runaway allocation
    # is a finding, as a crash is.
    set(limits -timeout=10 -rss_limit_mb=2048 -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${name}-)
    add_test(NAME ${name}.replay COMMAND ${name} -runs=0 ${limits} ${corpus})
    add_test(NAME ${name}.short
        COMMAND ${name} -max_total_time=${LUMO_FUZZ_SECONDS} -print_final_stats=1 ${limits} ${found} ${corpus})
    math(EXPR timeout "${LUMO_FUZZ_SECONDS} + 120")
    set_tests_properties(${name}.replay ${name}.short PROPERTIES
        LABELS fuzz ENVIRONMENT "${environment}" TIMEOUT ${timeout})
    set_tests_properties(${name}.short PROPERTIES DEPENDS ${name}.replay)
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/fuzzers/${name}.txt CONTENT "$<TARGET_FILE:${name}>\n${corpus}\n")
endfunction()
