# The real zucam on the X server in DISPLAY, driven from outside.
zucam_add_gtest(zucam_window_e2e_test LABEL e2e NETNS TIMEOUT 300 RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucam-window/zucam-window-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucam-window/zucam-window-manager-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucam-window/zucam-window-fixture.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucam-window/x-display.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS platform Qt5::Gui JsonCpp::JsonCpp)
add_dependencies(zucam_window_e2e_test zucam zucam-camera zucam-phone-sim)
