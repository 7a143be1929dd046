# Compile settings shared by every target of the project.

add_library(lumo_options INTERFACE)
target_include_directories(lumo_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(lumo_options INTERFACE -Wall -Wextra -Werror)
if(LUMO_SANITIZE)
    target_compile_options(lumo_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(lumo_options INTERFACE -fsanitize=address,undefined)
endif()
# The fuzz build: every library carries libFuzzer's coverage counters (the fuzz targets link the
# fuzzer itself) and runs under AddressSanitizer and UndefinedBehaviorSanitizer.
if(LUMO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "LUMO_FUZZ needs clang (cmake --preset fuzz)")
    endif()
    target_compile_options(lumo_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(lumo_options INTERFACE -fsanitize=address,undefined)
endif()

# lumo_library(NAME SOURCES... [DEPENDS targets...])
# The platform layers are shared libraries: the program and the plug-ins it loads (the UI engine)
# must see one and the same window table, message queues and module list.
function(lumo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC lumo_options ${ARG_DEPENDS})
    # A layer made only of C++ would otherwise drop its direct libc link, which a packaged shared
    # library is expected to keep.
    target_link_libraries(${name} PRIVATE "-Wl,--push-state,--no-as-needed,-lc,--pop-state")
    # Installed together in the program's private library folder (cmake/LumoPackaging.cmake).
    set_property(GLOBAL APPEND PROPERTY LUMO_SHARED_LIBRARIES ${name})
endfunction()

# lumo_test(NAME SOURCES... [DEPENDS targets...] [LABELS labels...])
# One GoogleTest executable; every test case becomes a CTest test with a time limit,
# so a hang fails the run instead of stalling it.
function(lumo_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPENDS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 60)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE lumo_options ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
