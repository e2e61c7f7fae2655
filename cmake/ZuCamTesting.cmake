# zucam_add_gtest(<name> LABEL <unit|e2e> [TIMEOUT s] [NETNS] SOURCES ... LIBS ...)
#
# One GoogleTest program, its cases registered one by one. NETNS programs
# re-run themselves inside a private network namespace (only `lo`, up), so
# nothing they start can reach the real network.
function(zucam_add_gtest name)
    cmake_parse_arguments(ARG "NETNS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LABEL)
        set(ARG_LABEL unit)
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 60)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_NETNS)
        set(_main test_main_netns)
    else()
        set(_main test_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support ${_main}
        GTest::gtest GTest::gmock)
    zucam_warnings(${name})
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
                   ENVIRONMENT "ZUCAM_BIN_DIR=${CMAKE_BINARY_DIR}/bin;ZUCAM_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
