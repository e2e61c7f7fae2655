# The main window with its forms, driven as the connection servers and a
# person do, in a private network namespace (the Wi-Fi server listens and
# announces); and the real zucam ending on SIGTERM and SIGINT.
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

zucam_add_gtest(main_window_test LABEL unit TIMEOUT 120 NETNS
    SOURCES main-window-test.cpp main-window-recording-test.cpp main-window-fixture.cpp
    LIBS ui ui_test_support renderer_test_pictures zucam_app Qt5::Test Qt5::Network)
set_target_properties(main_window_test PROPERTIES AUTOMOC ON)

zucam_add_gtest(zucam_stop_signal_test LABEL e2e TIMEOUT 180 NETNS
    RESOURCE_LOCK zucam_streaming_e2e
    SOURCES zucam-stop-signal-test.cpp
    LIBS platform)
add_dependencies(zucam_stop_signal_test zucam zucam-phone-sim)
