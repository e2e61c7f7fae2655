# zucam_add_gtest(<name> LABEL <unit|e2e> [TIMEOUT s] [NETNS] [RESOURCE_LOCK lock...]
#                 SOURCES ... LIBS ...)
#
# One GoogleTest program, its cases registered one by one. NETNS programs
# re-run themselves inside a private network namespace (only `lo`, up), so
# nothing they start can reach the real network. RESOURCE_LOCK keeps ctest
# from running the cases at the same time as any other case holding the same
# lock (a machine-wide name, for instance); a program may hold several.
# zucam_streaming_e2e: the program streams real video through zucamd; two at
# once would starve each other of the machine's two cores.
# adb_processes: the program destroys QAdbTools, whose destructor ends the
# first adb process of this user, so it must not meet another such program.
function(zucam_add_gtest name)
    cmake_parse_arguments(ARG "NETNS" "LABEL;TIMEOUT" "SOURCES;LIBS;RESOURCE_LOCK" ${ARGN})
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
    # The source tree is compiled in: gtest_discover_tests flattens PROPERTIES
    # into one list, so an ENVIRONMENT value can carry one variable only.
    target_compile_definitions(${name} PRIVATE ZUCAM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    set(_lock)
    if(ARG_RESOURCE_LOCK)
        # Several locks are one list value. gtest_discover_tests flattens
        # PROPERTIES and expands them again on the way to set_tests_properties,
        # and ${_lock} below is one expansion more: a list separator survives
        # them all only behind nine backslashes (checked with CMake 3.25).
        string(REPEAT "\\" 9 _escape)
        string(REPLACE ";" "${_escape};" _locks "${ARG_RESOURCE_LOCK}")
        set(_lock RESOURCE_LOCK "${_locks}")
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ${_lock}
                   ENVIRONMENT "ZUCAM_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
