zucam_add_gtest(device_session_test LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/device-session-test.cpp
    LIBS devices)
