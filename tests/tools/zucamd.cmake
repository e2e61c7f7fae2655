zucam_add_gtest(zucamd_e2e_test LABEL e2e NETNS TIMEOUT 240 RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-stream-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS platform Qt5::Gui)
# The programs under test must be built before the test runs.
add_dependencies(zucamd_e2e_test zucamd zucam-camera zucam-phone-sim)
zucam_add_gtest(zucamd_hold_test LABEL e2e NETNS TIMEOUT 240 RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-hold-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS devices platform)
add_dependencies(zucamd_hold_test zucamd zucam-phone-sim)
